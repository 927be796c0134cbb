// The update window's set-up, layout, states and input. Painting is in dlg_update_paint.cpp.
#include "ui/dlg_update.h"
#include "ui/run_report.h"

#include <algorithm>
#include <climits>
#include <cwchar>

#include "launch/lang_string.h"
#include "launch/settings.h"
#include "launch/update_app.h"
#include "platform/debug.h"
#include "platform/fs.h"
#include "platform/ini.h"
#include "platform/program_resources.h"
#include "ui/resource_ids.h"
#include "worker/work_thread.h"

namespace {

using platform::Rect;

constexpr platform::Color kColorKey = platform::Rgb(255, 0, 255);
constexpr platform::Color kCaptionColor = platform::Rgb(58, 30, 7);
constexpr int kCapWidth = 8;
// A status text longer than this is cut; the worker's texts are a line or two.
constexpr size_t kMaxStatusChars = 32768;

platform::DialogTemplate UpdateDialogTemplate() {
    platform::DialogTemplate t;
    t.style = WS_POPUP | WS_SYSMENU;
    t.exStyle = WS_EX_APPWINDOW;
    // 246 x 126 dialog units of the template; the window takes its background's size at once.
    t.size = {369, 205};
    return t;
}

platform::FontSpec FaceFont(int weight) {
    return platform::FontSpec{13, weight, false, false, 136, 2, 0x20, L"宋体"};
}

}  // namespace

CDlgUpdate::CDlgUpdate()
    : platform::Dialog(UpdateDialogTemplate(), nullptr),
      m_fontText(FaceFont(FW_NORMAL)),
      m_fontBold(FaceFont(FW_BOLD)) {
    platform::RegisterProgramResources();
    m_bmpExpanded = platform::Bitmap::FromResource(IDB_BACK_EXPANDED);
    m_bmpCollapsed = platform::Bitmap::FromResource(IDB_BACK_COLLAPSED);
    m_bmpProgress = platform::Bitmap::FromResource(IDB_PROGRESS);
    m_bmpButton = platform::Bitmap::FromResource(IDB_BUTTON);
    m_bmpSysButtons[0] = platform::Bitmap::FromResource(IDB_MINIMIZE);
    m_bmpSysButtons[1] = platform::Bitmap::FromResource(IDB_CLOSE);
    m_bmpToggle = platform::Bitmap::FromResource(IDB_TOGGLE);
    m_hIcon = platform::LoadIconResource(IDR_MAINFRAME);
}

CDlgUpdate::~CDlgUpdate() {
    Destroy();
    if (g_update_dialog == this) {
        g_update_dialog = nullptr;
    }
}

void CDlgUpdate::StartUpdateWorker(int job) {
    StartWorker(job);
}

std::wstring CDlgUpdate::PerformAppStep(int step) {
    return theApp.PerformStep(step);
}

void CDlgUpdate::DoDataExchange() {
    if (!m_explorer.Exists()) {
        // Where the template places the control; the layout moves it before it is seen.
        m_explorer.CreateControl(L"", WS_VISIBLE | WS_TABSTOP, {10, 119, 358, 194}, this,
                                 IDC_EXPLORER);
    }
}

bool CDlgUpdate::OnInitDialog() {
    platform::Dialog::OnInitDialog();
    DoDataExchange();
    g_update_dialog = this;
    SetUpdateDialogWindow(Handle());
    SetState(STATE_LOADING);
    if (!m_bmpCollapsed.IsEmpty()) {
        Move(Rect::FromSize({0, 0}, m_bmpCollapsed.GetSize()), false);
        CenterOnScreen();
    }
    SetColorKey(kColorKey);
    SetText(LoadLangString(IDS_WINDOW_TEXT));
    SetState(STATE_READY);
    Send(WM_SETICON, ICON_BIG, reinterpret_cast<platform::LParam>(m_hIcon));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<platform::LParam>(m_hIcon));
    return true;
}

void CDlgUpdate::OnOK() {}

void CDlgUpdate::OnCancel() {}

platform::LResult CDlgUpdate::WindowProc(unsigned message, platform::WParam wParam,
                                         platform::LParam lParam) {
    switch (message) {
        case WM_UPDATE_STATUS:
            OnUpdateStatus(wParam, lParam);
            break;
        case WM_UPDATE_COMPLETE:
            SetState(STATE_COMPLETE);
            break;
        case WM_UPDATE_FAILED:
            SetState(STATE_FAILED);
            break;
        case WM_UPDATE_START:
        case WM_UPDATE_RETRY:
            SetState(STATE_DOWNLOADING);
            StartUpdateWorker(1);
            break;
        case WM_UPDATE_RESTART:
            PerformAppStep(3);
            platform::PostQuit(0);
            break;
        case WM_UPDATE_CANCEL:
            platform::PostQuit(0);
            break;
        default:
            break;
    }
    return OnWndMsg(message, wParam, lParam);
}

