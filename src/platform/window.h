// Windows, messages and message loops of the window layer.
//
// A window belongs to the thread that created it; that thread's message queue receives what is
// posted to the window, and only that thread runs the window's procedure. Other threads reach a
// window only through its handle:
//  - PostToWindow queues a message and returns at once;
//  - SendToWindow runs the window procedure on the owning thread and blocks the caller until it
//    has returned (while blocked, the caller still handles messages sent to its own windows);
//    from the owning thread it calls the procedure directly;
//  - a handle is validated inside the layer under its own lock, so a post or send to a window
//    that has been destroyed (or whose thread has ended) does nothing and returns at once, also
//    when the window goes away while the sender waits. Handles are never reused.
// Sent messages are handled before posted ones; WM_PAINT is generated when nothing else is
// queued and a window has an invalid area. Invalidation never erases the background: only a
// newly shown or enlarged window asks for WM_ERASEBKGND (from BeginPaint).
//
// Backends: the Win32 API (win32/window_win32.cpp); windows kept in memory that paint into an
// image (headless/window_headless.cpp), which never needs a display. Synthetic input for tests is
// in window_input.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/canvas.h"
#include "platform/geometry.h"

// The system's message numbers and flags. Each is defined only when the system headers have not
// defined it already, so both may be included in either order.
#ifndef WM_NULL
inline constexpr unsigned WM_NULL = 0x0000;
#endif
#ifndef WM_CREATE
inline constexpr unsigned WM_CREATE = 0x0001;
#endif
#ifndef WM_DESTROY
inline constexpr unsigned WM_DESTROY = 0x0002;
#endif
#ifndef WM_MOVE
inline constexpr unsigned WM_MOVE = 0x0003;
#endif
#ifndef WM_SIZE
inline constexpr unsigned WM_SIZE = 0x0005;
#endif
#ifndef WM_ACTIVATE
inline constexpr unsigned WM_ACTIVATE = 0x0006;
#endif
#ifndef WM_SETFOCUS
inline constexpr unsigned WM_SETFOCUS = 0x0007;
#endif
#ifndef WM_KILLFOCUS
inline constexpr unsigned WM_KILLFOCUS = 0x0008;
#endif
#ifndef WM_ENABLE
inline constexpr unsigned WM_ENABLE = 0x000A;
#endif
#ifndef WM_SETTEXT
inline constexpr unsigned WM_SETTEXT = 0x000C;
#endif
#ifndef WM_PAINT
inline constexpr unsigned WM_PAINT = 0x000F;
#endif
#ifndef WM_CLOSE
inline constexpr unsigned WM_CLOSE = 0x0010;
#endif
#ifndef WM_QUIT
inline constexpr unsigned WM_QUIT = 0x0012;
#endif
#ifndef WM_ERASEBKGND
inline constexpr unsigned WM_ERASEBKGND = 0x0014;
#endif
#ifndef WM_SHOWWINDOW
inline constexpr unsigned WM_SHOWWINDOW = 0x0018;
#endif
#ifndef WM_GETICON
inline constexpr unsigned WM_GETICON = 0x007F;
#endif
#ifndef WM_SETICON
inline constexpr unsigned WM_SETICON = 0x0080;
#endif
#ifndef WM_NCDESTROY
inline constexpr unsigned WM_NCDESTROY = 0x0082;
#endif
#ifndef WM_NCHITTEST
inline constexpr unsigned WM_NCHITTEST = 0x0084;
#endif
#ifndef WM_NCMOUSEMOVE
inline constexpr unsigned WM_NCMOUSEMOVE = 0x00A0;
#endif
#ifndef WM_NCLBUTTONDOWN
inline constexpr unsigned WM_NCLBUTTONDOWN = 0x00A1;
#endif
#ifndef WM_NCLBUTTONUP
inline constexpr unsigned WM_NCLBUTTONUP = 0x00A2;
#endif
#ifndef WM_KEYDOWN
inline constexpr unsigned WM_KEYDOWN = 0x0100;
#endif
#ifndef WM_KEYUP
inline constexpr unsigned WM_KEYUP = 0x0101;
#endif
#ifndef WM_CHAR
inline constexpr unsigned WM_CHAR = 0x0102;
#endif
#ifndef WM_INITDIALOG
inline constexpr unsigned WM_INITDIALOG = 0x0110;
#endif
#ifndef WM_COMMAND
inline constexpr unsigned WM_COMMAND = 0x0111;
#endif
#ifndef WM_SYSCOMMAND
inline constexpr unsigned WM_SYSCOMMAND = 0x0112;
#endif
#ifndef WM_CTLCOLORDLG
inline constexpr unsigned WM_CTLCOLORDLG = 0x0136;
#endif
#ifndef WM_MOUSEMOVE
inline constexpr unsigned WM_MOUSEMOVE = 0x0200;
#endif
#ifndef WM_LBUTTONDOWN
inline constexpr unsigned WM_LBUTTONDOWN = 0x0201;
#endif
#ifndef WM_LBUTTONUP
inline constexpr unsigned WM_LBUTTONUP = 0x0202;
#endif
#ifndef WM_CAPTURECHANGED
inline constexpr unsigned WM_CAPTURECHANGED = 0x0215;
#endif
#ifndef WM_MOUSELEAVE
inline constexpr unsigned WM_MOUSELEAVE = 0x02A3;
#endif
#ifndef WM_USER
inline constexpr unsigned WM_USER = 0x0400;
#endif

