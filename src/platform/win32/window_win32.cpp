// Windows of the Win32 backend: every Window object is a real window of one window class whose
// procedure routes the system's messages to the object's WindowProc; the message loops are
// GetMessage / PeekMessage / DispatchMessage; sends and posts across threads are SendMessage and
// PostMessage, so a send to a window that is gone returns at once and a sender keeps handling what
// is sent to its own windows while it waits.
//
// Where this differs from the plain system behaviour, on purpose:
//  - The object sees its window's messages from WM_CREATE on (WM_CREATE's lParam is the
//    WindowSpec); WM_NCCREATE and what precedes it get the default handling only.
//  - WM_ERASEBKGND's wParam is a Canvas* over the context to erase, as on every backend.
//  - Dragging by the caption (the default handling of WM_NCLBUTTONDOWN on HTCAPTION) is done
//    here without the system's modal move loop: the window captures the mouse and follows it
//    until the button is released. So a thread that injects input into its own windows and
//    then handles them never blocks inside the press.
//  - Activation gives the focus back to the control that had it when the window was deactivated
//    (or keeps a focus already inside the window), as the system's dialogs do, instead of
//    taking it for the window itself.
// Synthetic input and read-back (window_input.h) are in input_win32.cpp.
#include <windows.h>

#include <exception>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/debug.h"
#include "platform/text.h"
#include "platform/win32/gdi_internal.h"
#include "platform/win32/window_internal.h"
#include "platform/window.h"

namespace platform {

struct WindowAccess {
    static void SetHandle(Window& w, WindowHandle h) { w.m_handle = h; }
    static void NcDestroyed(Window& w) {
        w.m_handle = nullptr;
        w.PostNcDestroy();
    }
};

namespace {

constexpr wchar_t kClassName[] = L"TqLayerWindow";
constexpr int kMaxSide = 16384;

struct WindowRecord {
    Window* object = nullptr;
    DWORD thread = 0;
    bool created = false;              // WM_CREATE has reached the object
    const WindowSpec* desc = nullptr;  // while CreateWindowEx runs
    bool dragging = false;
    Point dragStart;   // screen point of the press
    Point dragOrigin;  // window's top-left corner at the press
    HWND savedFocus = nullptr;
};

std::mutex& TableMutex() {
    static std::mutex m;
    return m;
}
// Never destroyed: windows of other threads may still get messages while the process ends.
std::unordered_map<HWND, WindowRecord>& Table() {
    static auto* table = new std::unordered_map<HWND, WindowRecord>();
    return *table;
}

// A window being created on this thread: its first message binds it to the object.
struct Creating {
    Window* object;
    const WindowSpec* desc;
    HWND bound;
    Creating* previous;
};
thread_local Creating* t_creating = nullptr;
thread_local HWND t_paintBegun = nullptr;

HWND H(WindowHandle h) {
    return reinterpret_cast<HWND>(h);
}
WindowHandle W(HWND h) {
    return reinterpret_cast<WindowHandle>(h);
}

UINT DestroyRequestMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TqLayerWindow.Destroy");
    return message;
}

void Unbind(HWND h, const Window* object) {
    std::lock_guard lock(TableMutex());
    auto it = Table().find(h);
    if (it != Table().end() && it->second.object == object) {
        Table().erase(it);
    }
}

template <class F>
auto WithRecord(HWND h, F f) -> decltype(f(std::declval<WindowRecord&>())) {
    std::lock_guard lock(TableMutex());
    auto it = Table().find(h);
    using R = decltype(f(std::declval<WindowRecord&>()));
    if (it == Table().end()) {
        return R{};
    }
    return f(it->second);
}

Size ClampSize(const Rect& r) {
    return {std::clamp(r.Width(), 0, kMaxSide), std::clamp(r.Height(), 0, kMaxSide)};
}

LRESULT CALLBACK LayerWindowProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam);

bool RegisterLayerClass() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = LayerWindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        wc.lpszClassName = kClassName;
        return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

