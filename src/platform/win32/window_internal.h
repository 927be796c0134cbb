// The parts of the Win32 window backend that window_win32.cpp (windows and message loops) and
// input_win32.cpp (synthetic input, idle waits, read-back) share. Internal to
// src/platform/win32/.
#pragma once

#include <windows.h>

#include "platform/window.h"

namespace platform::win32 {

// Messages and timers the layer uses for itself, never seen by window objects: the idle probe of
// WaitUntilIdle and its timer. True when message was one of them (and has been handled).
bool HandleInternalMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The same for a message just taken from the queue: it is dispatched without being offered to
// the caller's loop.
bool IsInternalQueuedMessage(const MSG& msg);

// Around the layer's non-blocking takes (TryNextMessage), and just before its blocking take:
// an idle probe is answered only when the thread is about to block or has emptied its queue.
void BeginPeek();
void EndPeek();
void BeforeBlocking();

// A queued message as the layer hands it out; the point of synthetic input is the synthetic
// pointer's, not the system cursor's.
Message ToMessage(const MSG& msg);

// Every message the window procedure routes to an object, for the bookkeeping of activation and
// of windows going away.
void NoteMessage(HWND window, UINT message, WPARAM wParam);
void NoteBroughtToFront(HWND window);

// While synthetic input drives the pointer, leave notifications follow the synthetic pointer:
// answers true when it took the request (the system's tracking looks at the real cursor).
bool TrackSyntheticLeave(HWND window);
void AfterCaptureReleased();

}  // namespace platform::win32