platform::LResult CDlgUpdate::OnWndMsg(unsigned message, platform::WParam wParam,
                                       platform::LParam lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(wParam, lParam);
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // every paint covers the whole face
        case WM_SIZE:
            OnSize(wParam);
            return 0;
        case WM_UPDATE_PROGRESS:
            OnProgress(wParam, lParam);
            return 0;
        case WM_CLOSE:
            EndDialog(IDCANCEL);
            return 0;
        case WM_NCHITTEST:
            // The whole face drags the window; pointer input over it arrives as non-client
            // messages, which PreTranslateMessage reads.
            return HTCAPTION;
        case WM_DESTROY:
            OnDestroy();
            break;
        default:
            break;
    }
    return platform::Dialog::WindowProc(message, wParam, lParam);
}

int CDlgUpdate::OnCreate(platform::WParam wParam, platform::LParam lParam) {
    if (platform::Dialog::WindowProc(WM_CREATE, wParam, lParam) == -1) {
        return -1;
    }
    struct ButtonSetup {
        CSkinButtonEx& button;
        int caption;
        int id;
        unsigned message;
    };
    const ButtonSetup buttons[] = {
        {m_btnStart, IDS_BTN_START, IDC_BTN_START, WM_UPDATE_START},
        {m_btnRetry, IDS_BTN_RETRY, IDC_BTN_RETRY, WM_UPDATE_RETRY},
        {m_btnRestart, IDS_BTN_RESTART, IDC_BTN_RESTART, WM_UPDATE_RESTART},
        {m_btnCancel, IDS_BTN_CANCEL, IDC_BTN_CANCEL, WM_UPDATE_CANCEL},
    };
    for (const ButtonSetup& b : buttons) {
        b.button.CreateButton(LoadLangString(b.caption), Rect{}, this, b.id, b.message);
    }
    for (const ButtonSetup& b : buttons) {
        if (!m_bmpButton.IsEmpty()) {
            b.button.m_pSkin = &m_bmpButton;
            b.button.m_nLeftEdge = kCapWidth;
            b.button.m_nRightEdge = kCapWidth;
            b.button.m_nCellWidth = m_bmpButton.Width();
            b.button.m_nCellHeight = m_bmpButton.Height() / 4;
        }
        b.button.m_crText = kCaptionColor;
        b.button.m_crTextDisabled = kCaptionColor;
    }
    return 0;
}

void CDlgUpdate::OnDestroy() {
    // From here on no worker may reach this dialog: the window layer refuses the old handle, and
    // the published handle and pointer are withdrawn.
    WithdrawUpdateDialogWindow(Handle());
    if (g_update_dialog == this) {
        g_update_dialog = nullptr;
    }
}

void CDlgUpdate::SetState(int n) {
    if (n < STATE_LOADING || n > STATE_FAILED) {
        return;
    }
    m_nState = n;
    CalcLayout();
    for (CSkinButtonEx* b : {&m_btnCancel, &m_btnStart, &m_btnRetry, &m_btnRestart}) {
        if (b->Exists()) {
            b->Show(platform::ShowCommand::kHide);
        }
    }
    ShowNotesView(false);
    auto show = [](CSkinButtonEx& b) {
        if (b.Exists()) {
            b.Show(platform::ShowCommand::kShow);
        }
    };
    auto focus = [](CSkinButtonEx& b) {
        if (b.Exists()) {
            b.SetFocus();
        }
    };
    std::wstring text;
    switch (n) {
        case STATE_LOADING:
            m_bNotesEnabled = 0;
            m_bCollapsed = 1;
            show(m_btnCancel);
            SetPanelText(0, LoadLangString(IDS_LOADING_SCRIPT));
            break;
        case STATE_READY: {
            m_bCollapsed = 1;
            m_bNotesEnabled = 1;
            show(m_btnCancel);
            show(m_btnStart);
            ShowNotesView(true);
            focus(m_btnStart);
            SetPanelText(0, LoadLangString(IDS_SCRIPT_LOADED));
            SetPanelText(1, LoadLangString(IDS_NOTES_LABEL));
            const std::wstring page = theApp.PrepareNotesPage();
            if (m_explorer.Exists()) {
                m_explorer.Navigate(page);
            }
            ShowNotesView(true);
            focus(m_btnStart);
            break;
        }
        case STATE_DOWNLOADING:
            m_bNotesEnabled = 1;
            show(m_btnCancel);
            ShowNotesView(true);
            focus(m_btnCancel);
            SetPanelText(0, LoadLangString(IDS_DOWNLOADING));
            SetPanelText(2, L"0%");
            m_fProgress = 0.0f;
            Invalidate(m_rc[RC_PROGRESS]);
            break;
        case STATE_COMPLETE:
            m_bNotesEnabled = 1;
            show(m_btnRestart);
            focus(m_btnRestart);
            ShowNotesView(true);
            m_strPercent.clear();
            text = LoadLangString(IDS_COMPLETED_TO) + ReadInstalledVersion();
            SetPanelText(0, text);
            BringToFront();
            break;
        case STATE_FAILED:
            m_bNotesEnabled = 1;
            show(m_btnCancel);
            ShowNotesView(true);
            show(m_btnRetry);
            break;
        default:
            break;
    }
    SetCollapsed(m_bCollapsed);
    Invalidate();
    ReportState(Handle(), m_nState);
    AnswerForTheUser();
}

