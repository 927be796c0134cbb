// A whole update of the Windows product on real windows: the client's command line starts the
// first run in a sample installation, the staged copy shows the update window, the package comes
// from a local server, the running client is ended, the files are installed, the client is
// started again and the clean run removes the staging folder. Once unattended ("-silent") and
// once driven by clicks on Start and Restart, with pictures of the window taken from the screen
// (kept under the build folder's artifacts/) and read back.
//
// Runs where the windows are real (the Windows build, under Wine with a private X server in CI);
// skipped where they are the headless ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launch/staging.h"
#include "platform/canvas.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/screen.h"
#include "platform/text.h"
#include "platform/window_input.h"
#include "support/http_test_server.h"
#include "support/run_process.h"
#include "support/test_files.h"
#include "support/zip_builder.h"
#include "ui/resource_ids.h"

namespace {

using platform::Bitmap;
using platform::Color;
using platform::Rgb;
using platform::WindowHandle;
using testing_support::ReadFileBytes;
using testing_support::WaitFor;
using testing_support::WriteFileBytes;
namespace input = platform::input;
namespace screen = platform::screen;

constexpr wchar_t kSep = platform::kPathSep;
constexpr int kPatienceMs = 120000;  // only a broken run waits this long
constexpr Color kKey = Rgb(255, 0, 255);
constexpr Color kBarFrame = Rgb(168, 145, 75);
const std::wstring kWindowText = L"自动更新程序";
const std::string kCompleteText = "升级完成,已经更新至2.3.4";

std::wstring TestFolder() {
    return platform::FolderOf(platform::ModulePath());
}

std::wstring DistFolder() {
    return TestFolder() + L".." + kSep + L"dist" + kSep;
}

std::wstring ArtifactsFolder() {
    return TestFolder() + L".." + kSep + L"artifacts" + kSep;
}

size_t Lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

class WindowsUpdateE2eTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!screen::Available()) {
            GTEST_SKIP() << "needs the real windows of the Windows build";
        }
        m_install = m_root / L"Client App";
        m_temp = m_root / L"temp";
        m_log = m_root / L"debug.log";
        testing_support::MakeFolders(m_temp);
        testing_support::MakeFolders(m_install + kSep + L"KData");
        for (const wchar_t* name : {L"Update.exe", L"tqBase.dll", L"tqslib.tql"}) {
            ASSERT_TRUE(platform::CopyFileOver(DistFolder() + name, m_install + kSep + name));
        }
        for (const std::wstring& name : StagingCopyList()) {
            if (!platform::Exists(m_install + kSep + name)) {
                WriteFileBytes(m_install + kSep + name, "content of " + platform::WideToUtf8(name));
            }
        }
        WriteFileBytes(m_install + kSep + L"config" + kSep + L"qrsvr.ini",
                       "[Version]\r\nMajor=1\r\nMinor=0\r\nThirdVer=0\r\n");
        WriteFileBytes(m_install + kSep + L"KData" + kSep + L"quotes.dat", "old quotes");
        // The client: the stand-in, under the name the updater restarts, kept running by "stay".
        ASSERT_TRUE(platform::CopyFileOver(TestFolder() + L"fake_client.exe", Client()));
        WriteFileBytes(m_install + kSep + L"stay", "");

        const std::wstring temp = m_temp + kSep;
        testing_support::SetEnv("TMP", temp);
        testing_support::SetEnv("TEMP", temp);
        testing_support::SetEnv("TMPDIR", temp);
        testing_support::SetEnv("TQ_UPDATE_DEBUG_LOG", m_log);

        tqtest::ZipBuilder package;
        package.AddFile("config/qrsvr.ini", "[Version]\r\nMajor=2\r\nMinor=3\r\nThirdVer=4\r\n");
        package.AddFile("news/readme.txt", "what is new");
        package.AddFile("quotes.cfg", std::string(300000, 'q'));  // a few progress steps
        m_server.Route("/pkg.zip", testing_support::HttpTestResponse::Ok(package.Build()));
    }

    void TearDown() override {
        if (!screen::Available()) {
            return;
        }
        // Let every client this test started end, so its folder can go.
        platform::RemoveFile(m_install + kSep + L"stay");
        WaitFor([&] { return RunningClients() == 0; }, kPatienceMs);
    }

    std::wstring Client() const { return m_install + kSep + L"Vorlix.exe"; }

    int RunningClients() const {
        std::vector<platform::ProcessInfo> processes;
        platform::SnapshotProcesses(processes);
        return static_cast<int>(std::count_if(processes.begin(), processes.end(), [](auto& p) {
            return platform::EqualsFileName(p.exeName, L"Vorlix.exe");
        }));
    }

    std::string Starts() const { return ReadFileBytes(m_install + kSep + L"starts.txt"); }
    std::string Log() const { return ReadFileBytes(m_log); }

    void StartClientAndFirstRun(const std::vector<std::wstring>& extra) {
        ASSERT_TRUE(platform::StartDetached(Client(), L""));
        ASSERT_TRUE(WaitFor([&] { return Lines(Starts()) == 1; }, kPatienceMs));
        std::vector<std::wstring> args = {L"-first", L"-url:" + m_server.Url("/pkg.zip"),
                                          L"-version:2.3.4", L"-comment:更快的行情<br>新的图表"};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_EQ(testing_support::RunProcess(m_install + kSep + L"Update.exe", args), 0);
    }

    // After the update: the package is in place, the client was ended and started again, and
    // the clean run left nothing in the temporary folder.
    void ExpectUpdated() {
        ASSERT_TRUE(WaitFor([&] { return Lines(Starts()) >= 2; }, kPatienceMs)) << Log();
        ASSERT_TRUE(
            WaitFor([&] { return Log().find(" is to clean") != std::string::npos; }, kPatienceMs))
            << Log();
        EXPECT_TRUE(WaitFor([&] { return platform::ListFolder(m_temp).empty(); }, kPatienceMs))
            << Log();
        EXPECT_EQ(ReadFileBytes(m_install + kSep + L"news" + kSep + L"readme.txt"), "what is new");
        EXPECT_NE(ReadFileBytes(m_install + kSep + L"config" + kSep + L"qrsvr.ini").find("Minor=3"),
                  std::string::npos);
        EXPECT_FALSE(platform::Exists(m_install + kSep + L"KData"));
        EXPECT_NE(ReadFileBytes(m_install + kSep + L"Update2.log").find("readme.txt"),
                  std::string::npos);
        // The first client was ended by the installation: one client runs, the restarted one.
        EXPECT_EQ(Lines(Starts()), 2u);
        EXPECT_EQ(RunningClients(), 1);
    }

    WindowHandle WaitForUpdateWindow() {
        WindowHandle found = nullptr;
        WaitFor(
            [&] {
                const auto windows = screen::TopLevelWindows(kWindowText);
                found = windows.empty() ? nullptr : windows.front();
                return found != nullptr;
            },
            kPatienceMs);
        return found;
    }

    // What the screen shows of the window, saved as a picture beside the build's other output.
    static Bitmap Picture(WindowHandle window, const std::string& name) {
        input::WaitUntilIdle(window);
        Bitmap shown = screen::Capture(screen::WindowRectOf(window));
        platform::CreateFolder(ArtifactsFolder());
        EXPECT_TRUE(shown.SavePng(ArtifactsFolder() + platform::Utf8ToWide(name)));
        return shown;
    }

    static void Click(WindowHandle window, int control) {
        const platform::Rect r = screen::WindowRectOf(screen::ChildById(window, control));
        ASSERT_FALSE(r.IsEmpty()) << control;
        input::ClickAt({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        input::WaitUntilIdle(window);
    }

    testing_support::TempDir m_root;
    testing_support::HttpTestServer m_server;
    std::wstring m_install, m_temp, m_log;
};

TEST_F(WindowsUpdateE2eTest, UnattendedUpdateInstallsRestartsAndCleansUp) {
    StartClientAndFirstRun({L"-silent"});
    ExpectUpdated();
    EXPECT_EQ(m_server.RequestCount("/pkg.zip"), 1u);
}

TEST_F(WindowsUpdateE2eTest, ClicksOnStartAndRestartDriveTheUpdateWindow) {
    StartClientAndFirstRun({});
    const WindowHandle window = WaitForUpdateWindow();
    ASSERT_NE(window, nullptr) << Log();
    EXPECT_NE(screen::ExStyleOf(window) & WS_EX_LAYERED, 0u);

    // Ready: the face on the screen is the small background, its banner included, and where the
    // background holds the key colour (the rounded corners) the screen shows what is below.
    const Bitmap background = Bitmap::FromBmpFile(platform::Utf8ToWide(TQ_SOURCE_DIR) + kSep +
                                                  L"res" + kSep + L"140.bmp");
    ASSERT_FALSE(background.IsEmpty());
    const Bitmap ready = Picture(window, "update_ready.png");
    ASSERT_EQ(ready.GetSize(), background.GetSize());
    ASSERT_EQ(background.Pixel(0, 0), kKey);
    EXPECT_NE(ready.Pixel(0, 0), kKey);
    EXPECT_NE(ready.Pixel(384, 0), kKey);
    for (const platform::Point p :
         {platform::Point{20, 40}, platform::Point{200, 64}, platform::Point{370, 90}}) {
        SCOPED_TRACE(testing::Message() << p.x << ", " << p.y);
        EXPECT_EQ(ready.Pixel(p.x, p.y), background.Pixel(p.x, p.y));  // the banner
    }
    EXPECT_TRUE(screen::IsShown(screen::ChildById(window, IDC_BTN_START)));
    EXPECT_EQ(m_server.RequestCount("/pkg.zip"), 0u);

    Click(window, IDC_BTN_START);
    ASSERT_TRUE(WaitFor([&] { return screen::IsShown(screen::ChildById(window, IDC_BTN_RESTART)); },
                        kPatienceMs))
        << Log();

    // Complete: the progress bar's frame is drawn, the window is in front, the client has not
    // been started again yet.
    const Bitmap complete = Picture(window, "update_complete.png");
    EXPECT_EQ(complete.Pixel(9, 130), kBarFrame);
    EXPECT_EQ(complete.Pixel(200, 122), kBarFrame);
    EXPECT_EQ(complete.Pixel(200, 138), kBarFrame);
    EXPECT_EQ(complete.Pixel(375, 130), kBarFrame);
    EXPECT_NE(complete.Pixel(0, 0), kKey);
    EXPECT_EQ(screen::ForegroundWindow(), window);
    EXPECT_EQ(Lines(Starts()), 1u);
    EXPECT_EQ(RunningClients(), 0);

    Click(window, IDC_BTN_RESTART);
    ExpectUpdated();
    EXPECT_FALSE(platform::IsWindowAlive(window));
}

}  // namespace
