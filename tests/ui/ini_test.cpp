#include "platform/ini.h"

#include <gtest/gtest.h>

#include "ui_test_util.h"

namespace {

struct IniCase {
    const char* name;
    std::string content;
    int expected;  // Major, read with the default 1
};

// Read through the system's profile functions on Windows and through our own reader elsewhere:
// the same table holds for both.
TEST(ReadProfileIntTest, ReadsAsTheProfileFunctionsDo) {
    const IniCase cases[] = {
        {"plain", "[Version]\r\nMajor=2\r\nMinor=10\r\n", 2},
        {"names ignore case", "[version]\nMAJOR=7\n", 7},
        {"blanks around key and value", "  [Version]\n  Major  =   12  \n", 12},
        {"other section", "[Other]\nMajor=5\n", 1},
        {"key before every section", "Major=3\n[Version]\nMinor=1\n", 1},
        {"section ends at the next", "[Version]\nMinor=1\n[Next]\nMajor=4\n", 1},
        {"missing key", "[Version]\nMinor=3\n", 1},
        {"empty value", "[Version]\nMajor=\n", 1},
        {"no equals sign", "[Version]\nMajor\n", 1},
        {"digits then text", "[Version]\nMajor=12abc\n", 12},
        {"no digits", "[Version]\nMajor=abc\n", 0},
        {"negative", "[Version]\nMajor=-4\n", -4},
        {"plus sign", "[Version]\nMajor=+8\n", 8},
        {"hexadecimal", "[Version]\nMajor=0x1F\n", 31},
        {"quoted", "[Version]\nMajor=\"9\"\n", 9},
        {"wraps at 32 bits", "[Version]\nMajor=4294967295\n", -1},
        {"first key wins", "[Version]\nMajor=5\nMajor=6\n", 5},
        {"bare CR line ends", "[Version]\rMajor=3\r", 3},
        {"UTF-8 mark before a comment line", "\xEF\xBB\xBF; record\r\n[Version]\r\nMajor=6\r\n", 6},
        {"UTF-16 little-endian",
         std::string("\xFF\xFE[\0V\0e\0r\0s\0i\0o\0n\0]\0\r\0\n\0M\0a\0j\0o\0r\0=\0"
                     "8\0",
                     38),
         8},
    };
    uitest::ScratchFolder scratch;
    const std::wstring path = scratch.Path(L"qrsvr.ini");
    for (const IniCase& c : cases) {
        SCOPED_TRACE(c.name);
        uitest::WriteBytes(path, c.content);
        EXPECT_EQ(platform::ReadProfileInt(path, L"Version", L"Major", 1), c.expected);
    }
}

TEST(ReadProfileIntTest, MissingFileGivesTheDefault) {
    uitest::ScratchFolder scratch;
    EXPECT_EQ(platform::ReadProfileInt(scratch.Path(L"none.ini"), L"Version", L"Major", 1), 1);
    EXPECT_EQ(platform::ReadProfileInt(scratch.Path(L"none.ini"), L"Version", L"Minor", 0), 0);
}

}  // namespace