// WM_NCHITTEST answers.
#ifndef HTNOWHERE
inline constexpr int HTNOWHERE = 0;
#endif
#ifndef HTCLIENT
inline constexpr int HTCLIENT = 1;
#endif
#ifndef HTCAPTION
inline constexpr int HTCAPTION = 2;
#endif

// WM_SIZE kinds, mouse key state, virtual keys, dialog results, icon sizes.
#ifndef SIZE_RESTORED
inline constexpr unsigned SIZE_RESTORED = 0;
#endif
#ifndef SIZE_MINIMIZED
inline constexpr unsigned SIZE_MINIMIZED = 1;
#endif
#ifndef MK_LBUTTON
inline constexpr unsigned MK_LBUTTON = 0x0001;
#endif
#ifndef VK_RETURN
inline constexpr unsigned VK_RETURN = 0x0D;
#endif
#ifndef VK_ESCAPE
inline constexpr unsigned VK_ESCAPE = 0x1B;
#endif
#ifndef VK_F4
inline constexpr unsigned VK_F4 = 0x73;
#endif
#ifndef IDOK
inline constexpr int IDOK = 1;
#endif
#ifndef IDCANCEL
inline constexpr int IDCANCEL = 2;
#endif
#ifndef ICON_SMALL
inline constexpr unsigned ICON_SMALL = 0;
#endif
#ifndef ICON_BIG
inline constexpr unsigned ICON_BIG = 1;
#endif

// Window styles.
#ifndef WS_POPUP
inline constexpr uint32_t WS_POPUP = 0x80000000u;
#endif
#ifndef WS_CHILD
inline constexpr uint32_t WS_CHILD = 0x40000000u;
#endif
#ifndef WS_VISIBLE
inline constexpr uint32_t WS_VISIBLE = 0x10000000u;
#endif
#ifndef WS_DISABLED
inline constexpr uint32_t WS_DISABLED = 0x08000000u;
#endif
#ifndef WS_CLIPSIBLINGS
inline constexpr uint32_t WS_CLIPSIBLINGS = 0x04000000u;
#endif
#ifndef WS_CLIPCHILDREN
inline constexpr uint32_t WS_CLIPCHILDREN = 0x02000000u;
#endif
#ifndef WS_SYSMENU
inline constexpr uint32_t WS_SYSMENU = 0x00080000u;
#endif
#ifndef WS_TABSTOP
inline constexpr uint32_t WS_TABSTOP = 0x00010000u;
#endif
#ifndef WS_EX_APPWINDOW
inline constexpr uint32_t WS_EX_APPWINDOW = 0x00040000u;
#endif
#ifndef WS_EX_LAYERED
inline constexpr uint32_t WS_EX_LAYERED = 0x00080000u;
#endif

