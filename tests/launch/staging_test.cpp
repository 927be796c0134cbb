#include <gtest/gtest.h>

#include "launch/staging.h"
#include "platform/crt_rand.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "support/test_files.h"

namespace {

using testing_support::TempDir;

TEST(StagingTest, GeneratorFollowsTheCRuntimeSequence) {
    platform::CrtSeed(1);
    EXPECT_EQ(platform::CrtRand(), 0x0029);
    EXPECT_EQ(platform::CrtRand(), 0x4823);
    EXPECT_EQ(platform::CrtRand(), 0x18be);
    EXPECT_EQ(platform::CrtRand(), 0x6784);
}

TEST(StagingTest, FirstFreeNameIsChosen) {
    TempDir temp;
    std::wstring base = temp.Path() + platform::kPathSep;
    platform::CrtSeed(1);
    EXPECT_EQ(ChooseStagingFolder(base), base + L"tq_update_zt_0029" + platform::kPathSep);
    // A file of that name is as good as a folder: the name is taken.
    testing_support::WriteFileBytes(base + L"tq_update_zt_0029", "x");
    platform::CrtSeed(1);
    EXPECT_EQ(ChooseStagingFolder(base), base + L"tq_update_zt_4823" + platform::kPathSep);
}

TEST(StagingTest, StagingRelaunchIsByteExactForPlainValues) {
    StagingRelaunch v;
    v.lang = 1;
    v.cmy = L"8";
    v.version = L"3.1.2";
    v.url = L"U";
    v.comment = L"C";
    v.restartExe = L"Vorlix.exe";
    v.moduleFolder = L"D:\\App\\update\\";
    EXPECT_EQ(StagingRelaunchParams(v),
              L" -lang:1 -cmy:8 -version:3.1.2 -url:U -comment:C -restart_exe:\"Vorlix.exe\" "
              L"-des:\"D:\\App\\update\\\"");
    v.silent = true;
    std::vector<std::wstring> args = platform::SplitCommandLine(StagingRelaunchParams(v));
    ASSERT_EQ(args.size(), 8u);
    EXPECT_EQ(args[5], L"-silent");
    EXPECT_EQ(args[7], L"-des:D:\\App\\update\"");
    EXPECT_EQ(CleanRelaunchParams(L"C:\\Temp\\tq_update_zt_0029\\"),
              L"-clean \"C:\\Temp\\tq_update_zt_0029\\\"");
}

TEST(StagingTest, FreeTextValuesSurviveTheRelaunch) {
    StagingRelaunch v;
    v.fileName = L"name";
    v.lang = 2;
    v.cmy = L"co \"x\"";
    v.version = L"1.0 beta";
    v.url = L"http://h/a b\\\"c\\";
    v.comment = L"line one\tline \"two\" \\";
    v.restartExe = L"My Client.exe";
    v.moduleFolder = L"D:\\App\\update\\";
    std::vector<std::wstring> args = platform::SplitCommandLine(StagingRelaunchParams(v));
    ASSERT_EQ(args.size(), 8u);
    EXPECT_EQ(args[0], L"name");
    EXPECT_EQ(args[1], L"-lang:2");
    EXPECT_EQ(args[2], L"-cmy:" + v.cmy);
    EXPECT_EQ(args[3], L"-version:" + v.version);
    EXPECT_EQ(args[4], L"-url:" + v.url);
    EXPECT_EQ(args[5], L"-comment:" + v.comment);
    EXPECT_EQ(args[6], L"-restart_exe:My Client.exe");
    // The folder's final backslash escapes the closing quote: the receiving run strips it.
    EXPECT_EQ(args[7], L"-des:D:\\App\\update\"");
    EXPECT_EQ(StripQuotes(args[7].substr(5)), L"D:\\App\\update");
}

TEST(StagingTest, CommandLineSplittingRules) {
    struct Case {
        std::wstring line;
        std::vector<std::wstring> args;
    };
    const Case cases[] = {
        {L"", {}},
        {L"  a   b\t c ", {L"a", L"b", L"c"}},
        {L"\"a b\" c", {L"a b", L"c"}},
        {L"a\\\\b \\\"x", {L"a\\\\b", L"\"x"}},
        {L"\"a\\\\\" b", {L"a\\", L"b"}},
        {L"\"a\\\\\\\"b\"", {L"a\\\"b"}},
        {L"\"\" x", {L"", L"x"}},
        {L"\"a\"\"b\"", {L"a\"b"}},
        {L"-des:\"D:\\A\\\"", {L"-des:D:\\A\""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "line: " << c.line.c_str());
        EXPECT_EQ(platform::SplitCommandLine(c.line), c.args);
    }
}

TEST(StagingTest, QuotesAreStrippedOnlyFromLongerTexts) {
    EXPECT_EQ(StripQuotes(L"\"AB\""), L"AB");
    EXPECT_EQ(StripQuotes(L"\"\""), L"\"\"");
    EXPECT_EQ(StripQuotes(L"C:\\Client\\update\""), L"C:\\Client\\update");
    EXPECT_EQ(StripQuotes(L"\"C:\\x"), L"C:\\x");
}

TEST(StagingTest, OnlyStagingFoldersInsideTheTemporaryFolderQualify) {
    const std::wstring temp = std::wstring(L"T") + platform::kPathSep;
    const std::wstring s(1, platform::kPathSep);
    struct Case {
        std::wstring folder;
        bool staging;
    };
    const Case cases[] = {
        {temp + L"tq_update_zt_0029", true},
        {temp + L"tq_update_zt_0029" + s, true},
        {temp + L"tq_update_zt_18be", true},
        {temp + L"tq_update_zt_18BE", false},
        {temp + L"tq_update_zt_029", false},
        {temp + L"tq_update_zt_00290", false},
        {temp + L"tq_update_xx_0029", false},
        {temp + L"sub" + s + L"tq_update_zt_0029", false},
        {temp, false},
        {L"T", false},
        {L"", false},
        {s, false},
        {L"C:\\", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "folder: " << c.folder.c_str());
        EXPECT_EQ(IsStagingFolder(c.folder, temp), c.staging);
    }
}

TEST(StagingTest, CopyListHasElevenFilesInOrder) {
    const auto& list = StagingCopyList();
    ASSERT_EQ(list.size(), 11u);
    EXPECT_EQ(list.front(), L"tqBase.dll");
    EXPECT_EQ(list[5], L"tqslib.tql");
    EXPECT_EQ(list[8], L"Update.exe");
    EXPECT_EQ(list[9], std::wstring(L"config") + platform::kPathSep + L"qrsvr.ini");
    EXPECT_EQ(list.back(), L"updateInfo.html");
}

}  // namespace
