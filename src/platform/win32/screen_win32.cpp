// Windows of any process, found with EnumWindows and read back from the screen's device context
// (which shows the composed screen, colour keys applied).
#include <windows.h>

#include "platform/screen.h"
#include "platform/win32/gdi_internal.h"

namespace platform::screen {

namespace {

HWND H(WindowHandle h) {
    return reinterpret_cast<HWND>(h);
}
WindowHandle W(HWND h) {
    return reinterpret_cast<WindowHandle>(h);
}

struct Search {
    std::wstring_view text;
    std::vector<WindowHandle> found;
};

BOOL CALLBACK CollectByText(HWND h, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    if (!::IsWindowVisible(h)) {
        return TRUE;
    }
    wchar_t text[512];
    const int n = ::InternalGetWindowText(h, text, 512);
    if (n >= 0 && std::wstring_view(text, static_cast<size_t>(n)) == search->text) {
        search->found.push_back(W(h));
    }
    return TRUE;
}

}  // namespace

bool Available() {
    return true;
}

std::vector<WindowHandle> TopLevelWindows(std::wstring_view text) {
    Search search{text, {}};
    ::EnumWindows(CollectByText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<WindowHandle> Children(WindowHandle parent) {
    std::vector<WindowHandle> out;
    if (!parent || !::IsWindow(H(parent))) {
        return out;
    }
    for (HWND c = ::GetWindow(H(parent), GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        out.push_back(W(c));
    }
    return out;
}

WindowHandle ChildById(WindowHandle parent, int id) {
    for (WindowHandle c : Children(parent)) {
        if (static_cast<int>(::GetWindowLongPtrW(H(c), GWLP_ID)) == id) {
            return c;
        }
    }
    return nullptr;
}

WindowHandle ForegroundWindow() {
    return W(::GetForegroundWindow());
}

Rect WindowRectOf(WindowHandle window) {
    RECT r{};
    if (!window || !::GetWindowRect(H(window), &r)) {
        return {};
    }
    return {r.left, r.top, r.right, r.bottom};
}

uint32_t StyleOf(WindowHandle window) {
    return window ? static_cast<uint32_t>(::GetWindowLongW(H(window), GWL_STYLE)) : 0;
}

uint32_t ExStyleOf(WindowHandle window) {
    return window ? static_cast<uint32_t>(::GetWindowLongW(H(window), GWL_EXSTYLE)) : 0;
}

bool IsShown(WindowHandle window) {
    return window && ::IsWindowVisible(H(window)) && !::IsIconic(H(window));
}

Bitmap Capture(const Rect& area) {
    if (area.IsEmpty()) {
        return Bitmap();
    }
    win32::ScreenDc screen;
    if (!screen.Get()) {
        return Bitmap();
    }
    const std::vector<Color> pixels =
        win32::ReadPixels(screen.Get(), area.left, area.top, area.Width(), area.Height());
    if (pixels.empty()) {
        return Bitmap();
    }
    return Bitmap::FromPixels(area.Width(), area.Height(), pixels);
}

}  // namespace platform::screen
