// Installation and restart through the application object: the running client is ended (only
// the one in the installation folder), the extraction folder is copied over the installation
// folder, the extraction folder and KData are removed; the restart starts the client. The client
// is a stand-in program that records each start in "starts.txt" beside itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fileops/scratch_folder.h"
#include "launch/settings.h"
#include "launch/update_app.h"
#include "platform/debug.h"
#include "platform/fs_links.h"
#include "platform/process.h"
#include "platform/process_state.h"

namespace {

using tqtest::Join;
using tqtest::ReadBytes;
using tqtest::ScratchFolder;
using tqtest::WriteBytes;

constexpr int kPollMs = 20;
constexpr int kPatienceMs = 30000;  // generous: Wine starts processes slowly on a busy machine

std::vector<uint32_t> RecordedStarts(const std::wstring& folder) {
    std::vector<uint32_t> pids;
    const std::string bytes = ReadBytes(Join(folder, L"starts.txt"));
    if (bytes == "<missing>") {
        return pids;
    }
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        pids.push_back(
            static_cast<uint32_t>(std::strtoul(bytes.substr(start, end).c_str(), nullptr, 10)));
    }
    return pids;
}

bool WaitForStarts(const std::wstring& folder, size_t count) {
    for (int waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (RecordedStarts(folder).size() >= count) {
            return true;
        }
        platform::SleepMs(kPollMs);
    }
    return false;
}

bool WaitUntilEnded(uint32_t pid) {
    for (int waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (!platform::IsProcessRunning(pid)) {
            return true;
        }
        platform::SleepMs(kPollMs);
    }
    return false;
}

class InstallTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetUnattended(true);
        m_savedDes = g_des;
        m_savedSrc = g_src_folder;
        m_savedExe = g_restart_exe;

        m_des = m_scratch / L"Client Folder";
        m_src = m_scratch / L"tqupdate1";
        ASSERT_TRUE(platform::CreateFolder(m_des));
        ASSERT_TRUE(platform::CreateFolder(m_src));
        g_des = m_des;
        g_src_folder = m_src;
        g_restart_exe = L"Vorlix.exe";

        WriteBytes(Join(m_des, L"client.dll"), "old dll");
        ASSERT_TRUE(platform::CreateFolder(Join(m_des, L"KData")));
        WriteBytes(Join(Join(m_des, L"KData"), L"day.dat"), "cached");
        platform::SetAttributes(Join(Join(m_des, L"KData"), L"day.dat"), platform::kAttrReadOnly);

        WriteBytes(Join(m_src, L"client.dll"), "new dll");
        ASSERT_TRUE(platform::CreateFolder(Join(m_src, L"config")));
        WriteBytes(Join(Join(m_src, L"config"), L"qrsvr.ini"), "[Version]\r\n");
    }

    void TearDown() override {
        for (uint32_t pid : m_started) {
            if (platform::IsProcessRunning(pid)) {
                if (auto process = platform::ProcessHandle::OpenFullAccess(pid)) {
                    process->Terminate(0);
                }
            }
        }
        g_des = m_savedDes;
        g_src_folder = m_savedSrc;
        g_restart_exe = m_savedExe;
    }

    // Puts the stand-in client into folder under the client's name.
    void InstallClient(const std::wstring& folder, bool stay) {
        const std::wstring helper = platform::FolderOf(platform::ModulePath()) + L"fake_client.exe";
        ASSERT_TRUE(platform::Exists(helper)) << "build the fake_client target";
        ASSERT_TRUE(platform::CopyFileOver(helper, Join(folder, L"Vorlix.exe")));
        if (stay) {
            WriteBytes(Join(folder, L"stay"), "");
        }
    }

    // Starts the client in folder and answers its process id once it runs.
    uint32_t StartClient(const std::wstring& folder) {
        const size_t before = RecordedStarts(folder).size();
        EXPECT_TRUE(platform::StartDetached(Join(folder, L"Vorlix.exe"), L""));
        EXPECT_TRUE(WaitForStarts(folder, before + 1));
        const std::vector<uint32_t> pids = RecordedStarts(folder);
        if (pids.size() <= before) {
            return 0;
        }
        m_started.push_back(pids.back());
        return pids.back();
    }

    void ExpectInstalled() {
        EXPECT_EQ(ReadBytes(Join(m_des, L"client.dll")), "new dll");
        EXPECT_EQ(ReadBytes(Join(Join(m_des, L"config"), L"qrsvr.ini")), "[Version]\r\n");
        EXPECT_FALSE(platform::Exists(m_src));
        EXPECT_FALSE(platform::Exists(Join(m_des, L"KData")));
        EXPECT_TRUE(platform::Exists(Join(m_des, L"Update2.log")));
    }

    ScratchFolder m_scratch;
    std::wstring m_des, m_src;
    std::vector<uint32_t> m_started;
    std::wstring m_savedDes, m_savedSrc, m_savedExe;
};

TEST_F(InstallTest, WithoutARunningClientCopiesAndRemovesTheLeftovers) {
    EXPECT_EQ(theApp.PerformStep(2), L"");
    ExpectInstalled();
    const std::vector<std::string> lines = tqtest::ReadLines(Join(m_des, L"Update2.log"));
    // The top folder, client.dll, the config folder and qrsvr.ini.
    EXPECT_EQ(lines.size(), 4u);
}

