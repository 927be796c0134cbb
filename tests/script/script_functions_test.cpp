// The native script functions, called the way scripts call them: through the runtime's call by
// name, with texts (tqCallByName) or with ready-made values (tqCallValues).
#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "fileops/scratch_folder.h"
#include "launch/settings.h"
#include "launch/update_app.h"
#include "platform/debug.h"
#include "runtime/tqbase.h"

namespace {

using tqtest::Join;
using tqtest::ReadBytes;
using tqtest::ScratchFolder;
using tqtest::WriteBytes;

std::vector<std::string> Texts(const std::list<tqString>& list) {
    std::vector<std::string> texts;
    for (const tqString& item : list) {
        texts.emplace_back(item.c_str(), item.size());
    }
    return texts;
}

tqValue Integer(int32_t value) {
    tqValue v;
    v.type = kTqInteger;
    v.payload.integer = value;
    return v;
}

tqValue Text(const char* text) {
    tqValue v;
    v.type = kTqText;
    v.payload.text = text;
    return v;
}

tqValue Number(double number) {
    tqValue v;
    v.type = kTqNumber;
    v.payload.number = number;
    return v;
}

tqValue RefTo(tqValue* target, uint32_t type) {
    tqValue v;
    v.type = type | kTqRefFlag;
    v.payload.ref = target;
    return v;
}

// Saves and restores everything the functions read or write.
class ScriptFunctionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetUnattended(true);
        m_savedUrls = theApp.m_updateUrls;
        m_savedCmyUrls = theApp.m_cmyUpdateUrls;
        m_savedConfig = theApp.m_configText;
        m_savedCmy = g_cmy;
        m_savedDes = g_des;
        m_savedSrc = g_src_folder;
        theApp.m_updateUrls.assign({tqString("http://first/pkg.zip")});
        theApp.m_cmyUpdateUrls.clear();
        theApp.m_configText = tqString("initial");
        g_cmy.clear();
    }
    void TearDown() override {
        theApp.m_updateUrls = m_savedUrls;
        theApp.m_cmyUpdateUrls = m_savedCmyUrls;
        theApp.m_configText = m_savedConfig;
        g_cmy = m_savedCmy;
        g_des = m_savedDes;
        g_src_folder = m_savedSrc;
    }

    // update_config through call by name with texts; checks the result is the number zero.
    void ConfigByName(const char* kind, const char* text) {
        const char* args[] = {kind, text};
        tqValue result = Integer(77);
        ASSERT_TRUE(tqCallByName(&result, "update_config", args, 2));
        EXPECT_EQ(result.type, kTqNumber);
        EXPECT_EQ(result.payload.number, 0.0);
        tqValueDestroy(&result);
    }
    void ConfigByValues(tqValue* args, int count) {
        tqValue result;
        tqValueSetText(&result, "a text the call replaces");
        ASSERT_TRUE(tqCallValues(&result, "update_config", args, count));
        EXPECT_EQ(result.type, kTqNumber);
        EXPECT_EQ(result.payload.number, 0.0);
    }

    std::list<tqString> m_savedUrls, m_savedCmyUrls;
    tqString m_savedConfig;
    std::wstring m_savedCmy, m_savedDes, m_savedSrc;
};

