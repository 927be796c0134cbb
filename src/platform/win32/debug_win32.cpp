// Debug output and message boxes on Windows. In an unattended run a message box does not wait:
// the text goes to standard error (when the process has one) and to the debug output.
#include <windows.h>

#include <cstdio>
#include <mutex>

#include "platform/debug.h"
#include "platform/text.h"

namespace platform {

void AppendDiagnosticLine(std::wstring_view text);

namespace {
std::mutex g_outputLock;

void WriteStdErr(const std::string& line) {
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    if (err != nullptr && err != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}
}  // namespace

void DebugOutput(std::wstring_view text) {
    AppendDiagnosticLine(text);
    std::wstring line(text);
    ::OutputDebugStringW(line.c_str());
    if (IsUnattended()) {
        std::lock_guard<std::mutex> guard(g_outputLock);
        WriteStdErr("[debug] " + WideToUtf8(text) + "\n");
    }
}

void ShowMessage(std::wstring_view text) {
    AppendDiagnosticLine(text);
    std::wstring message(text);
    if (IsUnattended()) {
        ::OutputDebugStringW(message.c_str());
        std::lock_guard<std::mutex> guard(g_outputLock);
        WriteStdErr("[" + WideToUtf8(AppTitle()) + "] " + WideToUtf8(text) + "\n");
        return;
    }
    ::MessageBoxW(nullptr, message.c_str(), AppTitle().c_str(), MB_OK);
}

}  // namespace platform
