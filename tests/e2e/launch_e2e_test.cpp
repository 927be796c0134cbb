// Runs the shipped Update.exe for real in a sample installation folder: the first run stages and
// relaunches, the staged copy starts the clean run, the clean run removes the staging folder.
// Message boxes and debug lines are read from the diagnostic file (TQ_UPDATE_DEBUG_LOG).
#include <gtest/gtest.h>

#include "launch/staging.h"
#include "support/http_test_server.h"
#include "support/zip_builder.h"
#include "platform/fs.h"
#include "support/run_process.h"
#include "support/test_files.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::RunProcess;
using testing_support::SetEnv;
using testing_support::TempDir;
using testing_support::WaitFor;
using testing_support::WriteFileBytes;

constexpr wchar_t kSep = platform::kPathSep;

std::wstring DistFolder() {
    return platform::FolderOf(platform::ModulePath()) + L".." + kSep + L"dist" + kSep;
}

class LaunchE2eTest : public testing::Test {
  protected:
    void SetUp() override {
        m_install = m_root / L"Client App";
        m_temp = m_root / L"temp";
        m_log = m_root / L"debug.log";
        testing_support::MakeFolders(m_temp);
        for (const wchar_t* name : {L"Update.exe", L"tqBase.dll", L"tqslib.tql"}) {
            testing_support::MakeFolders(m_install);
            ASSERT_TRUE(platform::CopyFileOver(DistFolder() + name, m_install + kSep + name))
                << "missing " << testing_support::NativePath(DistFolder() + name).size();
        }
        for (const std::wstring& name : StagingCopyList()) {
            if (!platform::Exists(m_install + kSep + name)) {
                WriteFileBytes(m_install + kSep + name,
                               "content of " + std::string(name.begin(), name.end()));
            }
        }
        std::wstring temp = m_temp + kSep;
        SetEnv("TMPDIR", temp);
        SetEnv("TMP", temp);
        SetEnv("TEMP", temp);
        SetEnv("TQ_UPDATE_DEBUG_LOG", m_log);
    }

    int Run(const std::vector<std::wstring>& args) {
        return RunProcess(m_install + kSep + L"Update.exe", args);
    }
    std::string Log() const { return ReadFileBytes(m_log); }
    std::vector<platform::DirEntry> TempEntries() const { return platform::ListFolder(m_temp); }
    std::wstring Staging(const wchar_t* name) const { return m_temp + kSep + name; }

    TempDir m_root;
    std::wstring m_install, m_temp, m_log;
};

TEST_F(LaunchE2eTest, FirstRunStagesElevenFilesAndTheStagedCopyRuns) {
    // Without a url the staged copy refuses to update, so the staging folder stays to be read.
    ASSERT_EQ(Run({L"-first", L"-version:1.2", L"-silent"}), 0);
    std::wstring staging = Staging(L"tq_update_zt_0029");
    ASSERT_TRUE(WaitFor([&] { return Log().find("更新参数错误") != std::string::npos; }, 30000))
        << Log();
    for (const std::wstring& name : StagingCopyList()) {
        SCOPED_TRACE(testing::Message() << std::string(name.begin(), name.end()));
        EXPECT_EQ(ReadFileBytes(staging + kSep + name), ReadFileBytes(m_install + kSep + name));
    }
}

