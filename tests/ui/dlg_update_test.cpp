#include "ui/dlg_update.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>

#include "dialog_harness.h"
#include "launch/settings.h"
#include "platform/debug.h"
#include "ui/resource_ids.h"
#include "ui_test_util.h"

namespace {

using platform::Point;
using platform::Rect;
using uitest::DialogHarness;
using uitest::TestDialog;
namespace input = platform::input;

const std::wstring kReadyText = L"成功加载升级脚本！";
const std::wstring kLoadingText = L"正在加载升级脚本...";
const std::wstring kDownloadingText = L"正在下载更新包...";
const std::wstring kCompleteText = L"升级完成,已经更新至";

// The settings the dialog reads are process-wide: each test works in its own folders and puts
// back what it found.
class UpdateDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_saved = {g_module_folder, g_des, g_version, g_comment};
        m_savedLang = g_lang;
        g_lang = 0;
        g_module_folder = m_scratch.Folder();
        g_des = m_scratch.Path(L"client");
        std::filesystem::create_directories(std::filesystem::path(g_des) / "config");
        g_version = L"2.1.0";
        g_comment = L"修复行情刷新<br>新增自选股同步";
    }
    void TearDown() override {
        g_module_folder = m_saved[0];
        g_des = m_saved[1];
        g_version = m_saved[2];
        g_comment = m_saved[3];
        g_lang = m_savedLang;
    }

    void WriteVersionRecord(const std::string& text) {
        uitest::WriteBytes(std::filesystem::path(g_des) / "config" / "qrsvr.ini", text);
    }

    static int State(DialogHarness& h) {
        return h.Ui([](TestDialog& d) { return d.m_nState; });
    }
    static std::wstring Status(DialogHarness& h) {
        return h.Ui([](TestDialog& d) { return d.m_strStatus; });
    }
    static platform::Size ClientSize(DialogHarness& h) {
        return h.Ui([](TestDialog& d) { return d.ClientRect().GetSize(); });
    }
    static void GoTo(DialogHarness& h, int state) {
        h.Ui([state](TestDialog& d) { d.SetState(state); });
        input::WaitUntilIdle(h.Handle());
    }
    static void Click(DialogHarness& h, CSkinButtonEx TestDialog::*button) {
        const Rect r = h.Ui([button](TestDialog& d) { return (d.*button).WindowRect(); });
        input::ClickAt({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        input::WaitUntilIdle(h.Handle());
    }
    // A click on one of the reacting areas of the face: the pointer moves there first, as a
    // hand on a mouse does.
    static void ClickArea(DialogHarness& h, int area) {
        input::MovePointer(h.CentreOf(area));
        input::PressLeft();
        input::ReleaseLeft();
        input::WaitUntilIdle(h.Handle());
    }
    static void SendStatus(DialogHarness& h, platform::WParam wParam, const std::wstring& text) {
        // From this thread, as the worker does: the send returns once the dialog has copied it.
        platform::SendToWindow(h.Handle(), WM_UPDATE_STATUS, wParam,
                               reinterpret_cast<platform::LParam>(text.c_str()));
    }
    static void PostProgress(DialogHarness& h, uint32_t total, int32_t done) {
        platform::PostToWindow(h.Handle(), WM_UPDATE_PROGRESS, total, done);
        input::WaitUntilIdle(h.Handle());
    }

    uitest::ScratchFolder m_scratch;
    std::array<std::wstring, 4> m_saved;
    int m_savedLang = 0;
};

struct Visible {
    bool start, retry, restart, cancel, notes;
    friend bool operator==(const Visible&, const Visible&) = default;
};

Visible Shown(DialogHarness& h) {
    return h.Ui([](TestDialog& d) {
        const Rect notes = d.m_explorer.WindowRectInParent();
        return Visible{d.m_btnStart.IsVisible(), d.m_btnRetry.IsVisible(),
                       d.m_btnRestart.IsVisible(), d.m_btnCancel.IsVisible(), !notes.IsEmpty()};
    });
}

TEST_F(UpdateDialogTest, StartsReadyWithTheNotesPageAndWithdrawsItselfWhenGone) {
    DialogHarness h;
    ASSERT_NE(h.Handle(), nullptr);

    EXPECT_EQ(State(h), CDlgUpdate::STATE_READY);
    EXPECT_EQ(Status(h), kReadyText);
    EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_strLabel; }), L"更新说明");
    EXPECT_EQ(ClientSize(h), (platform::Size{385, 205}));
    EXPECT_EQ(Shown(h), (Visible{true, false, false, true, false}));
    EXPECT_TRUE(h.Ui([](TestDialog& d) { return d.m_btnStart.HasFocus(); }));
    EXPECT_EQ(h.Ui([](TestDialog& d) { return d.Text(); }), L"自动更新程序");
    EXPECT_TRUE(h.Ui([](TestDialog& d) { return (d.ExStyle() & WS_EX_LAYERED) != 0; }));
    // Centred on the screen.
    const platform::Size screen = input::ScreenSize();
    EXPECT_EQ(h.Ui([](TestDialog& d) { return d.WindowRect().TopLeft(); }),
              (Point{(screen.cx - 385) / 2, (screen.cy - 205) / 2}));

    const std::wstring page = g_module_folder + L"updateInfo.html";
    EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_explorer.LocationURL(); }), page);
    EXPECT_TRUE(platform::Exists(page));

    EXPECT_EQ(h.Ui([](TestDialog& d) { return g_update_dialog == &d; }), true);
    EXPECT_EQ(UpdateDialogWindow(), h.Handle());

    platform::PostToWindow(h.Handle(), WM_UPDATE_CANCEL);
    EXPECT_EQ(h.WaitForEnd(), -1);  // ended by WM_QUIT
    EXPECT_EQ(h.DialogAfter(), nullptr);
    EXPECT_EQ(h.WindowAfter(), nullptr);
    // A worker that still holds the old handle reaches nothing.
    EXPECT_FALSE(platform::PostToWindow(h.Handle(), WM_UPDATE_PROGRESS, 3, 1));
}

