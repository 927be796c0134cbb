// Message loops and the modal dialog, built on the backend's queue primitives (WaitNextMessage,
// TryNextMessage, PreTranslate, Dispatch), so that every backend runs them the same way.
#include "platform/window.h"

namespace platform {

int RunMessageLoop() {
    Message msg;
    while (WaitNextMessage(msg)) {
        if (!PreTranslate(msg))
            Dispatch(msg);
    }
    return static_cast<int>(msg.wParam);
}

int Window::RunModalLoop() {
    m_inModalLoop = true;
    bool shown = false;
    bool quit = false;
    while (!m_modalEnded && Exists()) {
        Message msg;
        bool quitPending = false;
        if (!TryNextMessage(msg, &quitPending)) {
            if (!quitPending && !shown) {
                // Show the window once everything queued during its set-up has been handled.
                shown = true;
                if (!IsVisible())
                    Show(ShowCommand::kShowNormal);
                continue;
            }
            if (!WaitNextMessage(msg)) {
                quit = true;
                break;
            }
        }
        if (!PreTranslate(msg))
            Dispatch(msg);
    }
    const int result = (m_modalEnded && !quit) ? m_modalResult : -1;
    m_inModalLoop = false;
    m_modalEnded = false;
    m_modalResult = -1;
    return result;
}

void Window::EndModalLoop(int result) {
    m_modalResult = result;
    m_modalEnded = true;
    // Wakes the loop if it waits.
    Post(WM_NULL);
}

Dialog::Dialog(DialogTemplate dialogTemplate, Window* parent)
    : m_template(std::move(dialogTemplate)), m_parent(parent) {}

Dialog::~Dialog() {
    Destroy();
}

int Dialog::DoModal() {
    WindowSpec desc;
    desc.text = m_template.text;
    desc.style = m_template.style & ~WS_VISIBLE;
    desc.exStyle = m_template.exStyle;
    desc.rect = Rect::FromSize({0, 0}, m_template.size);
    desc.parent = m_parent;
    if (!Create(desc))
        return -1;
    const LResult init = Send(WM_INITDIALOG, 0, 0);
    if (init != 0 && Exists()) {
        // The dialog manager's first focus: the first shown, enabled tab stop.
        bool focusInside = false;
        for (Window* w = FromHandle(FocusWindow()); w; w = w->Parent()) {
            if (w == this)
                focusInside = true;
        }
        if (!focusInside) {
            for (Window* child : Children()) {
                if ((child->Style() & WS_TABSTOP) && child->IsVisible() && child->IsEnabled()) {
                    child->SetFocus();
                    break;
                }
            }
        }
    }
    if ((m_template.style & WS_VISIBLE) && Exists())
        Show(ShowCommand::kShowNormal);
    const int result = RunModalLoop();
    Destroy();
    return result;
}

bool Dialog::OnInitDialog() {
    return true;
}
void Dialog::OnOK() {
    EndDialog(IDOK);
}
void Dialog::OnCancel() {
    EndDialog(IDCANCEL);
}
void Dialog::EndDialog(int result) {
    EndModalLoop(result);
}

LResult Dialog::WindowProc(unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog() ? 1 : 0;
        case WM_COMMAND:
            if (LowWord(wParam) == static_cast<unsigned>(IDOK)) {
                OnOK();
                return 0;
            }
            if (LowWord(wParam) == static_cast<unsigned>(IDCANCEL)) {
                OnCancel();
                return 0;
            }
            break;
        case WM_CLOSE:
            OnCancel();
            return 0;
        default:
            break;
    }
    return DefaultProc(message, wParam, lParam);
}

bool Dialog::PreTranslateMessage(Message& msg) {
    if (msg.message != WM_KEYDOWN || (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE)) {
        return false;
    }
    bool inside = false;
    for (Window* w = FromHandle(msg.window); w; w = w->Parent()) {
        if (w == this)
            inside = true;
    }
    if (!inside)
        return false;
    Send(WM_COMMAND, msg.wParam == VK_RETURN ? IDOK : IDCANCEL, 0);
    return true;
}

}  // namespace platform
