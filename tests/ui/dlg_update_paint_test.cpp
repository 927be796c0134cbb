// The painted face of the update window, read back from the screen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "dialog_harness.h"
#include "launch/settings.h"
#include "platform/program_resources.h"
#include "ui/resource_ids.h"
#include "ui_test_util.h"

namespace {

using platform::Bitmap;
using platform::Color;
using platform::Point;
using platform::Rect;
using platform::Rgb;
using uitest::DialogHarness;
using uitest::TestDialog;
namespace input = platform::input;

constexpr Color kKey = Rgb(255, 0, 255);
constexpr Color kBarBack = Rgb(255, 245, 217);
constexpr Color kBarFrame = Rgb(168, 145, 75);

class DialogFaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_saved = {g_module_folder, g_des, g_version, g_comment};
        g_module_folder = m_scratch.Folder();
        g_des = m_scratch.Path(L"client");
        std::filesystem::create_directories(std::filesystem::path(g_des) / "config");
        g_version = L"2.1.0";
        g_comment = L"修复行情刷新<br>新增自选股同步<br>优化委托下单速度";
        platform::RegisterProgramResources();
        m_small = Bitmap::FromResource(IDB_BACK_COLLAPSED);
        m_tall = Bitmap::FromResource(IDB_BACK_EXPANDED);
        m_progress = Bitmap::FromResource(IDB_PROGRESS);
        ASSERT_FALSE(m_small.IsEmpty());
        ASSERT_FALSE(m_tall.IsEmpty());
        ASSERT_FALSE(m_progress.IsEmpty());
    }
    void TearDown() override {
        g_module_folder = m_saved[0];
        g_des = m_saved[1];
        g_version = m_saved[2];
        g_comment = m_saved[3];
    }

    static Bitmap Capture(DialogHarness& h) {
        input::WaitUntilIdle(h.Handle());
        return input::CaptureWindow(h.Handle());
    }
    static void Hover(DialogHarness& h, int area) {
        input::MovePointer(h.CentreOf(area));
        input::WaitUntilIdle(h.Handle());
    }
    static void PostProgress(DialogHarness& h, uint32_t total, int32_t done) {
        platform::PostToWindow(h.Handle(), WM_UPDATE_PROGRESS, total, done);
        input::WaitUntilIdle(h.Handle());
    }

    // Every pixel of dest shows the cell of sheet copied over the background, except where the
    // cell holds the key colour: there the background shows through.
    static void ExpectKeyedCell(const Bitmap& face, const Bitmap& background, const Rect& dest,
                                const Bitmap& sheet, const Rect& cell) {
        int mismatches = 0;
        for (int y = dest.top; y < dest.bottom; ++y) {
            for (int x = dest.left; x < dest.right; ++x) {
                const Color source =
                    sheet.Pixel(cell.left + x - dest.left, cell.top + y - dest.top);
                const Color expected = source == kKey ? background.Pixel(x, y) : source;
                if (face.Pixel(x, y) != expected && ++mismatches <= 3) {
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ")";
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }

    uitest::ScratchFolder m_scratch;
    std::array<std::wstring, 4> m_saved;
    Bitmap m_small, m_tall, m_progress;
};

TEST_F(DialogFaceTest, GlyphsShowTheirHighlightedCellOnlyUnderThePointer) {
    const Bitmap minimise = Bitmap::FromResource(IDB_MINIMIZE);
    const Bitmap close = Bitmap::FromResource(IDB_CLOSE);
    const Rect normal{0, 0, 28, 16}, hot{0, 16, 28, 32};
    DialogHarness h;
    const auto rc = h.Ui([](TestDialog& d) { return d.m_rc; });
    for (const int hover : {CDlgUpdate::RC_STATUS, CDlgUpdate::RC_MINIMIZE, CDlgUpdate::RC_CLOSE}) {
        SCOPED_TRACE(hover);
        Hover(h, hover);
        const Bitmap face = Capture(h);
        ExpectKeyedCell(face, m_small, rc[CDlgUpdate::RC_MINIMIZE], minimise,
                        hover == CDlgUpdate::RC_MINIMIZE ? hot : normal);
        ExpectKeyedCell(face, m_small, rc[CDlgUpdate::RC_CLOSE], close,
                        hover == CDlgUpdate::RC_CLOSE ? hot : normal);
    }
}

TEST_F(DialogFaceTest, ToggleCellFollowsSizeAndPointer) {
    const Bitmap toggle = Bitmap::FromResource(IDB_TOGGLE);
    DialogHarness h;
    struct Row {
        bool tall;
        bool over;
        int cell;
    };
    const Row rows[] = {{false, false, 2}, {false, true, 3}, {true, false, 0}, {true, true, 1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.cell);
        h.Ui([&r](TestDialog& d) { d.SetCollapsed(r.tall ? 0 : 1); });
        Hover(h, r.over ? CDlgUpdate::RC_TOGGLE : CDlgUpdate::RC_STATUS);
        const Rect dest = h.Ui([](TestDialog& d) { return d.m_rc[CDlgUpdate::RC_TOGGLE]; });
        ExpectKeyedCell(Capture(h), r.tall ? m_tall : m_small, dest, toggle,
                        {r.cell * 14, 0, r.cell * 14 + 14, 15});
    }
}

TEST_F(DialogFaceTest, ProgressBarFillsFromItsLeftEdge) {
    struct Row {
        int done;       // of 1000
        int fillRight;  // first column after the fill; 10 for none
    };
    // The bar is (9, 122)-(376, 139): x = (367 - 1) * p + 9, truncated.
    const Row rows[] = {{0, 10}, {500, 192}, {1000, 375}, {1500, 385}};
    DialogHarness h;
    h.Ui([](TestDialog& d) { d.SetState(2); });
    const int y = 130;
    const int sourceRow = (y - 123) * m_progress.Height() / 15;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.done);
        PostProgress(h, 1000, r.done);
        const Bitmap face = Capture(h);
        // The fill is the progress picture stretched over (10, 123)-(x, 138), x unclipped.
        const int fillWidth = 9 + 366 * r.done / 1000 - 10;
        for (int x = 10; x < r.fillRight; ++x) {
            const int sourceColumn = (x - 10) * m_progress.Width() / std::max(1, fillWidth);
            ASSERT_EQ(face.Pixel(x, y), m_progress.Pixel(sourceColumn, sourceRow)) << x;
        }
        for (int x = r.fillRight; x < 375; ++x) {
            ASSERT_EQ(face.Pixel(x, y), kBarBack) << x;
        }
        EXPECT_EQ(face.Pixel(9, y), kBarFrame);
        EXPECT_EQ(face.Pixel(100, 122), kBarFrame);
        EXPECT_EQ(face.Pixel(100, 138), kBarFrame);
        if (r.done <= 1000) {
            EXPECT_EQ(face.Pixel(375, y), kBarFrame);
        }
    }
}

