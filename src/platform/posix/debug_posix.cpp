// Debug output and message boxes on Linux: both go to standard error, one line each; a message
// box never waits (there is no one to click it in a terminal or a test).
#include <cstdio>
#include <mutex>

#include "platform/debug.h"
#include "platform/text.h"

namespace platform {

void AppendDiagnosticLine(std::wstring_view text);

namespace {
std::mutex g_outputLock;
}  // namespace

void DebugOutput(std::wstring_view text) {
    AppendDiagnosticLine(text);
    std::lock_guard<std::mutex> guard(g_outputLock);
    std::fprintf(stderr, "[debug] %s\n", WideToUtf8(text).c_str());
    std::fflush(stderr);
}

void ShowMessage(std::wstring_view text) {
    AppendDiagnosticLine(text);
    std::lock_guard<std::mutex> guard(g_outputLock);
    std::fprintf(stderr, "[%s] %s\n", WideToUtf8(AppTitle()).c_str(), WideToUtf8(text).c_str());
    std::fflush(stderr);
}

}  // namespace platform
