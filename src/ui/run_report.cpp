#include "ui/run_report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/debug.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "platform/window_input.h"

namespace {

constexpr int kBarWidth = 40;
platform::WindowHandle g_window = nullptr;
bool g_downloadPictureTaken = false;
int g_lastPercent = -1;

std::wstring PictureFolder() {
    const char* folder = std::getenv("TQ_UPDATE_PICTURES");
    return folder != nullptr && *folder != '\0' ? platform::Utf8ToWide(folder) : std::wstring();
}

void KeepPicture(const wchar_t* name) {
    const std::wstring folder = PictureFolder();
    if (folder.empty() || g_window == nullptr) {
        return;
    }
    // Paint what is pending first (the face and its buttons), so that the picture shows the state
    // just entered; queued messages stay queued.
    if (platform::Window* window = platform::Window::FromHandle(g_window)) {
        window->PaintNow();
        for (platform::Window* child : window->Children()) {
            child->PaintNow();
        }
    }
    platform::Bitmap picture = platform::input::CaptureWindow(g_window);
    if (!picture.IsEmpty()) {
        picture.SavePng(folder + platform::kPathSep + L"dialog-" + name + L".png");
    }
}

}  // namespace

void ReportProgress(uint32_t total, int32_t done) {
    if (total == 0) {
        return;
    }
    const double fraction = static_cast<double>(done) / total;
    const int percent = static_cast<int>(fraction * 100.0);
    if (!g_downloadPictureTaken && percent >= 50) {
        g_downloadPictureTaken = true;
        KeepPicture(L"downloading");
    }
    if (!platform::IsUnattended() || percent == g_lastPercent) {
        return;
    }
    g_lastPercent = percent;
    const int filled = std::max(0, std::min(kBarWidth, static_cast<int>(fraction * kBarWidth)));
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '.');
    std::fprintf(stderr, "\rdownloading [%s] %3d%%  %.1f of %.1f MB%s", bar.c_str(), percent,
                 done / 1048576.0, total / 1048576.0, percent >= 100 ? "\n" : "");
    std::fflush(stderr);
}

void ReportState(platform::WindowHandle window, int state) {
    g_window = window;
    if (state == 1) {
        KeepPicture(L"ready");
    } else if (state == 2) {
        g_downloadPictureTaken = false;
        g_lastPercent = -1;
    } else if (state == 3) {
        KeepPicture(L"complete");
    }
}
