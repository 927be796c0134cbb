// Synthetic input and screen read-back for tests and unattended runs. Input goes where the
// system's own input would: pointer messages to the window under the pointer (or the window with
// the capture), classified by WM_NCHITTEST into client messages (WM_MOUSEMOVE, WM_LBUTTONDOWN,
// WM_LBUTTONUP in client coordinates) and non-client ones (WM_NCMOUSEMOVE, WM_NCLBUTTONDOWN,
// WM_NCLBUTTONUP with the hit code and the screen point); keys to the focus window. Messages are
// posted to the window's queue, so message loops pre-translate them.
//
// Any thread may call these. When the target window belongs to another thread, each call returns
// only once that thread has nothing left to do (WaitUntilIdle), so a test can inject input into a
// dialog whose modal loop runs elsewhere and then look at the result. On the window's own thread
// the messages stay queued until the thread runs its loop (ProcessPendingMessages).
#pragma once

#include "platform/canvas.h"
#include "platform/geometry.h"
#include "platform/window.h"

namespace platform::input {

// The screen the top-level windows are placed on (1024 x 768 unless set).
Size ScreenSize();
void SetScreenSize(Size size);

// Moves the pointer to a screen point. While a window is dragged by its caption (the default
// handling of WM_NCLBUTTONDOWN on HTCAPTION), the move moves that window and sends nothing else.
void MovePointer(Point screen);
Point PointerPosition();
void PressLeft();
void ReleaseLeft();
// Press and release at the point.
void ClickAt(Point screen);
// WM_KEYDOWN and WM_KEYUP of a virtual key to the focus window (or, without one, the active
// top-level window).
void PressKey(unsigned virtualKey);

// Returns once the thread of window has nothing left to do: no sent or posted message and no
// pending paint, while it waits in its message loop. Returns at once on the window's own thread,
// and as soon as the window is destroyed or its thread ends.
void WaitUntilIdle(WindowHandle window);

// The window that was last brought to the front or activated.
WindowHandle ActiveWindow();

// What the window shows on the screen: its window rectangle, children included, as last painted.
// Empty when the window does not exist.
Bitmap CaptureWindow(WindowHandle window);

}  // namespace platform::input
