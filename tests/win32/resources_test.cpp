// The resources of the program: the string table in the executable agrees with the program's
// own table, the dialog template, the bitmaps and the icon are what the window expects, and the
// version record is there. The parts that read a resource section run where executables have
// one (Windows); the bitmaps are checked on every target.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "launch/string_table.h"
#include "platform/canvas.h"
#include "platform/module_resources.h"
#include "platform/program_resources.h"
#include "platform/window.h"
#include "ui/resource_ids.h"

namespace {

constexpr int kResourceDialog = 5;
constexpr int kResourceVersion = 16;

TEST(ProgramResources, StringTableInTheExecutableAgreesWithTheProgramTable) {
    if (!platform::HasModuleResources()) {
        GTEST_SKIP() << "no resource section on this target";
    }
    int entries = 0;
    for (int id = 0; id < 2048; ++id) {
        SCOPED_TRACE(id);
        std::wstring expected;
        const bool inTable = FindStringResource(id, expected);
        const std::optional<std::wstring> loaded = platform::ModuleString(id);
        ASSERT_EQ(loaded.has_value(), inTable);
        if (inTable) {
            EXPECT_EQ(*loaded, expected);
            ++entries;
        }
    }
    // Fourteen texts in each Chinese set, thirteen in English.
    EXPECT_EQ(entries, 14 + 14 + 13);
    // The texts are decoded from UTF-8, line breaks and backslashes as written.
    EXPECT_EQ(platform::ModuleString(115).value_or(L""), L"自动更新程序");
    EXPECT_NE(platform::ModuleString(113).value_or(L"").find(L"！\n如果"), std::wstring::npos);
    EXPECT_NE(platform::ModuleString(813).value_or(L"").find(L"again! \\ N If"),
              std::wstring::npos);
}

// A reader of the extended dialog template format.
class TemplateReader {
  public:
    explicit TemplateReader(const std::string& bytes) : m_bytes(bytes) {}
    uint16_t Word() {
        uint16_t v = 0;
        if (m_pos + 2 <= m_bytes.size()) {
            std::memcpy(&v, m_bytes.data() + m_pos, 2);
        }
        m_pos += 2;
        return v;
    }
    uint32_t Dword() {
        const uint32_t low = Word();
        return low | (static_cast<uint32_t>(Word()) << 16);
    }
    std::wstring String() {
        std::wstring s;
        for (uint16_t c = Word(); c != 0 && m_pos <= m_bytes.size(); c = Word()) {
            s.push_back(static_cast<wchar_t>(c));
        }
        return s;
    }
    // A name or an ordinal (0xFFFF followed by the number, given back as "#number").
    std::wstring NameOrOrdinal() {
        const size_t start = m_pos;
        if (Word() == 0xFFFF) {
            return L"#" + std::to_wstring(Word());
        }
        m_pos = start;
        return String();
    }
    void AlignDword() { m_pos = (m_pos + 3) & ~size_t{3}; }

  private:
    const std::string& m_bytes;
    size_t m_pos = 0;
};

TEST(ProgramResources, DialogTemplate132HoldsTheBrowserControl) {
    if (!platform::HasModuleResources()) {
        GTEST_SKIP() << "no resource section on this target";
    }
    const std::optional<std::string> bytes =
        platform::ModuleResource(kResourceDialog, IDD_UPDATE_DIALOG);
    ASSERT_TRUE(bytes.has_value());
    TemplateReader r(*bytes);
    EXPECT_EQ(r.Word(), 1);       // version
    EXPECT_EQ(r.Word(), 0xFFFF);  // extended template
    r.Dword();                    // help id
    EXPECT_EQ(r.Dword(), WS_EX_APPWINDOW);
    constexpr uint32_t kShellFont = 0x40 | 0x08;  // DS_SETFONT | DS_FIXEDSYS
    EXPECT_EQ(r.Dword(), kShellFont | WS_POPUP | WS_SYSMENU);
    EXPECT_EQ(r.Word(), 1);  // one control
    r.Word();
    r.Word();
    EXPECT_EQ(r.Word(), 246);
    EXPECT_EQ(r.Word(), 126);
    EXPECT_EQ(r.NameOrOrdinal(), L"");  // no menu
    EXPECT_EQ(r.NameOrOrdinal(), L"");  // the dialog class
    EXPECT_EQ(r.String(), L"");         // no caption
    EXPECT_EQ(r.Word(), 8);             // point size
    r.Word();                           // weight
    r.Word();                           // italic, character set
    EXPECT_EQ(r.String(), L"MS Shell Dlg");

    r.AlignDword();
    r.Dword();  // help id
    EXPECT_EQ(r.Dword(), 0u);
    EXPECT_EQ(r.Dword(), WS_CHILD | WS_VISIBLE | WS_TABSTOP);
    for (int i = 0; i < 4; ++i) {
        r.Word();
    }
    EXPECT_EQ(r.Dword(), static_cast<uint32_t>(IDC_EXPLORER));
    EXPECT_EQ(r.NameOrOrdinal(), L"{8856F961-340A-11D0-A96B-00C04FD705A2}");
}

TEST(ProgramResources, VersionRecordNamesTheProgram) {
    if (!platform::HasModuleResources()) {
        GTEST_SKIP() << "no resource section on this target";
    }
    const std::optional<std::string> bytes = platform::ModuleResource(kResourceVersion, 1);
    ASSERT_TRUE(bytes.has_value());
    const std::u16string name = u"Update.exe";
    const std::string wide(reinterpret_cast<const char*>(name.data()), name.size() * 2);
    EXPECT_NE(bytes->find(wide), std::string::npos);
}

TEST(ProgramResources, BitmapsAreTheDrawnPicturesAndTheIconIsThere) {
    platform::RegisterProgramResources();
    struct Row {
        int id;
        int width, height;
    };
    const Row rows[] = {{IDB_PROGRESS, 13, 14},        {IDB_BACK_EXPANDED, 385, 322},
                        {IDB_BUTTON, 72, 88},          {IDB_CLOSE, 28, 32},
                        {IDB_MINIMIZE, 28, 32},        {IDB_TOGGLE, 56, 15},
                        {IDB_BACK_COLLAPSED, 385, 205}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        const platform::Bitmap resource = platform::Bitmap::FromResource(row.id);
        ASSERT_EQ(resource.GetSize(), (platform::Size{row.width, row.height}));
        const std::filesystem::path file =
            std::filesystem::path(TQ_SOURCE_DIR) / "res" / (std::to_string(row.id) + ".bmp");
        const platform::Bitmap drawn = platform::Bitmap::FromBmpFile(file.wstring());
        EXPECT_EQ(resource.Pixels(), drawn.Pixels());
    }
    EXPECT_NE(platform::LoadIconResource(IDR_MAINFRAME), nullptr);
}

}  // namespace
