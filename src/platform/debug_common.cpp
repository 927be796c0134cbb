#include <chrono>
#include <thread>
#include <cstdlib>
#include <mutex>

#include "platform/debug.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace platform {

namespace {
bool g_unattended = false;
std::wstring g_title = L"Update";
}  // namespace

void SetUnattended(bool unattended) {
    g_unattended = unattended;
}
bool IsUnattended() {
    return g_unattended;
}
void SetAppTitle(std::wstring title) {
    g_title = std::move(title);
}
const std::wstring& AppTitle() {
    return g_title;
}

// Appends one line to the diagnostic file named by TQ_UPDATE_DEBUG_LOG, if any. Several
// processes may append; each line is one write, so lines do not interleave.
void AppendDiagnosticLine(std::wstring_view text) {
    static std::mutex lock;
    const char* target = std::getenv("TQ_UPDATE_DEBUG_LOG");
    if (target == nullptr || *target == '\0') {
        return;
    }
    std::lock_guard<std::mutex> guard(lock);
    std::wstring path = Utf8ToWide(target);
    File file;
    for (int attempt = 0; attempt < 50 && !file.TryOpen(path, File::Mode::kReadWriteAlways);
         ++attempt) {
        // Another process holds the file for its own line.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!file.IsOpen()) {
        return;
    }
    try {
        std::string line = WideToUtf8(text) + "\n";
        file.Seek(0, File::Origin::kEnd);
        file.Write(line.data(), line.size());
        file.Close();
    } catch (const FileException&) {
    }
}

}  // namespace platform
