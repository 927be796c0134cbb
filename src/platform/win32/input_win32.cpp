// Synthetic input, idle waits and read-back of the Win32 backend (window_input.h).
//
// Input is posted to the target window's queue as the system would deliver it: the window under
// the pointer (or the one holding the capture) is found in the real z-order, classified with a
// real WM_NCHITTEST and sent client or non-client pointer messages. The system cursor is parked in
// a corner once synthetic input begins and the synthetic pointer lives here: moving the real
// cursor would make the system generate pointer messages of its own besides the posted ones.
// For the same reason leave notifications follow the synthetic pointer while synthetic input is in
// use (the system's tracking compares the tracked window with the real cursor, on a timer).
//
// WaitUntilIdle posts a probe to the window. Its thread answers the probe when its queue holds
// nothing (no sent, posted or input message and no pending paint) and otherwise arms a timer,
// whose WM_TIMER the system only hands out once everything else is done. The answer is a named
// event, so a test can wait for a window of another process (the updater itself) as well.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

#include "platform/win32/gdi_internal.h"
#include "platform/win32/window_internal.h"
#include "platform/window_input.h"

namespace platform {

namespace {

HWND H(WindowHandle h) {
    return reinterpret_cast<HWND>(h);
}
WindowHandle W(HWND h) {
    return reinterpret_cast<WindowHandle>(h);
}

UINT IdleProbeMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TqLayerWindow.IdleProbe");
    return message;
}

// ---- idle waits --------------------------------------------------------------------------------

struct IdleRequest {
    DWORD process;
    unsigned long long token;
};

thread_local std::vector<IdleRequest> t_idleRequests;
thread_local UINT_PTR t_idleTimer = 0;
// Set while the layer's own non-blocking loop takes messages: a loop that only peeks may still
// have work of its own to do (the modal loop shows its window once it finds the queue empty), so
// only a loop about to block, or a loop of the system's that dispatches the probe, answers it.
thread_local bool t_peeking = false;

void IdleEventName(wchar_t (&name)[96], DWORD process, unsigned long long token) {
    std::swprintf(name, 96, L"Local\\TqLayerWindowIdle-%lu-%llu",
                  static_cast<unsigned long>(process), token);
}

bool QueueBusy() {
    // Timers do not count: a thread with a timer running is idle between its ticks.
    const DWORD present = HIWORD(::GetQueueStatus(QS_ALLINPUT));
    return (present & (QS_POSTMESSAGE | QS_SENDMESSAGE | QS_INPUT | QS_PAINT | QS_HOTKEY)) != 0;
}

void CheckIdle();

void CALLBACK IdleTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    if (t_idleTimer == id) {
        t_idleTimer = 0;
    }
    CheckIdle();
}

void CheckIdle() {
    if (t_idleRequests.empty() || t_peeking) {
        return;
    }
    if (QueueBusy()) {
        if (!t_idleTimer) {
            t_idleTimer = ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, IdleTimerProc);
        }
        return;
    }
    for (const IdleRequest& r : t_idleRequests) {
        wchar_t name[96];
        IdleEventName(name, r.process, r.token);
        if (HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, name)) {
            ::SetEvent(event);
            ::CloseHandle(event);
        }
    }
    t_idleRequests.clear();
}

// ---- synthetic pointer -------------------------------------------------------------------------

struct PostedPoint {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    Point point;
};

constexpr size_t kMaxPostedPoints = 512;

struct InputState {
    std::mutex mutex;
    Point pointer;
    bool leftDown = false;
    DWORD lastThread = 0;  // thread of the window that took the last pointer message
    std::set<HWND> tracked;
    std::deque<PostedPoint> points;
};

InputState& S() {
    static auto* state = new InputState();
    return *state;
}

std::atomic<bool> g_synthetic{false};
std::atomic<HWND> g_active{nullptr};
std::atomic<unsigned long long> g_nextToken{1};

void BeginSyntheticInput() {
    if (g_synthetic.exchange(true)) {
        return;
    }
    const int right =
        ::GetSystemMetrics(SM_XVIRTUALSCREEN) + ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int bottom =
        ::GetSystemMetrics(SM_YVIRTUALSCREEN) + ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    ::SetCursorPos(right - 1, bottom - 1);
}

bool ContainsPoint(HWND h, Point p) {
    RECT r{};
    return ::GetWindowRect(h, &r) && p.x >= r.left && p.x < r.right && p.y >= r.top &&
           p.y < r.bottom;
}

