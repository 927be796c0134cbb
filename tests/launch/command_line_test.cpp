#include <gtest/gtest.h>

#include "launch/command_line.h"
#include "platform/text.h"

namespace {

CMyCommandLineInfo Parse(const std::vector<std::wstring>& args) {
    CMyCommandLineInfo info;
    platform::WalkCommandLine(args, info);
    return info;
}

TEST(CommandLineTest, OptionsAreMatchedWithoutRegardToAsciiCase) {
    struct Case {
        std::vector<std::wstring> args;
        int lang;
    };
    const Case cases[] = {
        {{L"-LANG:1"}, 1},
        {{L"/lang:1"}, 1},
        {{L"-Lang:1"}, 1},
        {{L"-lang:2abc"}, 2},
        {{L"-lang:x"}, 0},
        {{L"-lang:"}, 0},
        {{L"-lang: 2"}, 2},
        {{L"-lang:+1"}, 1},
        // Out of range: the earlier value stays.
        {{L"-lang:1", L"-lang:3"}, 1},
        {{L"-lang:1", L"-lang:-1"}, 1},
        {{L"-lang:2", L"-lang:4294967295"}, 2},
        {{L"-lang:2", L"-lang:4294967296"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.args.back().c_str());
        EXPECT_EQ(Parse(c.args).lang, c.lang);
    }
}

TEST(CommandLineTest, ValuesAreKeptVerbatim) {
    CMyCommandLineInfo info =
        Parse({L"-cmy:AbC", L"-URL:http://h/p?a=B C", L"-version:", L"/comment: x ",
               L"-des:\"D:\\A\"", L"-RESTART_EXE:client.exe"});
    EXPECT_EQ(info.cmy, L"AbC");
    EXPECT_EQ(info.url, L"http://h/p?a=B C");
    EXPECT_EQ(info.version, L"");
    EXPECT_EQ(info.comment, L" x ");
    EXPECT_EQ(info.des, L"\"D:\\A\"");
    EXPECT_EQ(info.restart_exe, L"client.exe");
}

TEST(CommandLineTest, FlagsOnlyForTheExactWords) {
    EXPECT_TRUE(Parse({L"-first"}).first);
    EXPECT_TRUE(Parse({L"/FIRST"}).first);
    EXPECT_TRUE(Parse({L"-Clean"}).clean);
    for (const wchar_t* arg : {L"-firstrun", L"-first:", L"-des", L"-cleanup", L"-"}) {
        SCOPED_TRACE(testing::Message() << arg);
        CMyCommandLineInfo info = Parse({arg});
        EXPECT_FALSE(info.first);
        EXPECT_FALSE(info.clean);
        EXPECT_TRUE(info.des.empty());
        EXPECT_TRUE(info.m_strFileName.empty());
    }
}

TEST(CommandLineTest, RepeatedOptionsOverwriteAndFileNameIsTheFirstPlainArgument) {
    CMyCommandLineInfo info = Parse({L"a", L"-url:one", L"b", L"-url:two", L"-first", L"-first"});
    EXPECT_EQ(info.url, L"two");
    EXPECT_EQ(info.m_strFileName, L"a");
    EXPECT_TRUE(info.first);
}

TEST(CommandLineTest, SilentIsAnOptionOfItsOwn) {
    EXPECT_TRUE(Parse({L"-silent"}).silent);
    EXPECT_FALSE(Parse({L"-silently"}).silent);
}

}  // namespace

namespace {

TEST(FileNameTest, NamesCompareWithoutRegardToCaseInAnyLocale) {
    EXPECT_TRUE(platform::EqualsFileName(L"Update.EXE", L"update.exe"));
    EXPECT_TRUE(platform::EqualsFileName(L"ärger.txt", L"ÄRGER.TXT"));
    EXPECT_TRUE(platform::EqualsFileName(L"Łódź", L"łÓDŹ"));
    EXPECT_TRUE(platform::EqualsFileName(L"Привет", L"пРИВЕТ"));
    EXPECT_TRUE(platform::EqualsFileName(L"ｕｐｄａｔｅ", L"ＵＰＤＡＴＥ"));
    EXPECT_FALSE(platform::EqualsFileName(L"a.txt", L"b.txt"));
    EXPECT_FALSE(platform::EqualsFileName(L"÷", L"×"));
    EXPECT_FALSE(platform::EqualsFileName(L"ab", L"abc"));
}

}  // namespace
