#include <gtest/gtest.h>

#include "launch/lang_string.h"
#include "launch/settings.h"
#include "launch/string_table.h"

namespace {

class LangStringTest : public testing::Test {
  protected:
    void TearDown() override { g_lang = 0; }
};

TEST_F(LangStringTest, OffsetsByLanguage) {
    struct Case {
        int lang;
        int id;
        std::wstring text;
    };
    const Case cases[] = {
        {0, 115, L"自动更新程序"},
        {1, 115, L"自動更新程序"},
        {2, 115, L"Automatic Update"},
        {0, 126, L" Orlin交易系统自动更新程序"},
        {1, 126, L" Orlin交易系統自動更新程序"},
        {2, 126, L""},  // no English twin: empty, never the Chinese text
        {2, 110, L"Restart"},
        {1, 112, L"開始升級"},
        {0, 107, L"下载成功，开始解压更新包..."},
        {2, 107, L"Download successful ,start extracting update package ..."},
        {2, 103, L"Successfully loaded the upgrade script！"},
        {0, 999, L""},
        {3, 115, L""},
        {-1, 115, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "lang " << c.lang << " id " << c.id);
        g_lang = c.lang;
        EXPECT_EQ(LoadLangString(c.id), c.text);
    }
}

TEST_F(LangStringTest, ExactTextsWithLineBreaksAndLiteralBackslash) {
    g_lang = 0;
    EXPECT_EQ(LoadLangString(113),
              L"所有下载地址都不可用，请确保您的网络能够正常使用，再尝试一次！\n"
              L"如果还是不能成功，请联系在线客服！谢谢！");
    g_lang = 2;
    std::wstring english = LoadLangString(113);
    EXPECT_NE(english.find(L"try again! \\ N If you"), std::wstring::npos);
    EXPECT_EQ(english.find(L'\n'), std::wstring::npos);
}

TEST_F(LangStringTest, ScriptLibraryMessageIsAlwaysLoadedByItsPlainId) {
    for (int lang : {0, 1, 2}) {
        g_lang = lang;
        EXPECT_EQ(LoadPlainString(104), L"无法加载脚本库tqslib.tql");
    }
}

TEST_F(LangStringTest, EveryShownTextHasItsTwins) {
    for (int id : {103, 104, 106, 107, 108, 110, 111, 112, 113, 114, 115, 116, 118, 126}) {
        SCOPED_TRACE(id);
        std::wstring text;
        EXPECT_TRUE(FindStringResource(id, text));
        EXPECT_TRUE(FindStringResource(id + 300, text));
        EXPECT_EQ(FindStringResource(id + 700, text), id != 126);
    }
}

}  // namespace