// A pixel of exactly the colour key of a layered window belongs to what is below it.
bool KeyedAt(HWND top, Point p) {
    if (!(::GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_LAYERED)) {
        return false;
    }
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    if (!::GetLayeredWindowAttributes(top, &key, &alpha, &flags) || !(flags & LWA_COLORKEY)) {
        return false;
    }
    POINT client{p.x, p.y};
    ::ScreenToClient(top, &client);
    HDC dc = ::GetDC(top);
    if (!dc) {
        return false;
    }
    const COLORREF pixel = ::GetPixel(dc, client.x, client.y);
    ::ReleaseDC(top, dc);
    return pixel == key;
}

struct FindTop {
    Point point;
    HWND found = nullptr;
};

BOOL CALLBACK FindTopProc(HWND h, LPARAM lParam) {
    auto* find = reinterpret_cast<FindTop*>(lParam);
    if (!::IsWindowVisible(h) || ::IsIconic(h) || !ContainsPoint(h, find->point) ||
        KeyedAt(h, find->point)) {
        return TRUE;
    }
    find->found = h;
    return FALSE;
}

// The deepest shown and enabled window under a screen point, as pointer input would reach it.
HWND WindowAt(Point p) {
    FindTop find{p};
    ::EnumWindows(FindTopProc, reinterpret_cast<LPARAM>(&find));
    HWND current = find.found;
    if (!current || !::IsWindowEnabled(current)) {
        return nullptr;
    }
    for (;;) {
        POINT client{p.x, p.y};
        ::ScreenToClient(current, &client);
        HWND child = ::ChildWindowFromPointEx(current, client, CWP_SKIPINVISIBLE);
        if (!child || child == current || !::IsWindowEnabled(child)) {
            return current;
        }
        current = child;
    }
}

// The window holding the mouse capture: the capture belongs to a thread, so the threads that
// took pointer input last, own the window under the pointer or hold the foreground are asked.
HWND CaptureHolder(HWND under) {
    DWORD threads[3] = {0, 0, 0};
    {
        std::lock_guard lock(S().mutex);
        threads[0] = S().lastThread;
    }
    threads[1] = under ? ::GetWindowThreadProcessId(under, nullptr) : 0;
    HWND foreground = ::GetForegroundWindow();
    threads[2] = foreground ? ::GetWindowThreadProcessId(foreground, nullptr) : 0;
    for (DWORD thread : threads) {
        if (!thread) {
            continue;
        }
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (::GetGUIThreadInfo(thread, &info) && info.hwndCapture) {
            return info.hwndCapture;
        }
    }
    return nullptr;
}

void Post(HWND target, UINT message, WPARAM wParam, LPARAM lParam, Point point) {
    {
        std::lock_guard lock(S().mutex);
        auto& points = S().points;
        if (points.size() >= kMaxPostedPoints) {
            points.pop_front();
        }
        points.push_back({target, message, wParam, lParam, point});
        S().lastThread = ::GetWindowThreadProcessId(target, nullptr);
    }
    ::PostMessageW(target, message, wParam, lParam);
}