void CDlgUpdate::AnswerForTheUser() {
    // An unattended run ("-silent") waits for no click: it starts the update as soon as it is
    // ready, restarts the client once the update is in place, and gives up after a failure (see
    // also OnUpdateStatus).
    if (!platform::IsUnattended()) {
        return;
    }
    if (m_nState == STATE_READY) {
        Post(WM_UPDATE_START, 0, 0);
    } else if (m_nState == STATE_COMPLETE) {
        Post(WM_UPDATE_RESTART, 0, 0);
    } else if (m_nState == STATE_FAILED) {
        Post(WM_UPDATE_CANCEL, 0, 0);
    }
}

std::wstring CDlgUpdate::ReadInstalledVersion() {
    const std::wstring sep = platform::kPathSepStr;
    const std::wstring record = g_des + sep + L"config" + sep + L"qrsvr.ini";
    const int major = platform::ReadProfileInt(record, L"Version", L"Major", 1);
    const int minor = platform::ReadProfileInt(record, L"Version", L"Minor", 0);
    const int third = platform::ReadProfileInt(record, L"Version", L"ThirdVer", 0);
    wchar_t buffer[48];
    std::swprintf(buffer, sizeof buffer / sizeof buffer[0], L"%d.%d.%d", major, minor, third);
    return buffer;
}

void CDlgUpdate::OnUpdateStatus(platform::WParam wParam, platform::LParam lParam) {
    // The text belongs to the sender and is valid only during this call: copy it.
    const auto* chars = reinterpret_cast<const wchar_t*>(lParam);
    const std::wstring text = chars ? std::wstring(chars, wcsnlen(chars, kMaxStatusChars)) : L"";
    const bool failed = platform::LowWord(wParam) != 0;
    if (failed) {
        SetPanelText(0, text);
        // Not every failure moves the dialog to its failed state (only a package that no address
        // delivers does); an unattended run must end on any of them.
        if (platform::IsUnattended()) {
            Post(WM_UPDATE_CANCEL, 0, 0);
        }
    } else if (m_nState == STATE_LOADING) {
        SetState(STATE_READY);
    } else if (m_nState == STATE_DOWNLOADING) {
        SetPanelText(0, text);
    }
}

bool CDlgUpdate::PreTranslateMessage(platform::Message& msg) {
    const platform::Point point = ScreenToClient(msg.point);
    switch (msg.message) {
        case WM_NCLBUTTONDOWN:
            // The index stored by the last pointer move decides, not the click point.
            switch (m_nHover) {
                case RC_MINIMIZE:
                    Show(platform::ShowCommand::kMinimize);
                    m_nHover = -1;
                    break;
                case RC_CLOSE:
                    platform::Dialog::OnOK();
                    break;
                case RC_TOGGLE:
                    if (m_bNotesEnabled) {
                        SetCollapsed(!m_bCollapsed);
                    }
                    break;
                default:
                    break;
            }
            break;
        case WM_NCMOUSEMOVE: {
            const int hit = HitTestRects(point);
            Invalidate(m_rc[RC_MINIMIZE]);
            Invalidate(m_rc[RC_CLOSE]);
            Invalidate(m_rc[RC_TOGGLE]);
            m_nHover = hit;
            break;
        }
        case WM_KEYDOWN:
            if (msg.wParam == VK_RETURN) {
                if (m_nState == STATE_READY) {
                    Post(WM_UPDATE_START, 0, 0);
                } else if (m_nState == STATE_COMPLETE) {
                    Post(WM_UPDATE_RESTART, 0, 0);
                } else if (m_nState == STATE_FAILED) {
                    Post(WM_UPDATE_RETRY, 0, 0);
                }
            }
            break;
        default:
            break;
    }
    return platform::Dialog::PreTranslateMessage(msg);
}