namespace platform {

using WParam = uintptr_t;
using LParam = intptr_t;
using LResult = intptr_t;

// A window's identity, valid in every thread; never dereferenced outside the layer.
struct WindowHandleTag;
using WindowHandle = WindowHandleTag*;

// The low and high 16 bits of a parameter; a point packed as mouse messages carry it (signed 16
// bits each, x low).
constexpr unsigned LowWord(uintptr_t v) {
    return static_cast<unsigned>(v & 0xFFFF);
}
constexpr unsigned HighWord(uintptr_t v) {
    return static_cast<unsigned>((v >> 16) & 0xFFFF);
}
constexpr LParam PackPoint(Point p) {
    return static_cast<LParam>((static_cast<uint32_t>(p.x) & 0xFFFFu) |
                               ((static_cast<uint32_t>(p.y) & 0xFFFFu) << 16));
}
constexpr Point UnpackPoint(LParam v) {
    return {static_cast<int16_t>(static_cast<uint16_t>(v & 0xFFFF)),
            static_cast<int16_t>(static_cast<uint16_t>((v >> 16) & 0xFFFF))};
}

// One queued message as a message loop sees it. point: the pointer's screen position when the
// message was queued.
struct Message {
    WindowHandle window = nullptr;
    unsigned message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    Point point;
};

// Thread-safe operations by handle; see the top of this file.
bool PostToWindow(WindowHandle window, unsigned message, WParam wParam = 0, LParam lParam = 0);
LResult SendToWindow(WindowHandle window, unsigned message, WParam wParam = 0, LParam lParam = 0);
// The handle designates a window that exists (IsWindow).
bool IsWindowAlive(WindowHandle window);

// Queues WM_QUIT with exitCode for the calling thread; the thread's message loop ends on it.
void PostQuit(int exitCode);

// The calling thread's message loop, in parts:
// WaitNextMessage blocks until a posted message (or a generated WM_PAINT) is there, handling sent
// messages meanwhile; it answers false for WM_QUIT (whose exit code is then in msg.wParam).
bool WaitNextMessage(Message& msg);
// The same without blocking: false when nothing is queued (or WM_QUIT, see quit), which is then
// left in the queue.
bool TryNextMessage(Message& msg, bool* quit = nullptr);
// Offers msg to PreTranslateMessage of its window and then of each ancestor, up to and including
// the top-level window; true as soon as one of them answers true (the message is consumed).
bool PreTranslate(Message& msg);
// Calls the procedure of msg's window (nothing when it is gone); a WM_PAINT whose procedure left
// the window invalid is validated, so it is not generated again and again.
LResult Dispatch(const Message& msg);
// Pre-translation and dispatch of every queued message until none is left, without blocking.
// Stops at WM_QUIT, which stays queued. Answers the number of messages handled.
int ProcessPendingMessages();
// Runs the loop until WM_QUIT and answers its exit code.
int RunMessageLoop();

enum class ShowCommand {
    kHide,        // SW_HIDE
    kShowNormal,  // SW_SHOWNORMAL: shown and restored
    kShow,        // SW_SHOW
    kMinimize,    // SW_MINIMIZE
    kRestore,     // SW_RESTORE
};

class Window;

// What a window is created with (CreateWindowEx). rect is in the parent's client coordinates for
// a child, in screen coordinates for a top-level window. WM_CREATE receives a pointer to it in
// lParam.
struct WindowSpec {
    std::wstring text;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    Rect rect;
    Window* parent = nullptr;
    int id = 0;
};

class PaintScope;

// A window object with a virtual window procedure (the framework's window class). The object and
// its window live on the thread that calls Create; all members must be called on that thread,
// except Handle(). The window of a derived object must be destroyed (Destroy) before the derived
// part is destroyed, so that WM_DESTROY reaches it; ~Window destroys a window still left without
// sending it anything.
class Window {
  public:
    Window();
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Creates the window: WM_CREATE (an answer of -1 destroys it again and fails), then WM_SIZE
    // and WM_MOVE with its first position; shown when the style holds WS_VISIBLE. False when it
    // could not be created.
    bool Create(const WindowSpec& desc);
    // Destroys the window and its children: WM_DESTROY to the window, then to its children, then
    // WM_NCDESTROY to each. Nothing when there is no window.
    void Destroy();
    WindowHandle Handle() const { return m_handle; }
    bool Exists() const { return IsWindowAlive(m_handle); }
    // The window object of a handle, only on the window's own thread; null otherwise.
    static Window* FromHandle(WindowHandle handle);

