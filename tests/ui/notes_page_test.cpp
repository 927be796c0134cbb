#include "ui/notes_page.h"

#include <gtest/gtest.h>

#include "launch/settings.h"
#include "launch/update_app.h"
#include "ui_test_util.h"

namespace {

using uitest::ReadBytes;
using uitest::ScratchFolder;

// The settings the page reads are process-wide; every test puts back what it found.
class NotesPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_savedFolder = g_module_folder;
        m_savedVersion = g_version;
        m_savedComment = g_comment;
        g_module_folder = m_scratch.Folder();
    }
    void TearDown() override {
        g_module_folder = m_savedFolder;
        g_version = m_savedVersion;
        g_comment = m_savedComment;
    }

    ScratchFolder m_scratch;
    std::wstring m_savedFolder, m_savedVersion, m_savedComment;
};

TEST_F(NotesPageTest, PageBytesAreExactUtf8WithCrLfAndNoBomOrNul) {
    const std::wstring path = m_scratch.Path(L"page.html");
    // Markup in the comment goes in unescaped: a line break tag and a raw ampersand.
    WriteNotesPage(path, L"2.1.0", L"修复行情刷新<br>新增&amp;优化 R&D");

    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes, ReadBytes(uitest::DataFile("notes_2.1.0.html")));
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(bytes.find('\0'), std::string::npos);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at byte " << i;
        }
    }
    // The version stands on its own line right after the paragraph that opens it.
    EXPECT_NE(bytes.find("<span lang=EN-US>\r\n2.1.0</span></p>\r\n"), std::string::npos);
}

TEST_F(NotesPageTest, EmptyCommentBecomesTheDefaultForTheWholeRun) {
    g_version = L"3.4.5";
    g_comment.clear();

    const std::wstring path = theApp.PrepareNotesPage();

    EXPECT_EQ(path, m_scratch.Folder() + L"updateInfo.html");
    EXPECT_EQ(g_comment, L"平台功能优化");
    EXPECT_EQ(ReadBytes(path), ReadBytes(uitest::DataFile("notes_default.html")));
}

TEST_F(NotesPageTest, ExistingPageIsNeverRewritten) {
    const std::wstring path = m_scratch.Path(L"updateInfo.html");
    for (const std::string& present : {std::string(), std::string("<p>older notes</p>")}) {
        SCOPED_TRACE(present);
        uitest::WriteBytes(path, present);
        g_version = L"9.9.9";
        g_comment.clear();

        EXPECT_EQ(theApp.PrepareNotesPage(), path);
        EXPECT_EQ(ReadBytes(path), present);
        // The default comment is only taken when the page is written.
        EXPECT_TRUE(g_comment.empty());
    }
}

TEST_F(NotesPageTest, FolderInTheWayIsTakenAsThePage) {
    std::filesystem::create_directory(std::filesystem::path(m_scratch.Path(L"updateInfo.html")));
    g_comment = L"c";
    EXPECT_EQ(theApp.PrepareNotesPage(), m_scratch.Path(L"updateInfo.html"));
}

TEST_F(NotesPageTest, PageThatCannotBeOpenedLeavesNoFile) {
    g_module_folder = m_scratch.Folder() + L"missing" + platform::kPathSepStr;
    g_version = L"1.0.0";
    g_comment = L"x";

    const std::wstring path = theApp.PrepareNotesPage();

    EXPECT_EQ(path, g_module_folder + L"updateInfo.html");
    EXPECT_FALSE(platform::Exists(path));
}

TEST(ToUtf8Test, CountsBytesAndTerminates) {
    struct Case {
        std::wstring text;
        std::string utf8;
    };
    const Case cases[] = {
        {L"", ""},
        {L"abc", "abc"},
        {L"版本号", "\xE7\x89\x88\xE6\x9C\xAC\xE5\x8F\xB7"},
        // Outside the basic plane: one surrogate pair in UTF-16, one character in UTF-32.
        {L"\U0001F600", "\xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        std::unique_ptr<char[]> out;
        const size_t size = ToUtf8(c.text, out);
        ASSERT_EQ(size, c.utf8.size());
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::string(out.get(), size), c.utf8);
        EXPECT_EQ(out[size], '\0');
    }
}

}  // namespace