// ---- caption drag, activation ------------------------------------------------------------------

void StartCaptionDrag(HWND h, Point screen) {
    HWND top = ::GetAncestor(h, GA_ROOT);
    if (!top || ::IsIconic(top)) {
        return;
    }
    RECT r{};
    ::GetWindowRect(top, &r);
    const bool known = WithRecord(top, [&](WindowRecord& rec) {
        rec.dragging = true;
        rec.dragStart = screen;
        rec.dragOrigin = {r.left, r.top};
        return true;
    });
    if (known) {
        ::SetCapture(top);
    }
}

bool ContinueCaptionDrag(HWND h, LPARAM lParam) {
    Point start, origin;
    const bool dragging = WithRecord(h, [&](WindowRecord& rec) {
        start = rec.dragStart;
        origin = rec.dragOrigin;
        return rec.dragging;
    });
    if (!dragging || ::GetCapture() != h) {
        return false;
    }
    const Point client = UnpackPoint(lParam);
    POINT screen{client.x, client.y};
    ::ClientToScreen(h, &screen);
    ::SetWindowPos(h, nullptr, origin.x + screen.x - start.x, origin.y + screen.y - start.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

bool EndCaptionDrag(HWND h, bool release) {
    const bool was = WithRecord(h, [](WindowRecord& rec) {
        const bool d = rec.dragging;
        rec.dragging = false;
        return d;
    });
    if (was && release && ::GetCapture() == h) {
        ::ReleaseCapture();
    }
    return was;
}

// A WM_PAINT whose procedure did not paint leaves the window invalid; it is validated so the
// message is not generated again and again. Only the window itself: its children keep theirs.
void ValidateLeftOver(HWND h) {
    if (::GetUpdateRect(h, nullptr, FALSE)) {
        ::RedrawWindow(h, nullptr, nullptr, RDW_VALIDATE | RDW_NOCHILDREN);
    }
}

LRESULT DefaultActivate(HWND h, WPARAM wParam) {
    HWND focus = ::GetFocus();
    const bool focusInside = focus && (focus == h || ::IsChild(h, focus));
    if (LOWORD(wParam) == WA_INACTIVE) {
        if (focus && ::IsChild(h, focus)) {
            WithRecord(h, [focus](WindowRecord& rec) {
                rec.savedFocus = focus;
                return true;
            });
        }
        return 0;
    }
    if (HIWORD(wParam) != 0 || focusInside) {
        return 0;  // minimised, or the focus is where it belongs already
    }
    HWND saved = WithRecord(h, [](WindowRecord& rec) { return rec.savedFocus; });
    if (saved && ::IsWindow(saved) && ::IsChild(h, saved) && ::IsWindowVisible(saved) &&
        ::IsWindowEnabled(saved)) {
        ::SetFocus(saved);
    } else {
        ::SetFocus(h);
    }
    return 0;
}

// ---- the window procedure of every layer window ------------------------------------------------

LRESULT CallObject(Window* object, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return object->WindowProc(message, wParam, lParam);
    } catch (const std::exception& e) {
        DebugOutput(L"window procedure failed: " + Utf8ToWide(e.what()));
    } catch (...) {
        DebugOutput(L"window procedure failed");
    }
    return 0;
}

LRESULT CALLBACK LayerWindowProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    if (win32::HandleInternalMessage(h, message, wParam, lParam)) {
        return 0;
    }
    if (message == DestroyRequestMessage()) {
        ::DestroyWindow(h);
        return 0;
    }
    Window* object = nullptr;
    bool created = false;
    const WindowSpec* desc = nullptr;
    bool bindNow = false;
    {
        std::lock_guard lock(TableMutex());
        auto& table = Table();
        auto it = table.find(h);
        const DWORD thread = ::GetCurrentThreadId();
        if (t_creating && !t_creating->bound &&
            (it == table.end() || it->second.thread != thread || !it->second.created)) {
            // The first message of the window being created (an entry left by a window of an
            // ended thread under the same handle value is replaced).
            WindowRecord rec;
            rec.object = t_creating->object;
            rec.thread = thread;
            rec.desc = t_creating->desc;
            it = table.insert_or_assign(h, rec).first;
            t_creating->bound = h;
            bindNow = true;
        }
        if (it != table.end() && it->second.thread == thread) {
            object = it->second.object;
            created = it->second.created;
            if (message == WM_CREATE) {
                it->second.created = true;
                created = true;
                desc = it->second.desc;
            }
        }
    }
    if (bindNow) {
        WindowAccess::SetHandle(*object, W(h));
    }
    if (!object || !created) {
        const LRESULT result = ::DefWindowProcW(h, message, wParam, lParam);
        if (message == WM_NCDESTROY && object) {
            Unbind(h, object);
            WindowAccess::NcDestroyed(*object);
        }
        return result;
    }

    win32::NoteMessage(h, message, wParam);
    WPARAM w = wParam;
    LPARAM l = lParam;
    std::optional<Canvas> eraseCanvas;
    if (message == WM_CREATE) {
        l = reinterpret_cast<LPARAM>(desc);
    } else if (message == WM_ERASEBKGND) {
        eraseCanvas.emplace(win32::CanvasOnDc(reinterpret_cast<HDC>(wParam), {}));
        w = reinterpret_cast<WPARAM>(&*eraseCanvas);
    }
    const LRESULT result = CallObject(object, message, w, l);
    if (message == WM_NCDESTROY) {
        Unbind(h, object);
        WindowAccess::NcDestroyed(*object);
    }
    return result;
}

}  // namespace