void PostLeaves(HWND under, std::vector<HWND>& touched) {
    std::vector<HWND> leaving;
    {
        std::lock_guard lock(S().mutex);
        for (auto it = S().tracked.begin(); it != S().tracked.end();) {
            if (*it != under) {
                leaving.push_back(*it);
                it = S().tracked.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (HWND h : leaving) {
        if (::PostMessageW(h, WM_MOUSELEAVE, 0, 0)) {
            touched.push_back(h);
        }
    }
}

enum class PointerKind { kMove, kDown, kUp };

void PostPointerMessage(HWND target, bool captured, PointerKind kind, Point screen, bool leftDown) {
    const LRESULT hit =
        captured ? HTCLIENT : ::SendMessageW(target, WM_NCHITTEST, 0, PackPoint(screen));
    if (!::IsWindow(target)) {
        return;
    }
    if (hit == HTCLIENT) {
        POINT client{screen.x, screen.y};
        ::ScreenToClient(target, &client);
        const LPARAM where = PackPoint({client.x, client.y});
        switch (kind) {
            case PointerKind::kMove:
                Post(target, WM_MOUSEMOVE, leftDown ? MK_LBUTTON : 0, where, screen);
                break;
            case PointerKind::kDown:
                Post(target, WM_LBUTTONDOWN, MK_LBUTTON, where, screen);
                break;
            case PointerKind::kUp:
                Post(target, WM_LBUTTONUP, 0, where, screen);
                break;
        }
    } else {
        const UINT message = kind == PointerKind::kMove   ? WM_NCMOUSEMOVE
                             : kind == PointerKind::kDown ? WM_NCLBUTTONDOWN
                                                          : WM_NCLBUTTONUP;
        Post(target, message, static_cast<WPARAM>(hit), PackPoint(screen), screen);
    }
}

Point CurrentPointer() {
    std::lock_guard lock(S().mutex);
    return S().pointer;
}

void WaitAll(std::vector<HWND> windows) {
    std::sort(windows.begin(), windows.end());
    windows.erase(std::unique(windows.begin(), windows.end()), windows.end());
    for (HWND h : windows) {
        input::WaitUntilIdle(W(h));
    }
}

}  // namespace

// ---- shared with window_win32.cpp --------------------------------------------------------------

namespace win32 {

bool HandleInternalMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != IdleProbeMessage()) {
        return false;
    }
    t_idleRequests.push_back({static_cast<DWORD>(lParam), static_cast<unsigned long long>(wParam)});
    CheckIdle();
    return true;
}

bool IsInternalQueuedMessage(const MSG& msg) {
    if (msg.message == IdleProbeMessage()) {
        return true;
    }
    return msg.hwnd == nullptr && msg.message == WM_TIMER && t_idleTimer != 0 &&
           msg.wParam == t_idleTimer;
}

void BeginPeek() {
    t_peeking = true;
}

void EndPeek() {
    t_peeking = false;
}

void BeforeBlocking() {
    CheckIdle();
}

Message ToMessage(const MSG& msg) {
    Message out{W(msg.hwnd), msg.message, msg.wParam, msg.lParam, {msg.pt.x, msg.pt.y}};
    if (!g_synthetic.load()) {
        return out;
    }
    std::lock_guard lock(S().mutex);
    auto& points = S().points;
    for (auto it = points.begin(); it != points.end(); ++it) {
        if (it->window == msg.hwnd && it->message == msg.message && it->wParam == msg.wParam &&
            it->lParam == msg.lParam) {
            out.point = it->point;
            points.erase(it);
            return out;
        }
    }
    out.point = S().pointer;
    return out;
}

void NoteMessage(HWND window, UINT message, WPARAM wParam) {
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) {
        g_active = window;
    } else if (message == WM_NCDESTROY) {
        HWND expected = window;
        g_active.compare_exchange_strong(expected, nullptr);
        std::lock_guard lock(S().mutex);
        S().tracked.erase(window);
    }
}

void NoteBroughtToFront(HWND window) {
    g_active = window;
}

bool TrackSyntheticLeave(HWND window) {
    if (!g_synthetic.load()) {
        return false;
    }
    Point pointer;
    {
        std::lock_guard lock(S().mutex);
        pointer = S().pointer;
    }
    if (WindowAt(pointer) == window) {
        std::lock_guard lock(S().mutex);
        S().tracked.insert(window);
    } else {
        {
            std::lock_guard lock(S().mutex);
            S().tracked.erase(window);
        }
        ::PostMessageW(window, WM_MOUSELEAVE, 0, 0);
    }
    return true;
}

void AfterCaptureReleased() {
    if (!g_synthetic.load()) {
        return;
    }
    Point pointer;
    {
        std::lock_guard lock(S().mutex);
        pointer = S().pointer;
    }
    std::vector<HWND> touched;
    PostLeaves(WindowAt(pointer), touched);
}

}  // namespace win32

// ---- window_input.h ----------------------------------------------------------------------------