    Window* Parent() const;
    int Id() const;
    // The child with the given id (GetDlgItem); null when there is none.
    Window* Child(int id) const;
    // The direct children, bottom of the z-order first.
    std::vector<Window*> Children() const;

    // The window procedure. The base is DefaultProc.
    virtual LResult WindowProc(unsigned message, WParam wParam, LParam lParam);
    // Default handling (DefWindowProc): WM_NCHITTEST answers HTCLIENT inside the window;
    // WM_NCLBUTTONDOWN on HTCAPTION drags the window while the left button stays down; WM_PAINT
    // validates; WM_ERASEBKGND fills the client area with the dialog face colour and answers 1;
    // WM_CLOSE destroys the window; WM_SETICON/WM_GETICON keep the icons; others answer 0.
    LResult DefaultProc(unsigned message, WParam wParam, LParam lParam);
    // Offered every message that a message loop of this thread takes for this window or one of
    // its descendants, before it is dispatched. true consumes the message. The base answers
    // false.
    virtual bool PreTranslateMessage(Message& msg);

    bool Post(unsigned message, WParam wParam = 0, LParam lParam = 0) const {
        return PostToWindow(m_handle, message, wParam, lParam);
    }
    LResult Send(unsigned message, WParam wParam = 0, LParam lParam = 0) const {
        return SendToWindow(m_handle, message, wParam, lParam);
    }

    // Painting. Invalidation never erases; the area is gathered until the next WM_PAINT.
    void Invalidate();
    void Invalidate(const Rect& clientRect);
    // Sends WM_PAINT at once when the window has an invalid area (UpdateWindow).
    void PaintNow();
    // The area that the next WM_PAINT will paint (empty when none).
    Rect InvalidArea() const;

    // Geometry. ClientRect always has its top-left corner at (0, 0); WindowRect is in screen
    // coordinates; the window has no frame, so both have the same size.
    Rect ClientRect() const;
    Rect WindowRect() const;
    // The rectangle Move takes: in the parent's client coordinates, or the screen's.
    Rect WindowRectInParent() const;
    // MoveWindow: rect in the parent's client coordinates for a child, screen coordinates for a
    // top-level window. WM_MOVE / WM_SIZE follow when the position / size changed; repaint
    // invalidates the window (and the uncovered part of its parent).
    void Move(const Rect& rect, bool repaint = true);
    // Centres a top-level window on the screen (a child in its parent).
    void CenterOnScreen();
    Point ScreenToClient(Point p) const;
    Point ClientToScreen(Point p) const;

    // State.
    void Show(ShowCommand command);
    bool IsVisible() const;  // WS_VISIBLE of this window and every ancestor
    bool IsIconic() const;   // minimised
    void Enable(bool enable);
    bool IsEnabled() const;
    void SetText(std::wstring_view text);
    std::wstring Text() const;
    uint32_t Style() const;
    uint32_t ExStyle() const;
    void SetExStyle(uint32_t exStyle);
    // Makes a top-level window layered with a colour key: its pixels of exactly key show what is
    // behind and let pointer input through (WS_EX_LAYERED, LWA_COLORKEY, alpha unused).
    void SetColorKey(Color key);

