// The update log. Each call opens, appends and closes, so no handle outlives a line and a
// second writer at the same moment is refused (and told so) instead of interleaving bytes.
#include "fileops/update_log.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/debug.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

constexpr const wchar_t* kLogFileName = L"Update2.log";

std::atomic<UpdateLogClock> g_logClock{nullptr};

std::wstring TwoDigits(int value) {
    wchar_t digits[16];
    std::swprintf(digits, sizeof digits / sizeof digits[0], L"%02d", value);
    return digits;
}

}  // namespace

void SetUpdateLogClock(UpdateLogClock clock) {
    g_logClock.store(clock);
}

void WriteUpdateLog(const std::wstring& logFolder, const std::wstring& text) {
    const UpdateLogClock clock = g_logClock.load();
    const platform::TimeOfDay now = clock != nullptr ? clock() : platform::LocalTimeOfDay();
    const std::wstring path = logFolder + platform::kPathSep + kLogFileName;

    platform::File file;
    // An empty folder names no folder: without this the log would land in the root folder.
    const bool opened =
        !logFolder.empty() && file.TryOpen(path, platform::File::Mode::kReadWriteAlways);
    if (!opened) {
        const uint32_t error =
            logFolder.empty() ? platform::kErrorPathNotFound : platform::LastError();
        platform::ShowMessage(L"CreateFile error(" +
                              platform::ToWString(static_cast<int32_t>(error)) + L").path=" + path);
        return;
    }

    const std::wstring line = TwoDigits(now.hour) + L':' + TwoDigits(now.minute) + L':' +
                              TwoDigits(now.second) + L": " + text + L"\r\n";
    const std::string bytes = platform::WideToAnsi(line);
    try {
        file.Seek(0, platform::File::Origin::kEnd);
        file.Write(bytes.data(), bytes.size());
        file.Close();
    } catch (const platform::FileException&) {
        // A line that cannot be written is lost; the copy that asked for it goes on.
        file.Abort();
    }
}
