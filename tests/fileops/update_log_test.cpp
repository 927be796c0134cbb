// The update log: exact bytes, the clock, creation, the code page and the open failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fileops/scratch_folder.h"
#include "fileops/update_log.h"
#include "platform/clock.h"
#include "platform/debug.h"

namespace {

using tqtest::ReadBytes;
using tqtest::ScratchFolder;

platform::TimeOfDay g_fakeTime;
platform::TimeOfDay FakeClock() {
    return g_fakeTime;
}

class UpdateLogTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetUnattended(true); }
    void TearDown() override { SetUpdateLogClock(nullptr); }

    std::wstring LogPath() const { return m_folder / L"Update2.log"; }

    ScratchFolder m_folder;
};

TEST_F(UpdateLogTest, CreatesTheFileAndAppendsOneStampedLinePerCall) {
    SetUpdateLogClock(&FakeClock);
    ASSERT_FALSE(platform::Exists(LogPath()));

    g_fakeTime = {7, 5, 9};
    WriteUpdateLog(m_folder.Path(), L"first");
    EXPECT_EQ(ReadBytes(LogPath()), "07:05:09: first\r\n");

    // Two calls in the same second carry the same time; a new call never rewrites old lines.
    WriteUpdateLog(m_folder.Path(), L"second");
    g_fakeTime = {23, 59, 59};
    WriteUpdateLog(m_folder.Path(), L"");
    g_fakeTime = {0, 0, 0};
    WriteUpdateLog(m_folder.Path(), L"after midnight");
    EXPECT_EQ(ReadBytes(LogPath()),
              "07:05:09: first\r\n07:05:09: second\r\n23:59:59: \r\n00:00:00: after midnight\r\n");
}

TEST_F(UpdateLogTest, AppendsToWhatTheFileHolds) {
    SetUpdateLogClock(&FakeClock);
    g_fakeTime = {12, 30, 0};
    tqtest::WriteBytes(LogPath(), "an older line without end");
    WriteUpdateLog(m_folder.Path(), L"next");
    EXPECT_EQ(ReadBytes(LogPath()), "an older line without end12:30:00: next\r\n");
}

TEST_F(UpdateLogTest, StampsTheLocalTimeOfTheCall) {
    const platform::TimeOfDay before = platform::LocalTimeOfDay();
    WriteUpdateLog(m_folder.Path(), L"now");
    const platform::TimeOfDay after = platform::LocalTimeOfDay();

    const std::string line = ReadBytes(LogPath());
    ASSERT_EQ(line.size(), 15u) << line;
    ASSERT_EQ(line.substr(8), ": now\r\n");
    int hour = -1, minute = -1, second = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "%2d:%2d:%2d", &hour, &minute, &second), 3) << line;
    const auto seconds = [](int h, int m, int s) { return h * 3600 + m * 60 + s; };
    const int stamped = seconds(hour, minute, second);
    const int first = seconds(before.hour, before.minute, before.second);
    const int last = seconds(after.hour, after.minute, after.second);
    if (last < first) {
        GTEST_SKIP() << "the day changed during the call";
    }
    EXPECT_GE(stamped, first);
    EXPECT_LE(stamped, last);
}

TEST_F(UpdateLogTest, WritesTheCodePagesDefaultCharacterForWhatItCannotHold) {
    if (platform::WideToAnsi(L"\u4E2D") != "?") {
        GTEST_SKIP() << "the system code page holds U+4E2D here";
    }
    SetUpdateLogClock(&FakeClock);
    g_fakeTime = {1, 2, 3};
    WriteUpdateLog(m_folder.Path(), L"a\u4E2Db");
    EXPECT_EQ(ReadBytes(LogPath()), "01:02:03: a?b\r\n");
}

TEST_F(UpdateLogTest, AMissingFolderIsReportedWithPathNotFoundAndNothingIsCreated) {
    const std::wstring folder = m_folder / L"not_yet";
    const std::wstring path = tqtest::Join(folder, L"Update2.log");
    testing::internal::CaptureStderr();
    WriteUpdateLog(folder, L"lost");
    const std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("CreateFile error(3).path=" + platform::WideToUtf8(path)),
              std::string::npos)
        << shown;
    EXPECT_FALSE(platform::Exists(folder));
}

TEST_F(UpdateLogTest, ASecondWriterAtTheSameMomentIsRefused) {
    tqtest::WriteBytes(LogPath(), "held\r\n");
    platform::File holder(LogPath(), platform::File::Mode::kReadWriteAlways);
    testing::internal::CaptureStderr();
    WriteUpdateLog(m_folder.Path(), L"lost");
    const std::string shown = testing::internal::GetCapturedStderr();
    holder.Close();
    EXPECT_NE(shown.find("CreateFile error(32).path="), std::string::npos) << shown;
    EXPECT_EQ(ReadBytes(LogPath()), "held\r\n");
}

TEST_F(UpdateLogTest, AnEmptyFolderNamesNoFolder) {
    const std::wstring rootLog = std::wstring(platform::kPathSepStr) + L"Update2.log";
    if (platform::Exists(rootLog)) {
        GTEST_SKIP() << "a log exists in the root folder already";
    }
    testing::internal::CaptureStderr();
    WriteUpdateLog(L"", L"lost");
    const std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("CreateFile error(3)"), std::string::npos) << shown;
    EXPECT_FALSE(platform::Exists(rootLog));
}

}  // namespace