    // Keyboard focus (SetFocus; WM_KILLFOCUS / WM_SETFOCUS follow) and its owner.
    void SetFocus();
    bool HasFocus() const;
    static WindowHandle FocusWindow();
    // Mouse capture: every pointer message goes to this window until released.
    void SetCapture();
    static void ReleaseCapture();
    bool HasCapture() const;
    // Asks for one WM_MOUSELEAVE when the pointer leaves the client area (TrackMouseEvent,
    // TME_LEAVE).
    void TrackMouseLeave();
    // Brings a top-level window to the front and gives it the input: restores it when
    // minimised, then raises and activates it (the foreground activation of the system).
    void BringToFront();

    // Runs a modal message loop for this window on its thread: messages are pre-translated and
    // dispatched until EndModalLoop is called (its result is answered) or a WM_QUIT of this
    // thread arrives (consumed; the answer is then -1). The window is shown when the loop first
    // finds its queue empty.
    int RunModalLoop();
    void EndModalLoop(int result);

  protected:
    // Called after WM_NCDESTROY, when the handle has been withdrawn.
    virtual void PostNcDestroy() {}

  private:
    friend class PaintScope;
    friend struct WindowAccess;
    WindowHandle m_handle = nullptr;
    bool m_inModalLoop = false;
    bool m_modalEnded = false;
    int m_modalResult = -1;
};

// BeginPaint / EndPaint of a window, for its WM_PAINT: validates the invalid area (asking for
// WM_ERASEBKGND first when an erase is pending) and offers a canvas in client coordinates clipped
// to that area.
class PaintScope {
  public:
    explicit PaintScope(Window& window);
    ~PaintScope();
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    Canvas& GetCanvas() { return m_canvas; }
    const Rect& Area() const { return m_area; }

  private:
    Window& m_window;
    Rect m_area;
    Canvas m_canvas;
};

// A dialog window made from a template, run modally.
struct DialogTemplate {
    std::wstring text;
    uint32_t style = WS_POPUP | WS_SYSMENU;
    uint32_t exStyle = 0;
    Size size;  // in pixels
};

class Dialog : public Window {
  public:
    explicit Dialog(DialogTemplate dialogTemplate, Window* parent = nullptr);
    ~Dialog() override;

    // Creates the window (WM_CREATE, WM_SIZE), sends WM_INITDIALOG (OnInitDialog), runs the modal
    // loop (the window is shown when it is first idle), destroys the window and answers the
    // result of EndDialog, or -1 when a WM_QUIT ended the loop or the window could not be made.
    int DoModal();
    virtual bool OnInitDialog();
    // The dialog manager's Enter and Escape: the bases end the dialog with IDOK / IDCANCEL.
    virtual void OnOK();
    virtual void OnCancel();
    // Ends the modal loop with result; the window is destroyed by DoModal afterwards.
    void EndDialog(int result);

    // WM_INITDIALOG calls OnInitDialog; WM_COMMAND with IDOK / IDCANCEL in the low word calls
    // OnOK / OnCancel; WM_CLOSE calls OnCancel (without destroying the window); the rest goes to
    // DefaultProc.
    LResult WindowProc(unsigned message, WParam wParam, LParam lParam) override;
    // The dialog manager's keyboard handling: WM_KEYDOWN of Enter / Escape aimed at the dialog or
    // one of its children becomes WM_COMMAND IDOK / IDCANCEL to the dialog and is consumed.
    bool PreTranslateMessage(Message& msg) override;

    const DialogTemplate& Template() const { return m_template; }

  private:
    DialogTemplate m_template;
    Window* m_parent;
};

}  // namespace platform