namespace win32 {

void NotePaintBegun(HWND window) {
    t_paintBegun = window;
}

}  // namespace win32

// ---- by handle ---------------------------------------------------------------------------------

bool IsWindowAlive(WindowHandle window) {
    return window != nullptr && ::IsWindow(H(window));
}

bool PostToWindow(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    if (!window) {
        return false;
    }
    return ::PostMessageW(H(window), message, wParam, lParam) != FALSE;
}

LResult SendToWindow(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    if (!window || !::IsWindow(H(window))) {
        return 0;
    }
    return ::SendMessageW(H(window), message, wParam, lParam);
}

void PostQuit(int exitCode) {
    ::PostQuitMessage(exitCode);
}

bool WaitNextMessage(Message& msg) {
    MSG m;
    for (;;) {
        win32::BeforeBlocking();
        const BOOL got = ::GetMessageW(&m, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            msg = Message{nullptr, WM_QUIT, got == 0 ? m.wParam : 0, 0, {m.pt.x, m.pt.y}};
            return false;
        }
        if (win32::IsInternalQueuedMessage(m)) {
            ::DispatchMessageW(&m);
            continue;
        }
        msg = win32::ToMessage(m);
        return true;
    }
}

bool TryNextMessage(Message& msg, bool* quit) {
    if (quit) {
        *quit = false;
    }
    MSG m;
    struct Peeking {
        Peeking() { win32::BeginPeek(); }
        ~Peeking() { win32::EndPeek(); }
    } peeking;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            // Left for the loop that waits for it.
            ::PostQuitMessage(static_cast<int>(m.wParam));
            if (quit) {
                *quit = true;
            }
            return false;
        }
        if (win32::IsInternalQueuedMessage(m)) {
            ::DispatchMessageW(&m);
            continue;
        }
        msg = win32::ToMessage(m);
        return true;
    }
    return false;
}