class InstallWithClientsTest : public InstallTest, public ::testing::WithParamInterface<int> {};

TEST_P(InstallWithClientsTest, EndsEveryRunningClientBeforeReplacingIt) {
    InstallClient(m_des, true);
    // The update replaces the client's own executable, which is locked while it runs.
    WriteBytes(Join(m_src, L"Vorlix.exe"), "new client");
    std::vector<uint32_t> clients;
    for (int i = 0; i < GetParam(); ++i) {
        clients.push_back(StartClient(m_des));
        ASSERT_NE(clients.back(), 0u);
    }

    EXPECT_EQ(theApp.InstallUpdate(), L"");

    for (uint32_t pid : clients) {
        EXPECT_TRUE(WaitUntilEnded(pid)) << "client " << pid << " still runs";
    }
    ExpectInstalled();
    EXPECT_TRUE(ReadBytes(Join(m_des, L"Vorlix.exe")) == "new client")
        << "the client executable was not replaced";
}

INSTANTIATE_TEST_SUITE_P(Clients, InstallWithClientsTest, ::testing::Values(1, 2));

TEST_F(InstallTest, LeavesAClientOfAnotherInstallationRunning) {
    const std::wstring other = m_scratch / L"Other Client";
    ASSERT_TRUE(platform::CreateFolder(other));
    InstallClient(other, true);
    InstallClient(m_des, true);
    const uint32_t foreign = StartClient(other);
    const uint32_t own = StartClient(m_des);
    ASSERT_NE(foreign, 0u);
    ASSERT_NE(own, 0u);

    EXPECT_EQ(theApp.InstallUpdate(), L"");

    EXPECT_TRUE(WaitUntilEnded(own));
    EXPECT_TRUE(platform::IsProcessRunning(foreign));
    ExpectInstalled();
}

TEST_F(InstallTest, EndsAClientWhoseFolderIsNamedThroughALink) {
    const std::wstring link = m_scratch / L"Client Link";
    if (!platform::CreateFolderLink(link, m_des)) {
        GTEST_SKIP() << "symbolic links to folders cannot be created here (error "
                     << platform::LastError() << ")";
    }
    WriteBytes(Join(m_des, L"probe.txt"), "through the link");
    if (ReadBytes(Join(link, L"probe.txt")) != "through the link") {
        GTEST_SKIP() << "a folder link made here does not lead to its folder (Wine keeps such "
                        "links as reparse points of its own that file access does not follow)";
    }
    platform::RemoveFile(Join(m_des, L"probe.txt"));
    g_des = link;
    InstallClient(m_des, true);
    WriteBytes(Join(m_src, L"Vorlix.exe"), "new client");
    const uint32_t client = StartClient(m_des);
    ASSERT_NE(client, 0u);

    EXPECT_EQ(theApp.InstallUpdate(), L"");

    EXPECT_TRUE(WaitUntilEnded(client));
    ExpectInstalled();
    EXPECT_TRUE(ReadBytes(Join(m_des, L"Vorlix.exe")) == "new client")
        << "the client executable was not replaced";
}

TEST_F(InstallTest, ACopyFailureNamesTheDestinationAndRemovesNothing) {
    // "config" is a file in the installation folder, so the new config folder cannot be made.
    WriteBytes(Join(m_des, L"config"), "in the way");

    EXPECT_EQ(theApp.PerformStep(2), L"Failed to copy file, destination: " + m_des);

    EXPECT_TRUE(platform::IsFolder(m_src));
    EXPECT_TRUE(platform::IsFolder(Join(m_des, L"KData")));
    EXPECT_EQ(ReadBytes(Join(m_des, L"client.dll")), "new dll");  // copied before the failure
}

TEST_F(InstallTest, WithoutAnInstallationFolderNothingIsTouched) {
    g_des.clear();
    EXPECT_EQ(theApp.InstallUpdate(), L"Failed to copy file, destination: ");
    EXPECT_TRUE(platform::IsFolder(m_src));
    EXPECT_EQ(ReadBytes(Join(m_src, L"client.dll")), "new dll");
}

TEST_F(InstallTest, OtherStepsDoNothing) {
    InstallClient(m_des, false);
    for (int step : {-1, 0, 1, 4, 1000}) {
        SCOPED_TRACE(step);
        EXPECT_EQ(theApp.PerformStep(step), L"");
    }
    EXPECT_TRUE(platform::IsFolder(m_src));
    EXPECT_TRUE(platform::IsFolder(Join(m_des, L"KData")));
    EXPECT_EQ(ReadBytes(Join(m_des, L"client.dll")), "old dll");
    EXPECT_FALSE(platform::Exists(Join(m_des, L"Update2.log")));
    platform::SleepMs(200);
    EXPECT_TRUE(RecordedStarts(m_des).empty());
}

TEST_F(InstallTest, RestartStartsTheClientOfTheInstallationFolder) {
    InstallClient(m_des, false);
    EXPECT_EQ(theApp.PerformStep(3), L"");
    EXPECT_TRUE(WaitForStarts(m_des, 1));
    EXPECT_EQ(RecordedStarts(m_des).size(), 1u);
}

}  // namespace