int CDlgUpdate::HitTestRects(platform::Point point) const {
    for (int i = 0; i < RC_COUNT; ++i) {
        if (m_rc[i].Contains(point)) {
            return i;
        }
    }
    return -1;
}

void CDlgUpdate::CalcLayout() {
    const Rect c = ClientRect();
    const int L = c.left;
    const int R = c.right;
    const int B = c.bottom;
    m_rc[RC_MINIMIZE] = {316, 0, 344, 16};
    m_rc[RC_CLOSE] = {344, 0, 372, 16};
    m_rc[RC_TOGGLE] = {9, B - 26, 23, B - 11};
    m_rc[RC_STATUS] = {9, 105, R, 147};
    m_rc[RC_LABEL] = {28, B - 26, R, B - 5};
    m_rc[RC_NOTES] = {9, 147, R - L - 9, 270};
    m_rc[RC_START] = {222, B - 30, 294, B - 8};
    m_rc[RC_RETRY] = {222, B - 30, 294, B - 8};
    m_rc[RC_CANCEL] = {304, B - 30, 376, B - 8};
    m_rc[RC_PERCENT] = {250, 105, R, 147};
    m_rc[RC_PROGRESS] = {9, 122, R - L - 9, 139};
    m_rc[RC_RESTART] = {304, B - 30, 376, B - 8};

    const std::pair<CSkinButtonEx*, int> places[] = {{&m_btnCancel, RC_CANCEL},
                                                     {&m_btnStart, RC_START},
                                                     {&m_btnRetry, RC_RETRY},
                                                     {&m_btnRestart, RC_RESTART}};
    for (const auto& [button, area] : places) {
        if (button->Exists()) {
            button->Move(m_rc[area], true);
        }
    }
}

void CDlgUpdate::ShowNotesView(bool show) {
    if (m_explorer.Exists()) {
        m_explorer.Move(show ? m_rc[RC_NOTES] : Rect{}, true);
    }
}

void CDlgUpdate::SetCollapsed(int collapsed) {
    m_bCollapsed = collapsed;
    const platform::Bitmap& background = collapsed ? m_bmpCollapsed : m_bmpExpanded;
    if (!background.IsEmpty()) {
        Move(Rect::FromSize(WindowRect().TopLeft(), background.GetSize()), false);
    }
    CalcLayout();
    if (m_bNotesEnabled) {
        ShowNotesView(m_bCollapsed == 0);
    }
    Invalidate();
}

void CDlgUpdate::OnSize(platform::WParam kind) {
    platform::Dialog::WindowProc(WM_SIZE, kind, 0);
    // A minimised window has no client area to lay out; restoring it sends WM_SIZE again.
    if (kind == SIZE_MINIMIZED) {
        return;
    }
    CalcLayout();
    SetCollapsed(m_bCollapsed);
    ShowNotesView(m_bCollapsed == 0);
    Invalidate();
}

void CDlgUpdate::SetPanelText(int index, const std::wstring& text) {
    switch (index) {
        case 0:
            m_strStatus = text;
            Invalidate(m_rc[RC_STATUS]);
            break;
        case 1:
            m_strLabel = text;
            Invalidate(m_rc[RC_LABEL]);
            break;
        case 2:
            m_strPercent = text;
            Invalidate(m_rc[RC_PERCENT]);
            break;
        default:
            break;
    }
}

void CDlgUpdate::OnProgress(platform::WParam wParam, platform::LParam lParam) {
    const auto total = static_cast<uint32_t>(wParam);
    const auto done = static_cast<int32_t>(lParam);
    if (total == 0) {
        return;
    }
    const double pct = done * 100.0 / total;
    m_fProgress = static_cast<float>(pct / 100.0);
    Invalidate(m_rc[RC_PROGRESS]);
    // Truncated toward zero, never carried up; no clamping above 100 (only to what an int holds,
    // for a done far beyond the total).
    const double shown =
        std::clamp(pct, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX));
    m_strPercent = std::to_wstring(static_cast<int>(shown)) + L"%";
    Invalidate(m_rc[RC_STATUS]);
    ReportProgress(total, done);
}