namespace input {

Size ScreenSize() {
    // Top-level windows are centred in the work area of the primary monitor; that is the screen
    // they are placed on.
    RECT work{};
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        return {work.right - work.left, work.bottom - work.top};
    }
    return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

void SetScreenSize(Size) {
    // The real screen keeps its size.
}

Point PointerPosition() {
    if (!g_synthetic.load()) {
        POINT p{};
        ::GetCursorPos(&p);
        return {p.x, p.y};
    }
    std::lock_guard lock(S().mutex);
    return S().pointer;
}

WindowHandle ActiveWindow() {
    HWND h = g_active.load();
    return h && ::IsWindow(h) ? W(h) : nullptr;
}

void WaitUntilIdle(WindowHandle window) {
    HWND h = H(window);
    if (!h) {
        return;
    }
    const DWORD thread = ::GetWindowThreadProcessId(h, nullptr);
    if (thread == 0 || thread == ::GetCurrentThreadId()) {
        return;
    }
    const unsigned long long token = g_nextToken++;
    const DWORD process = ::GetCurrentProcessId();
    wchar_t name[96];
    IdleEventName(name, process, token);
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, name);
    if (!event) {
        return;
    }
    if (::PostMessageW(h, IdleProbeMessage(), static_cast<WPARAM>(token),
                       static_cast<LPARAM>(process))) {
        for (;;) {
            // Messages sent to this thread's own windows are handled while it waits.
            const DWORD r = ::MsgWaitForMultipleObjectsEx(1, &event, 50, QS_SENDMESSAGE, 0);
            if (r == WAIT_OBJECT_0) {
                break;
            }
            if (r == WAIT_OBJECT_0 + 1) {
                MSG m;
                ::PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
                continue;
            }
            if (!::IsWindow(h)) {
                break;  // gone, or its thread ended
            }
        }
    }
    ::CloseHandle(event);
}

void MovePointer(Point screen) {
    BeginSyntheticInput();
    bool leftDown;
    {
        std::lock_guard lock(S().mutex);
        S().pointer = screen;
        leftDown = S().leftDown;
    }
    std::vector<HWND> touched;
    HWND under = WindowAt(screen);
    PostLeaves(under, touched);
    HWND capture = CaptureHolder(under);
    HWND target = capture ? capture : under;
    if (target) {
        PostPointerMessage(target, capture != nullptr, PointerKind::kMove, screen, leftDown);
        touched.push_back(target);
    }
    WaitAll(touched);
}

void PressLeft() {
    BeginSyntheticInput();
    Point where;
    {
        std::lock_guard lock(S().mutex);
        S().leftDown = true;
        where = S().pointer;
    }
    HWND under = WindowAt(where);
    HWND capture = CaptureHolder(under);
    HWND target = capture ? capture : under;
    if (!target) {
        return;
    }
    // A press activates the window it lands on, as a real click does.
    HWND top = ::GetAncestor(target, GA_ROOT);
    if (!capture && top && ::GetForegroundWindow() != top) {
        ::SetForegroundWindow(top);
    }
    PostPointerMessage(target, capture != nullptr, PointerKind::kDown, where, true);
    input::WaitUntilIdle(W(target));
}

void ReleaseLeft() {
    BeginSyntheticInput();
    Point where;
    {
        std::lock_guard lock(S().mutex);
        S().leftDown = false;
        where = S().pointer;
    }
    HWND under = WindowAt(where);
    HWND capture = CaptureHolder(under);
    HWND target = capture ? capture : under;
    if (!target) {
        return;
    }
    PostPointerMessage(target, capture != nullptr, PointerKind::kUp, where, false);
    input::WaitUntilIdle(W(target));
}

void ClickAt(Point screen) {
    MovePointer(screen);
    PressLeft();
    ReleaseLeft();
}

void PressKey(unsigned virtualKey) {
    BeginSyntheticInput();
    HWND active = g_active.load();
    if (!active || !::IsWindow(active)) {
        active = ::GetForegroundWindow();
    }
    if (!active) {
        return;
    }
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = active;
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(active, nullptr), &info) && info.hwndFocus) {
        target = info.hwndFocus;
    }
    const Point where = CurrentPointer();
    Post(target, WM_KEYDOWN, virtualKey, 1, where);
    Post(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u), where);
    input::WaitUntilIdle(W(target));
}

Bitmap CaptureWindow(WindowHandle window) {
    HWND h = H(window);
    RECT r{};
    if (!h || !::IsWindow(h) || !::GetWindowRect(h, &r)) {
        return Bitmap();
    }
    const int width = r.right - r.left, height = r.bottom - r.top;
    // Read from the top-level window's surface, where children are painted too.
    HWND top = ::GetAncestor(h, GA_ROOT);
    POINT origin{0, 0};
    ::MapWindowPoints(h, top, &origin, 1);
    HDC dc = ::GetDC(top);
    if (!dc) {
        return Bitmap();
    }
    const std::vector<Color> pixels = win32::ReadPixels(dc, origin.x, origin.y, width, height);
    ::ReleaseDC(top, dc);
    if (pixels.empty()) {
        return Bitmap();
    }
    return Bitmap::FromPixels(width, height, pixels);
}

}  // namespace input

}  // namespace platform