bool PreTranslate(Message& msg) {
    HWND h = H(msg.window);
    const DWORD thread = ::GetCurrentThreadId();
    while (h) {
        if (::GetWindowThreadProcessId(h, nullptr) != thread) {
            return false;
        }
        // Windows that are not the layer's (the inner windows of a hosted control) are passed
        // over on the way to their ancestors.
        if (Window* object = Window::FromHandle(W(h))) {
            try {
                if (object->PreTranslateMessage(msg)) {
                    return true;
                }
            } catch (...) {
                DebugOutput(L"message pre-translation failed");
                return true;
            }
        }
        if (!(::GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) {
            break;
        }
        h = ::GetParent(h);
    }
    return false;
}

LResult Dispatch(const Message& msg) {
    MSG m{};
    m.hwnd = H(msg.window);
    m.message = msg.message;
    m.wParam = msg.wParam;
    m.lParam = msg.lParam;
    m.time = static_cast<DWORD>(::GetMessageTime());
    m.pt = {msg.point.x, msg.point.y};
    if (m.hwnd && ::GetWindowThreadProcessId(m.hwnd, nullptr) != ::GetCurrentThreadId()) {
        return 0;
    }
    if (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_SYSKEYDOWN ||
        msg.message == WM_SYSKEYUP) {
        ::TranslateMessage(&m);
    }
    t_paintBegun = nullptr;
    const LRESULT result = ::DispatchMessageW(&m);
    if (msg.message == WM_PAINT && m.hwnd && t_paintBegun != m.hwnd && ::IsWindow(m.hwnd)) {
        ValidateLeftOver(m.hwnd);
    }
    return result;
}

int ProcessPendingMessages() {
    int handled = 0;
    Message msg;
    while (TryNextMessage(msg)) {
        if (!PreTranslate(msg)) {
            Dispatch(msg);
        }
        ++handled;
    }
    // Emptied: whoever waits for this thread to be idle may go on.
    win32::BeforeBlocking();
    return handled;
}

// ---- window objects ----------------------------------------------------------------------------

Window::Window() = default;

Window::~Window() {
    Destroy();
}

Window* Window::FromHandle(WindowHandle handle) {
    if (!handle) {
        return nullptr;
    }
    std::lock_guard lock(TableMutex());
    auto it = Table().find(H(handle));
    if (it == Table().end() || it->second.thread != ::GetCurrentThreadId()) {
        return nullptr;
    }
    return it->second.object;
}

bool Window::Create(const WindowSpec& desc) {
    if (m_handle || !RegisterLayerClass()) {
        return false;
    }
    HWND parent = nullptr;
    if (desc.parent) {
        parent = H(desc.parent->Handle());
        if (!parent || !::IsWindow(parent) ||
            ::GetWindowThreadProcessId(parent, nullptr) != ::GetCurrentThreadId()) {
            return false;
        }
    }
    const bool child = (desc.style & WS_CHILD) != 0;
    if (child && !parent) {
        return false;
    }
    const Size size = ClampSize(desc.rect);
    Creating creating{this, &desc, nullptr, t_creating};
    t_creating = &creating;
    HWND h =
        ::CreateWindowExW(desc.exStyle, kClassName, desc.text.c_str(), desc.style, desc.rect.left,
                          desc.rect.top, size.cx, size.cy, parent,
                          child ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(desc.id)) : nullptr,
                          ::GetModuleHandleW(nullptr), nullptr);
    t_creating = creating.previous;
    if (!h) {
        if (creating.bound) {
            Unbind(creating.bound, this);
        }
        m_handle = nullptr;
        return false;
    }
    WithRecord(h, [](WindowRecord& rec) {
        rec.desc = nullptr;
        return true;
    });
    return ::IsWindow(h) && H(m_handle) == h;
}