TEST_F(DialogFaceTest, NoBarBeforeTheDownload) {
    DialogHarness h;
    const Bitmap face = Capture(h);
    for (const Point p : {Point{9, 122}, Point{100, 130}, Point{375, 138}}) {
        EXPECT_EQ(face.Pixel(p.x, p.y), m_small.Pixel(p.x, p.y));
    }
}

// Pictures of the window for the demonstration, in TQ_SCREENSHOT_DIR or else in screenshots/
// of the build folder (ctest tells the tests where the build's dist/ folder is). A backdrop shows
// where the colour key makes the window transparent.
void SaveScreenshot(const Bitmap& window, const std::string& name) {
    std::filesystem::path folder;
    if (const char* dir = std::getenv("TQ_SCREENSHOT_DIR"); dir && *dir) {
        folder = dir;
    } else if (const char* dist = std::getenv("TQ_DIST_DIR"); dist && *dist) {
        folder = std::filesystem::path(dist).parent_path() / "screenshots";
    } else {
        return;
    }
    std::filesystem::create_directories(folder);
    const int margin = 12;
    const int w = window.Width() + 2 * margin, h = window.Height() + 2 * margin;
    std::vector<Color> pixels(static_cast<size_t>(w) * h, Rgb(232, 234, 238));
    for (int y = 0; y < window.Height(); ++y) {
        for (int x = 0; x < window.Width(); ++x) {
            const Color c = window.Pixel(x, y);
            if (c != kKey) {
                pixels[static_cast<size_t>(y + margin) * w + x + margin] = c;
            }
        }
    }
    EXPECT_TRUE(platform::WritePng((folder / name).wstring(), w, h, pixels));
}

TEST_F(DialogFaceTest, ScreenshotsOfTheMainStates) {
    uitest::WriteBytes(std::filesystem::path(g_des) / "config" / "qrsvr.ini",
                       "[Version]\r\nMajor=2\r\nMinor=1\r\nThirdVer=0\r\n");
    DialogHarness h;
    const Bitmap ready = Capture(h);
    // Some title text is painted over the background's title area.
    bool titled = false;
    for (int x = 40; x < 200 && !titled; ++x) {
        for (int y = 12; y < 26 && !titled; ++y) {
            titled = ready.Pixel(x, y) != m_small.Pixel(x, y);
        }
    }
    EXPECT_TRUE(titled);
    SaveScreenshot(ready, "dialog_ready.png");

    h.Ui([](TestDialog& d) { d.SetState(2); });
    h.Ui([](TestDialog& d) { d.SetCollapsed(0); });
    PostProgress(h, 200, 90);
    SaveScreenshot(Capture(h), "dialog_downloading.png");

    PostProgress(h, 200, 200);
    platform::PostToWindow(h.Handle(), WM_UPDATE_COMPLETE);
    SaveScreenshot(Capture(h), "dialog_complete.png");
    EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_strStatus; }), L"升级完成,已经更新至2.1.0");
}

}  // namespace