TEST_F(ScriptFunctionsTest, DescribeTheirArgumentsAndResults) {
    struct Case {
        const char* name;
        std::vector<int> types;  // result first, then the arguments
    };
    const Case cases[] = {
        {"update_config", {kTqNumber, kTqInteger, kTqText}},
        {"update_src_folder", {kTqText}},
        {"update_des_folder", {kTqText}},
        {"update_cmy_name", {kTqText}},
        {"copy_folder", {kTqInteger, kTqText, kTqText}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uiCalcFunc* func = tqFindFunc(c.name);
        ASSERT_NE(func, nullptr);
        const int argCount = static_cast<int>(c.types.size()) - 1;
        int out = 99;
        EXPECT_EQ(func->GetArgCount(&out), argCount);
        EXPECT_EQ(out, 0);
        for (int index = -1; index < argCount; ++index) {
            ASSERT_NE(func->GetArgName(index), nullptr) << index;
            EXPECT_STREQ(func->GetArgName(index), "") << index;
            EXPECT_EQ(func->GetArgType(index), c.types[static_cast<size_t>(index + 1)]) << index;
        }
        EXPECT_EQ(func->GetArgName(argCount), nullptr);
        EXPECT_EQ(func->GetArgName(-2), nullptr);
    }
}

TEST_F(ScriptFunctionsTest, UpdateConfigKindsThroughCallByName) {
    ConfigByName("1", "http://a/pkg.zip");
    ConfigByName("1", "");  // an empty address is an address too
    ConfigByName("2", "config text");
    ConfigByName("3", "http://cmy/pkg.zip");  // no company code: ignored
    ConfigByName("4", "ignored");
    ConfigByName("0", "ignored");
    ConfigByName("-1", "ignored");
    ConfigByName("x", "ignored");
    EXPECT_EQ(Texts(theApp.m_updateUrls),
              (std::vector<std::string>{"http://first/pkg.zip", "http://a/pkg.zip", ""}));
    EXPECT_TRUE(theApp.m_cmyUpdateUrls.empty());
    EXPECT_STREQ(theApp.m_configText.c_str(), "config text");

    g_cmy = L"C01";
    ConfigByName("3", "http://cmy/1.zip");
    ConfigByName(" +3", "http://cmy/2.zip");
    EXPECT_EQ(Texts(theApp.m_cmyUpdateUrls),
              (std::vector<std::string>{"http://cmy/1.zip", "http://cmy/2.zip"}));
    EXPECT_EQ(theApp.m_updateUrls.size(), 3u);
}

TEST_F(ScriptFunctionsTest, UpdateConfigAppendsInCallOrderAfterWhatIsThere) {
    for (const char* url : {"a", "b", "c"}) {
        tqValue args[] = {Integer(1), Text(url)};
        ConfigByValues(args, 2);
    }
    EXPECT_EQ(Texts(theApp.m_updateUrls),
              (std::vector<std::string>{"http://first/pkg.zip", "a", "b", "c"}));
    // The list holds copies, not the caller's characters.
    char scratch[] = "mutable";
    tqValue args[] = {Integer(1), Text(scratch)};
    ConfigByValues(args, 2);
    std::strcpy(scratch, "changed");
    EXPECT_EQ(Texts(theApp.m_updateUrls).back(), "mutable");
}

TEST_F(ScriptFunctionsTest, ArgumentsPassedByReferenceAreFollowedOnce) {
    tqValue kind = Integer(1);
    tqValue text = Text("by reference");
    tqValue args[] = {RefTo(&kind, kTqInteger), RefTo(&text, kTqText)};
    ConfigByValues(args, 2);
    EXPECT_EQ(Texts(theApp.m_updateUrls).back(), "by reference");

    // The type word 0xFFFF has the reference bit but is read directly.
    tqValue direct[2];
    direct[0].type = kTqNone;
    direct[0].payload.integer = 2;
    direct[1].type = kTqNone;
    direct[1].payload.text = "direct";
    ConfigByValues(direct, 2);
    EXPECT_STREQ(theApp.m_configText.c_str(), "direct");

    // Followed once only: a reference to a reference holds no text of its own.
    tqValue twice[] = {Integer(2), RefTo(&args[1], kTqText)};
    ConfigByValues(twice, 2);
    EXPECT_STREQ(theApp.m_configText.c_str(), "");
}

TEST_F(ScriptFunctionsTest, ArgumentsOfOtherShapesNeverReadWildMemory) {
    struct Case {
        const char* name;
        std::vector<tqValue> args;
        int count;
        std::vector<std::string> urls;  // what m_updateUrls holds after the first entry
    };
    const std::vector<Case> cases = {
        {"no arguments at all", {}, 0, {}},
        {"kind only", {Integer(1)}, 1, {""}},
        {"kind as a number", {Number(1.0), Text("n")}, 2, {"n"}},
        {"kind as a huge number", {Number(1e300), Text("n")}, 2, {}},
        {"text as an integer", {Integer(1), Integer(12345)}, 2, {""}},
        {"null text", {Integer(1), Text(nullptr)}, 2, {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        theApp.m_updateUrls.assign({tqString("http://first/pkg.zip")});
        std::vector<tqValue> args = c.args;
        ConfigByValues(args.empty() ? nullptr : args.data(), c.count);
        std::vector<std::string> expected{"http://first/pkg.zip"};
        expected.insert(expected.end(), c.urls.begin(), c.urls.end());
        EXPECT_EQ(Texts(theApp.m_updateUrls), expected);
    }
}

TEST_F(ScriptFunctionsTest, ReportTheFoldersAndTheCompanyCode) {
    g_src_folder.clear();
    g_des = platform::TempFolder() + L"Client Folder";
    g_cmy = L"C-042";
    struct Case {
        const char* name;
        std::string expected;
    };
    for (const Case& c :
         {Case{"update_src_folder", ""}, Case{"update_des_folder", platform::WideToAnsi(g_des)},
          Case{"update_cmy_name", "C-042"}}) {
        SCOPED_TRACE(c.name);
        tqValue result = Integer(5);
        ASSERT_TRUE(tqCallByName(&result, c.name, nullptr, 0));
        ASSERT_EQ(result.type, kTqText);
        EXPECT_EQ(std::string(result.payload.text), c.expected);
        tqValueDestroy(&result);
    }
    g_src_folder = platform::TempFolder() + L"tqupdate7";
    tqValue result;
    ASSERT_TRUE(tqCallByName(&result, "update_src_folder", nullptr, 0));
    EXPECT_EQ(std::string(result.payload.text), platform::WideToAnsi(g_src_folder));
    tqValueDestroy(&result);
}

TEST_F(ScriptFunctionsTest, CopyFolderCopiesAndLogsIntoTheDestination) {
    ScratchFolder scratch;
    const std::wstring source = scratch / L"from";
    const std::wstring destination = scratch / L"to";
    ASSERT_TRUE(platform::CreateFolder(source));
    ASSERT_TRUE(platform::CreateFolder(destination));
    WriteBytes(Join(source, L"file.txt"), "payload");
    const std::string src = platform::WideToAnsi(source), dst = platform::WideToAnsi(destination);

    const char* args[] = {src.c_str(), dst.c_str()};
    tqValue result;
    ASSERT_TRUE(tqCallByName(&result, "copy_folder", args, 2));
    EXPECT_EQ(result.type, kTqInteger);
    EXPECT_EQ(result.payload.integer, 1);
    EXPECT_EQ(ReadBytes(Join(destination, L"file.txt")), "payload");
    const std::vector<std::string> lines = tqtest::ReadLines(Join(destination, L"Update2.log"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(10),
              "copy folder, src folder path \"" + src + "\", dest folder path \"" + dst + "\"");

    // A missing source still creates the destination and succeeds.
    const std::string missing = platform::WideToAnsi(scratch / L"missing");
    const std::string fresh = platform::WideToAnsi(scratch / L"fresh");
    const char* missingArgs[] = {missing.c_str(), fresh.c_str()};
    ASSERT_TRUE(tqCallByName(&result, "copy_folder", missingArgs, 2));
    EXPECT_EQ(result.payload.integer, 1);
    EXPECT_TRUE(platform::IsFolder(scratch / L"fresh"));

    // A destination whose parent is missing fails with 0.
    const std::string orphan = platform::WideToAnsi(Join(scratch / L"nowhere", L"to"));
    const char* failingArgs[] = {src.c_str(), orphan.c_str()};
    ASSERT_TRUE(tqCallByName(&result, "copy_folder", failingArgs, 2));
    EXPECT_EQ(result.type, kTqInteger);
    EXPECT_EQ(result.payload.integer, 0);
}

}  // namespace