enum class Event { kStart, kRetry, kRestart, kCancel, kComplete, kFailed, kEnter };

struct Transition {
    const char* name;
    int from;
    Event event;
    int to;  // -1: the dialog ended
    std::vector<int> workers;
    std::vector<int> steps;
};

TEST_F(UpdateDialogTest, StateTable) {
    const Transition table[] = {
        {"Start button", 1, Event::kStart, 2, {1}, {}},
        {"Retry button", 4, Event::kRetry, 2, {1}, {}},
        {"complete while downloading", 2, Event::kComplete, 3, {}, {}},
        {"failed while downloading", 2, Event::kFailed, 4, {}, {}},
        {"complete outside a download", 1, Event::kComplete, 3, {}, {}},
        {"complete after a failure", 4, Event::kComplete, 3, {}, {}},
        {"failed after completion", 3, Event::kFailed, 4, {}, {}},
        {"Restart button", 3, Event::kRestart, -1, {}, {3}},
        {"Cancel when ready", 1, Event::kCancel, -1, {}, {}},
        {"Cancel while downloading", 2, Event::kCancel, -1, {}, {}},
        {"Cancel after a failure", 4, Event::kCancel, -1, {}, {}},
        {"Enter while loading", 0, Event::kEnter, 0, {}, {}},
        {"Enter when ready", 1, Event::kEnter, 2, {1}, {}},
        {"Enter while downloading", 2, Event::kEnter, 2, {}, {}},
        {"Enter when complete", 3, Event::kEnter, -1, {}, {3}},
        {"Enter after a failure", 4, Event::kEnter, 2, {1}, {}},
    };
    // The rows that leave the dialog open share one; each row that ends it gets its own.
    DialogHarness shared;
    for (const Transition& t : table) {
        SCOPED_TRACE(t.name);
        std::optional<DialogHarness> own;
        if (t.to == -1) {
            own.emplace();
        }
        DialogHarness& h = own ? *own : shared;
        const auto workersBefore = h.Ui([](TestDialog& d) { return d.m_workerJobs.size(); });
        const auto stepsBefore = h.Ui([](TestDialog& d) { return d.m_steps.size(); });
        // The usual road: a download first, so the focus is where the user would find it.
        if (t.from >= 2) {
            GoTo(h, 2);
        }
        GoTo(h, t.from);
        switch (t.event) {
            case Event::kStart:
                Click(h, &TestDialog::m_btnStart);
                break;
            case Event::kRetry:
                Click(h, &TestDialog::m_btnRetry);
                break;
            case Event::kRestart:
                Click(h, &TestDialog::m_btnRestart);
                break;
            case Event::kCancel:
                Click(h, &TestDialog::m_btnCancel);
                break;
            case Event::kComplete:
                platform::PostToWindow(h.Handle(), WM_UPDATE_COMPLETE);
                input::WaitUntilIdle(h.Handle());
                break;
            case Event::kFailed:
                platform::SendToWindow(h.Handle(), WM_UPDATE_FAILED);
                break;
            case Event::kEnter:
                input::PressKey(VK_RETURN);
                input::WaitUntilIdle(h.Handle());
                break;
        }
        if (t.to == -1) {
            EXPECT_EQ(h.WaitForEnd(), -1);
            continue;
        }
        EXPECT_EQ(State(h), t.to);
        const auto workers = h.Ui([](TestDialog& d) { return d.m_workerJobs; });
        const auto steps = h.Ui([](TestDialog& d) { return d.m_steps; });
        EXPECT_EQ(std::vector<int>(workers.begin() + workersBefore, workers.end()), t.workers);
        EXPECT_EQ(std::vector<int>(steps.begin() + stepsBefore, steps.end()), t.steps);
    }
}