TEST_F(LaunchE2eTest, WholeSpineEndsWithTheStagingFolderRemoved) {
    ASSERT_EQ(Run({L"-first", L"-url:http://127.0.0.1:9/none.zip", L"-version:1.2",
                   L"-comment:two words", L"-silent"}),
              0);
    ASSERT_TRUE(WaitFor([&] { return Log().find(" is to clean") != std::string::npos; }, 60000))
        << Log();
    // The staged copy's worker tries the package address in vain and, as a failed download
    // does, leaves its empty package file ("upd....tmp") behind; the staging folder goes.
    const auto stagingLeft = [&] {
        for (const platform::DirEntry& e : TempEntries()) {
            if (e.name.rfind(L"tq_update_", 0) == 0) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(WaitFor([&] { return !stagingLeft(); }, 30000)) << Log();
    // The update run writes its file name: empty, since no word of the comment was split off.
    EXPECT_EQ(Log().find("[two"), std::string::npos);
    EXPECT_EQ(Log().rfind("\nwords\n"), std::string::npos) << Log();
}

TEST_F(LaunchE2eTest, UnattendedUpdateInstallsThePackageAndCleansUp) {
    testing_support::HttpTestServer server;
    tqtest::ZipBuilder package;
    package.AddFile("config/qrsvr.ini", "[Version]\r\nMajor=2\r\nMinor=1\r\nThirdVer=0\r\n");
    package.AddFile("data/new.txt", "new file");
    server.Route("/pkg.zip", testing_support::HttpTestResponse::Ok(package.Build()));
    WriteFileBytes(m_install + kSep + L"KData" + kSep + L"cache.dat", "cache");

    ASSERT_EQ(Run({L"-first", L"-url:" + server.Url("/pkg.zip"), L"-version:2.1.0", L"-silent"}),
              0);
    ASSERT_TRUE(WaitFor([&] { return Log().find(" is to clean") != std::string::npos; }, 120000))
        << Log();
    ASSERT_TRUE(WaitFor([&] { return !platform::Exists(Staging(L"tq_update_zt_0029")); }, 30000));
    EXPECT_EQ(ReadFileBytes(m_install + kSep + L"data" + kSep + L"new.txt"), "new file");
    EXPECT_NE(ReadFileBytes(m_install + kSep + L"config" + kSep + L"qrsvr.ini").find("Major=2"),
              std::string::npos);
    EXPECT_FALSE(platform::Exists(m_install + kSep + L"KData"));
    const std::string log = ReadFileBytes(m_install + kSep + L"Update2.log");
    EXPECT_NE(log.find("new.txt\"\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("qrsvr.ini\"\r\n"), std::string::npos) << log;
    // Package file, extraction folder and staging folder are all gone.
    EXPECT_TRUE(WaitFor([&] { return TempEntries().empty(); }, 30000));
}

TEST_F(LaunchE2eTest, CleanRunRemovesOnlyStagingFolders) {
    std::wstring staging = Staging(L"tq_update_zt_4823");
    std::wstring other = Staging(L"keep me");
    WriteFileBytes(staging + kSep + L"sub" + kSep + L"f.txt", "x");
    WriteFileBytes(other + kSep + L"f.txt", "x");
    EXPECT_EQ(Run({L"-clean", other}), 0);
    EXPECT_EQ(Run({L"-clean", L""}), 0);
    EXPECT_TRUE(platform::Exists(other + kSep + L"f.txt"));
    EXPECT_TRUE(platform::Exists(staging));
    // The form in which the update run's relaunch arrives: a trailing quote instead of the
    // final separator.
    EXPECT_EQ(Run({L"-clean", staging + L"\""}), 0);
    EXPECT_FALSE(platform::Exists(staging));
    EXPECT_TRUE(platform::Exists(other + kSep + L"f.txt"));
}

TEST_F(LaunchE2eTest, NoArgumentsEndSilently) {
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(TempEntries().empty());
}

TEST_F(LaunchE2eTest, MissingScriptLibraryShowsMessage104) {
    ASSERT_TRUE(platform::RemoveFile(m_install + kSep + L"tqslib.tql"));
    EXPECT_EQ(Run({L"-first", L"-lang:2", L"-silent"}), 0);
    EXPECT_NE(Log().find("无法加载脚本库tqslib.tql"), std::string::npos) << Log();
    EXPECT_TRUE(TempEntries().empty());
}

TEST_F(LaunchE2eTest, FailedStagingCopyNamesTheFileAndRemovesTheStagingFolder) {
    ASSERT_TRUE(platform::RemoveFile(m_install + kSep + L"updateInfo.html"));
    EXPECT_EQ(Run({L"-first", L"-url:u", L"-version:1", L"-silent"}), 0);
    EXPECT_NE(Log().find("(2)Failed to copy updateInfo.html"), std::string::npos) << Log();
    EXPECT_TRUE(TempEntries().empty());
}

}  // namespace