void Window::Destroy() {
    HWND h = H(m_handle);
    if (!h) {
        return;
    }
    if (::IsWindow(h)) {
        if (::GetWindowThreadProcessId(h, nullptr) == ::GetCurrentThreadId()) {
            ::DestroyWindow(h);
            // Messages other threads sent to the window before it went are answered now (with
            // nothing), so no sender waits on a thread that may not look at its queue again.
            MSG m;
            ::PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else {
            // Only the owning thread can destroy a window; it does so while this one waits.
            ::SendMessageW(h, DestroyRequestMessage(), 0, 0);
        }
    }
    if (H(m_handle) == h) {
        // Gone without a WM_NCDESTROY reaching the object (its thread ended).
        Unbind(h, this);
        m_handle = nullptr;
    }
}

Window* Window::Parent() const {
    HWND h = H(m_handle);
    if (!h) {
        return nullptr;
    }
    HWND parent =
        (::GetWindowLongW(h, GWL_STYLE) & WS_CHILD) ? ::GetParent(h) : ::GetWindow(h, GW_OWNER);
    return FromHandle(W(parent));
}

int Window::Id() const {
    HWND h = H(m_handle);
    if (!h || !(::GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) {
        return 0;
    }
    return static_cast<int>(::GetWindowLongPtrW(h, GWLP_ID));
}

Window* Window::Child(int id) const {
    HWND h = H(m_handle);
    if (!h) {
        return nullptr;
    }
    for (HWND c = ::GetWindow(h, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (static_cast<int>(::GetWindowLongPtrW(c, GWLP_ID)) == id) {
            if (Window* w = FromHandle(W(c))) {
                return w;
            }
        }
    }
    return nullptr;
}

std::vector<Window*> Window::Children() const {
    std::vector<Window*> out;
    HWND h = H(m_handle);
    if (!h) {
        return out;
    }
    // The system lists children top of the z-order first.
    for (HWND c = ::GetWindow(h, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (Window* w = FromHandle(W(c))) {
            out.insert(out.begin(), w);
        }
    }
    return out;
}

LResult Window::WindowProc(unsigned message, WParam wParam, LParam lParam) {
    return DefaultProc(message, wParam, lParam);
}

bool Window::PreTranslateMessage(Message&) {
    return false;
}

LResult Window::DefaultProc(unsigned message, WParam wParam, LParam lParam) {
    HWND h = H(m_handle);
    if (!h) {
        return 0;
    }
    switch (message) {
        case WM_CREATE:
            return 0;
        case WM_ERASEBKGND: {
            HDC dc = wParam ? win32::DcOf(*reinterpret_cast<Canvas*>(wParam)) : nullptr;
            return dc ? ::DefWindowProcW(h, message, reinterpret_cast<WPARAM>(dc), 0) : 1;
        }
        case WM_NCLBUTTONDOWN:
            if (wParam == static_cast<WParam>(HTCAPTION)) {
                StartCaptionDrag(h, UnpackPoint(lParam));
                return 0;
            }
            break;
        case WM_MOUSEMOVE:
            if (ContinueCaptionDrag(h, lParam)) {
                return 0;
            }
            break;
        case WM_LBUTTONUP:
            if (EndCaptionDrag(h, true)) {
                return 0;
            }
            break;
        case WM_CAPTURECHANGED:
            EndCaptionDrag(h, false);
            break;
        case WM_ACTIVATE:
            return DefaultActivate(h, wParam);
        default:
            break;
    }
    return ::DefWindowProcW(h, message, wParam, lParam);
}

void Window::Invalidate() {
    if (m_handle) {
        ::InvalidateRect(H(m_handle), nullptr, FALSE);
    }
}

void Window::Invalidate(const Rect& clientRect) {
    if (m_handle && !clientRect.IsEmpty()) {
        const RECT r{clientRect.left, clientRect.top, clientRect.right, clientRect.bottom};
        ::InvalidateRect(H(m_handle), &r, FALSE);
    }
}

void Window::PaintNow() {
    HWND h = H(m_handle);
    if (!h) {
        return;
    }
    t_paintBegun = nullptr;
    ::UpdateWindow(h);
    if (t_paintBegun != h && ::IsWindow(h)) {
        ValidateLeftOver(h);
    }
}

Rect Window::InvalidArea() const {
    RECT r{};
    if (!m_handle || !::GetUpdateRect(H(m_handle), &r, FALSE)) {
        return {};
    }
    return {r.left, r.top, r.right, r.bottom};
}

Rect Window::ClientRect() const {
    RECT r{};
    if (!m_handle || !::GetClientRect(H(m_handle), &r)) {
        return {};
    }
    return {r.left, r.top, r.right, r.bottom};
}

Rect Window::WindowRect() const {
    RECT r{};
    if (!m_handle || !::GetWindowRect(H(m_handle), &r)) {
        return {};
    }
    return {r.left, r.top, r.right, r.bottom};
}

Rect Window::WindowRectInParent() const {
    HWND h = H(m_handle);
    RECT r{};
    if (!h || !::GetWindowRect(h, &r)) {
        return {};
    }
    if (::GetWindowLongW(h, GWL_STYLE) & WS_CHILD) {
        ::MapWindowPoints(HWND_DESKTOP, ::GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    }
    return {r.left, r.top, r.right, r.bottom};
}

void Window::Move(const Rect& rect, bool repaint) {
    if (!m_handle) {
        return;
    }
    const Size size = ClampSize(rect);
    ::MoveWindow(H(m_handle), rect.left, rect.top, size.cx, size.cy, repaint ? TRUE : FALSE);
}

void Window::CenterOnScreen() {
    HWND h = H(m_handle);
    if (!h) {
        return;
    }
    const bool child = (::GetWindowLongW(h, GWL_STYLE) & WS_CHILD) != 0;
    Rect area;
    if (child) {
        RECT c{};
        ::GetClientRect(::GetParent(h), &c);
        area = {c.left, c.top, c.right, c.bottom};
    } else {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (::GetMonitorInfoW(::MonitorFromWindow(h, MONITOR_DEFAULTTOPRIMARY), &info)) {
            area = {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
        } else {
            area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
        }
    }
    const Rect r = WindowRectInParent();
    const Point topLeft{area.left + (area.Width() - r.Width()) / 2,
                        area.top + (area.Height() - r.Height()) / 2};
    Move(Rect::FromSize(topLeft, r.GetSize()), child);
}

Point Window::ScreenToClient(Point p) const {
    POINT q{p.x, p.y};
    if (m_handle) {
        ::ScreenToClient(H(m_handle), &q);
    }
    return {q.x, q.y};
}

Point Window::ClientToScreen(Point p) const {
    POINT q{p.x, p.y};
    if (m_handle) {
        ::ClientToScreen(H(m_handle), &q);
    }
    return {q.x, q.y};
}

void Window::Show(ShowCommand command) {
    if (!m_handle) {
        return;
    }
    int show = SW_SHOW;
    switch (command) {
        case ShowCommand::kHide:
            show = SW_HIDE;
            break;
        case ShowCommand::kShowNormal:
            show = SW_SHOWNORMAL;
            break;
        case ShowCommand::kShow:
            show = SW_SHOW;
            break;
        case ShowCommand::kMinimize:
            show = SW_MINIMIZE;
            break;
        case ShowCommand::kRestore:
            show = SW_RESTORE;
            break;
    }
    ::ShowWindow(H(m_handle), show);
}

bool Window::IsVisible() const {
    return m_handle && ::IsWindowVisible(H(m_handle));
}

bool Window::IsIconic() const {
    return m_handle && ::IsIconic(H(m_handle));
}

void Window::Enable(bool enable) {
    if (m_handle) {
        ::EnableWindow(H(m_handle), enable ? TRUE : FALSE);
    }
}

bool Window::IsEnabled() const {
    return m_handle && ::IsWindowEnabled(H(m_handle));
}

void Window::SetText(std::wstring_view text) {
    if (m_handle) {
        const std::wstring copy(text);
        ::SetWindowTextW(H(m_handle), copy.c_str());
    }
}

std::wstring Window::Text() const {
    HWND h = H(m_handle);
    if (!h) {
        return {};
    }
    // Read without a WM_GETTEXT to the procedure; window texts here are short.
    std::wstring text(1024, L'\0');
    const int n = ::InternalGetWindowText(h, text.data(), static_cast<int>(text.size()));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

uint32_t Window::Style() const {
    return m_handle ? static_cast<uint32_t>(::GetWindowLongW(H(m_handle), GWL_STYLE)) : 0;
}

uint32_t Window::ExStyle() const {
    return m_handle ? static_cast<uint32_t>(::GetWindowLongW(H(m_handle), GWL_EXSTYLE)) : 0;
}

void Window::SetExStyle(uint32_t exStyle) {
    if (m_handle) {
        ::SetWindowLongW(H(m_handle), GWL_EXSTYLE, static_cast<LONG>(exStyle));
    }
}

void Window::SetColorKey(Color key) {
    HWND h = H(m_handle);
    if (!h) {
        return;
    }
    ::SetWindowLongW(h, GWL_EXSTYLE, ::GetWindowLongW(h, GWL_EXSTYLE) | WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(h, win32::ToColorRef(key), 0, LWA_COLORKEY);
}

void Window::SetFocus() {
    if (m_handle) {
        ::SetFocus(H(m_handle));
    }
}

bool Window::HasFocus() const {
    return m_handle && ::GetFocus() == H(m_handle);
}

WindowHandle Window::FocusWindow() {
    if (HWND focus = ::GetFocus()) {
        return W(focus);
    }
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND foreground = ::GetForegroundWindow();
    if (foreground && ::GetGUIThreadInfo(::GetWindowThreadProcessId(foreground, nullptr), &info)) {
        return W(info.hwndFocus);
    }
    return nullptr;
}

void Window::SetCapture() {
    if (m_handle) {
        ::SetCapture(H(m_handle));
    }
}

void Window::ReleaseCapture() {
    const bool had = ::GetCapture() != nullptr;
    ::ReleaseCapture();
    if (had) {
        win32::AfterCaptureReleased();
    }
}

bool Window::HasCapture() const {
    return m_handle && ::GetCapture() == H(m_handle);
}

void Window::TrackMouseLeave() {
    HWND h = H(m_handle);
    if (!h) {
        return;
    }
    if (win32::TrackSyntheticLeave(h)) {
        return;
    }
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = h;
    ::TrackMouseEvent(&track);
}

void Window::BringToFront() {
    HWND h = H(m_handle);
    if (!h) {
        return;
    }
    HWND top = ::GetAncestor(h, GA_ROOT);
    if (::IsIconic(top)) {
        ::ShowWindow(top, SW_SHOWNORMAL);
    }
    // The system lets a thread take the foreground only while it shares the input of the thread
    // that holds it.
    HWND foreground = ::GetForegroundWindow();
    const DWORD owner = foreground ? ::GetWindowThreadProcessId(foreground, nullptr) : 0;
    const DWORD self = ::GetCurrentThreadId();
    const bool attach = owner != 0 && owner != self;
    if (attach) {
        ::AttachThreadInput(owner, self, TRUE);
    }
    ::SetForegroundWindow(top);
    ::BringWindowToTop(top);
    ::SwitchToThisWindow(top, TRUE);
    if (attach) {
        ::AttachThreadInput(owner, self, FALSE);
    }
    win32::NoteBroughtToFront(top);
    HWND focus = ::GetFocus();
    if (!focus || (focus != top && !::IsChild(top, focus))) {
        ::SetFocus(top);
    }
}

// ---- painting ----------------------------------------------------------------------------------

PaintScope::PaintScope(Window& window) : m_window(window), m_canvas(nullptr) {
    HWND h = H(window.Handle());
    if (!h) {
        return;
    }
    auto impl = std::make_unique<Canvas::Impl>();
    impl->paintWindow = h;
    impl->dc = ::BeginPaint(h, &impl->paint);
    if (!impl->dc) {
        impl->paintWindow = nullptr;
    } else {
        impl->defaultFont = ::GetCurrentObject(impl->dc, OBJ_FONT);
    }
    const RECT& r = impl->paint.rcPaint;
    m_area = {r.left, r.top, r.right, r.bottom};
    m_canvas = Canvas(std::move(impl));
    t_paintBegun = h;
}

PaintScope::~PaintScope() = default;

}  // namespace platform
