// The headless windows live in this process only and have no screen to look at.
#include "platform/screen.h"

namespace platform::screen {

bool Available() {
    return false;
}

std::vector<WindowHandle> TopLevelWindows(std::wstring_view) {
    return {};
}

std::vector<WindowHandle> Children(WindowHandle) {
    return {};
}

WindowHandle ChildById(WindowHandle, int) {
    return nullptr;
}

WindowHandle ForegroundWindow() {
    return nullptr;
}

Rect WindowRectOf(WindowHandle) {
    return {};
}

uint32_t StyleOf(WindowHandle) {
    return 0;
}

uint32_t ExStyleOf(WindowHandle) {
    return 0;
}

bool IsShown(WindowHandle) {
    return false;
}

Bitmap Capture(const Rect&) {
    return Bitmap();
}

}  // namespace platform::screen
