#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "launch/settings.h"
#include "launch/update_app.h"
#include "launch/update_run.h"
#include "platform/window_input.h"
#include "ui/install_guard.h"
#include "ui_test_util.h"
#include "worker/work_thread.h"

namespace {

// Waits, without a clock, until the gate refuses new installations.
void WaitUntilGateClosed() {
    while (InstallationGuard().Entered()) {
        std::this_thread::yield();
    }
}

TEST(InstallationGateTest, ClosingWaitsForTheInstallationInProgress) {
    std::atomic<bool> released{false};
    std::atomic<bool> releasedBeforeClosed{false};
    {
        auto guard = std::make_unique<InstallationGuard>();
        ASSERT_TRUE(guard->Entered());
        EXPECT_TRUE(InstallationInProgress());
        std::thread closer([&] {
            CloseInstallationsAndWait();
            releasedBeforeClosed = released.load();
        });
        WaitUntilGateClosed();
        released = true;
        guard.reset();
        closer.join();
    }
    EXPECT_TRUE(releasedBeforeClosed);
    EXPECT_FALSE(InstallationInProgress());
    // Once the run is ending no installation may start.
    EXPECT_FALSE(InstallationGuard().Entered());
    ReopenInstallationsForTesting();
    EXPECT_TRUE(InstallationGuard().Entered());
}

class UpdateDialogRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_saved = {g_module_folder, g_des};
        g_module_folder = m_scratch.Folder();
        g_des = m_scratch.Path(L"client");
        std::filesystem::create_directories(std::filesystem::path(g_des));
    }
    void TearDown() override {
        g_module_folder = m_saved[0];
        g_des = m_saved[1];
        ReopenInstallationsForTesting();
    }

    // Runs the update run's dialog part on a thread of its own; answers once the dialog is up.
    platform::WindowHandle Start() {
        m_run = std::thread(
            [this] { RunUpdateDialog(L"Update.exe", [this] { m_afterModal = true; }); });
        platform::WindowHandle window = nullptr;
        while ((window = UpdateDialogWindow()) == nullptr) {
            std::this_thread::yield();
        }
        platform::input::WaitUntilIdle(window);
        return window;
    }

    uitest::ScratchFolder m_scratch;
    std::array<std::wstring, 2> m_saved;
    std::thread m_run;
    std::atomic<bool> m_afterModal{false};
};

TEST_F(UpdateDialogRunTest, CancelDuringAnInstallationWaitsForItBeforeTheCleanRun) {
    const platform::WindowHandle window = Start();
    auto installing = std::make_unique<InstallationGuard>();
    ASSERT_TRUE(installing->Entered());

    platform::PostToWindow(window, WM_UPDATE_CANCEL);
    WaitUntilGateClosed();
    // The dialog is gone, but the clean run waits for the copy to finish.
    EXPECT_FALSE(m_afterModal);

    installing.reset();
    m_run.join();
    EXPECT_TRUE(m_afterModal);
    EXPECT_EQ(UpdateDialogWindow(), nullptr);
}

TEST_F(UpdateDialogRunTest, CancelWithoutAnInstallationEndsAtOnceAndBarsLaterOnes) {
    const platform::WindowHandle window = Start();
    platform::PostToWindow(window, WM_UPDATE_CANCEL);
    m_run.join();
    EXPECT_TRUE(m_afterModal);
    // A worker that finishes unpacking after this must not start copying.
    EXPECT_FALSE(InstallationGuard().Entered());
    const std::wstring saved = g_src_folder;
    g_src_folder = m_scratch.Path(L"extracted");
    std::filesystem::create_directories(std::filesystem::path(g_src_folder));
    uitest::WriteBytes(std::filesystem::path(g_src_folder) / "new.dll", "x");
    EXPECT_FALSE(theApp.PerformStep(2).empty());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(g_des) / "new.dll"));
    g_src_folder = saved;
}

}  // namespace