TEST_F(UpdateDialogTest, EachStateShowsItsButtonsAndFocus) {
    struct Row {
        int state;
        Visible shown;
        CSkinButtonEx TestDialog::*focus;
    };
    const Row rows[] = {
        {0, {false, false, false, true, false}, nullptr},
        {1, {true, false, false, true, false}, &TestDialog::m_btnStart},
        {2, {false, false, false, true, false}, &TestDialog::m_btnCancel},
        {3, {false, false, true, false, false}, &TestDialog::m_btnRestart},
        {4, {false, true, false, true, false}, nullptr},
    };
    DialogHarness h;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.state);
        GoTo(h, r.state);
        EXPECT_EQ(Shown(h), r.shown);
        if (r.focus) {
            EXPECT_TRUE(h.Ui([&r](TestDialog& d) { return (d.*r.focus).HasFocus(); }));
        }
        EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_bNotesEnabled; }), r.state == 0 ? 0 : 1);
    }
}

TEST_F(UpdateDialogTest, EscapeNeverClosesTheDialog) {
    DialogHarness h;
    for (int state = 0; state <= 4; ++state) {
        SCOPED_TRACE(state);
        GoTo(h, state);
        input::PressKey(VK_ESCAPE);
        input::WaitUntilIdle(h.Handle());
        ASSERT_TRUE(platform::IsWindowAlive(h.Handle()));
        EXPECT_EQ(State(h), state);
    }
}

TEST_F(UpdateDialogTest, StatusMessagesFollowTheFailedFlagAndTheState) {
    const std::wstring text = L"下载失败(12029)";
    DialogHarness h;
    for (int state = 0; state <= 4; ++state) {
        for (const platform::WParam wParam :
             {platform::WParam{0}, platform::WParam{1}, platform::WParam{0x10000}}) {
            const bool failed = (wParam & 0xFFFF) != 0;
            SCOPED_TRACE(testing::Message() << "state " << state << " wParam " << wParam);
            GoTo(h, state);
            SendStatus(h, 0x1, L"");  // a status line that is none of the expected ones
            const std::wstring before = Status(h);

            SendStatus(h, wParam, text);

            if (failed || state == 2) {
                EXPECT_EQ(Status(h), text);
                EXPECT_EQ(State(h), state);
            } else if (state == 0) {
                // The text is dropped: the dialog becomes ready.
                EXPECT_EQ(State(h), 1);
                EXPECT_EQ(Status(h), kReadyText);
            } else {
                EXPECT_EQ(Status(h), before);
                EXPECT_EQ(State(h), state);
            }
        }
    }
}

