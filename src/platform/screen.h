// Windows of any process as the screen shows them, for end-to-end tests and tools that watch the
// updater from outside: top-level windows found by their text, their children, their styles and
// what the screen shows. Any thread. The headless windows have no screen: there, Available()
// is false and the rest finds nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/canvas.h"
#include "platform/geometry.h"
#include "platform/window.h"

namespace platform::screen {

bool Available();

// Shown top-level windows whose text is text, top of the z-order first.
std::vector<WindowHandle> TopLevelWindows(std::wstring_view text);
// Direct children of any class, top of the z-order first.
std::vector<WindowHandle> Children(WindowHandle parent);
// The direct child with the control id; null when there is none.
WindowHandle ChildById(WindowHandle parent, int id);

// The window that has the foreground (the system's answer, whoever activated it).
WindowHandle ForegroundWindow();

// Screen rectangle, styles and visibility of a window; empty, 0 and false when it is gone.
Rect WindowRectOf(WindowHandle window);
uint32_t StyleOf(WindowHandle window);
uint32_t ExStyleOf(WindowHandle window);
bool IsShown(WindowHandle window);

// What the screen shows in area (screen coordinates), as the user sees it: a colour-keyed
// window shows what is below it where its pixels have the key colour.
Bitmap Capture(const Rect& area);

}  // namespace platform::screen