TEST_F(UpdateDialogTest, StatesOutOfRangeChangeNothing) {
    DialogHarness h;
    GoTo(h, 2);
    PostProgress(h, 4, 1);
    SendStatus(h, 0, L"x");
    for (const int n : {5, -1}) {
        SCOPED_TRACE(n);
        h.Ui([n](TestDialog& d) { d.SetState(n); });
        EXPECT_EQ(State(h), 2);
        EXPECT_EQ(Status(h), L"x");
        EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_strPercent; }), L"25%");
        EXPECT_EQ(Shown(h), (Visible{false, false, false, true, false}));
        EXPECT_EQ(ClientSize(h), (platform::Size{385, 205}));
    }
}

TEST_F(UpdateDialogTest, CompletionShowsTheInstalledVersion) {
    struct Row {
        const char* record;  // null: no record at all
        std::wstring version;
    };
    const Row rows[] = {
        {nullptr, L"1.0.0"},
        {"[Version]\r\nMajor=2\r\nMinor=10\r\nThirdVer=3\r\n", L"2.10.3"},
        {"[Version]\r\nMinor=4\r\n", L"1.4.0"},
    };
    DialogHarness h;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.version);
        std::filesystem::remove(std::filesystem::path(g_des) / "config" / "qrsvr.ini");
        if (r.record) {
            WriteVersionRecord(r.record);
        }
        GoTo(h, 2);
        PostProgress(h, 10, 10);
        platform::PostToWindow(h.Handle(), WM_UPDATE_COMPLETE);
        input::WaitUntilIdle(h.Handle());
        EXPECT_EQ(Status(h), kCompleteText + r.version);
        EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_strPercent; }), L"");
        EXPECT_EQ(input::ActiveWindow(), h.Handle());
    }
}

TEST_F(UpdateDialogTest, RetryStartsAfreshFromAnEmptyBar) {
    DialogHarness h;
    GoTo(h, 2);
    PostProgress(h, 10, 7);
    platform::SendToWindow(h.Handle(), WM_UPDATE_FAILED);
    SendStatus(h, 1, L"所有下载地址都不可用");
    ASSERT_EQ(State(h), 4);

    Click(h, &TestDialog::m_btnRetry);

    EXPECT_EQ(State(h), 2);
    EXPECT_EQ(Status(h), kDownloadingText);
    EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_strPercent; }), L"0%");
    EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_fProgress; }), 0.0f);
    EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_workerJobs; }), std::vector<int>{1});
}

TEST_F(UpdateDialogTest, ProgressIsTruncatedAndNeverClamped) {
    struct Row {
        uint32_t total;
        int32_t done;
        std::wstring percent;
        double fraction;
    };
    const Row rows[] = {
        {3, 1, L"33%", 1.0 / 3},
        {3, 2, L"66%", 2.0 / 3},
        {3, 4, L"133%", 4.0 / 3},
        {1000, 1000, L"100%", 1.0},
    };
    DialogHarness h;
    GoTo(h, 2);
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.done << " of " << r.total);
        PostProgress(h, r.total, r.done);
        EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_strPercent; }), r.percent);
        EXPECT_NEAR(h.Ui([](TestDialog& d) { return d.m_fProgress; }), r.fraction, 1e-6);
    }
    // A total of 0 is ignored.
    PostProgress(h, 0, 5);
    EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_strPercent; }), L"100%");
}

TEST_F(UpdateDialogTest, ToggleSwitchesSizeOnlyOnceTheNotesAreOffered) {
    DialogHarness h;
    GoTo(h, 0);
    ClickArea(h, CDlgUpdate::RC_TOGGLE);
    EXPECT_EQ(ClientSize(h), (platform::Size{385, 205}));

    for (int state = 1; state <= 4; ++state) {
        SCOPED_TRACE(state);
        GoTo(h, state);  // states 1 (and 0) collapse; the others keep the size
        if (state == 1) {
            ASSERT_EQ(ClientSize(h), (platform::Size{385, 205}));
        }
        const bool tall = h.Ui([](TestDialog& d) { return d.m_bCollapsed == 0; });
        const auto small = h.Ui([](TestDialog& d) { return d.m_rc; });

        ClickArea(h, CDlgUpdate::RC_TOGGLE);

        EXPECT_EQ(ClientSize(h), (platform::Size{385, tall ? 205 : 322}));
        if (tall) {
            continue;
        }
        const auto big = h.Ui([](TestDialog& d) { return d.m_rc; });
        for (int i = 0; i < CDlgUpdate::RC_COUNT; ++i) {
            SCOPED_TRACE(i);
            const bool moves = i == 2 || i == 4 || i == 6 || i == 7 || i == 8 || i == 11;
            EXPECT_EQ(big[i], small[i].Offset(0, moves ? 117 : 0));
        }
        EXPECT_EQ(big[CDlgUpdate::RC_TOGGLE], (Rect{9, 296, 23, 311}));
        EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_explorer.WindowRectInParent(); }),
                  (Rect{9, 147, 376, 270}));
        EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_btnCancel.WindowRectInParent(); }),
                  big[CDlgUpdate::RC_CANCEL]);
    }
}

TEST_F(UpdateDialogTest, MinimiseGlyphResetsTheHoverIndex) {
    DialogHarness h;
    input::MovePointer(h.CentreOf(CDlgUpdate::RC_MINIMIZE));
    input::WaitUntilIdle(h.Handle());
    EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_nHover; }), CDlgUpdate::RC_MINIMIZE);

    input::PressLeft();
    input::ReleaseLeft();
    input::WaitUntilIdle(h.Handle());
    EXPECT_TRUE(h.Ui([](TestDialog& d) { return d.IsIconic(); }));
    EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_nHover; }), -1);

    h.Ui([](TestDialog& d) { d.Show(platform::ShowCommand::kRestore); });
    input::WaitUntilIdle(h.Handle());
    // Pressed again where the pointer still is, without a move: nothing but the caption drag.
    input::PressLeft();
    input::ReleaseLeft();
    input::WaitUntilIdle(h.Handle());
    EXPECT_FALSE(h.Ui([](TestDialog& d) { return d.IsIconic(); }));
    EXPECT_TRUE(platform::IsWindowAlive(h.Handle()));
}

TEST_F(UpdateDialogTest, CloseGlyphEndsWithOkAndCloseWithCancel) {
    {
        DialogHarness h;
        ClickArea(h, CDlgUpdate::RC_CLOSE);
        EXPECT_EQ(h.WaitForEnd(), IDOK);
    }
    {
        DialogHarness h;
        platform::PostToWindow(h.Handle(), WM_CLOSE);
        EXPECT_EQ(h.WaitForEnd(), IDCANCEL);
    }
}

TEST_F(UpdateDialogTest, RightClicksInTheNotesViewAreSwallowed) {
    DialogHarness h;
    h.Ui([](TestDialog& d) { d.SetCollapsed(0); });
    const auto offered = [&h](unsigned message) {
        return h.Ui([message](TestDialog& d) {
            platform::Message msg;
            msg.window = d.m_explorer.Handle();
            msg.message = message;
            return d.m_explorer.PreTranslateMessage(msg);
        });
    };
    EXPECT_TRUE(offered(0x0204));  // right button down
    EXPECT_TRUE(offered(0x0205));  // right button up
    EXPECT_FALSE(offered(WM_LBUTTONDOWN));
    EXPECT_FALSE(offered(WM_MOUSEMOVE));
}

TEST_F(UpdateDialogTest, UnattendedRunAnswersForTheUser) {
    platform::SetUnattended(true);
    {
        DialogHarness h;
        EXPECT_EQ(State(h), 2);
        EXPECT_EQ(h.Ui([](TestDialog& d) { return d.m_workerJobs; }), std::vector<int>{1});
        platform::PostToWindow(h.Handle(), WM_UPDATE_COMPLETE);
        EXPECT_EQ(h.WaitForEnd(), -1);
    }
    {
        DialogHarness h;
        platform::SendToWindow(h.Handle(), WM_UPDATE_FAILED);
        EXPECT_EQ(h.WaitForEnd(), -1);
    }
    {
        // A failure that only shows in the worker's last status (say, a damaged package).
        DialogHarness h;
        SendStatus(h, 1, L"Failed to extract update package");
        EXPECT_EQ(h.WaitForEnd(), -1);
    }
    platform::SetUnattended(false);
}

}  // namespace
