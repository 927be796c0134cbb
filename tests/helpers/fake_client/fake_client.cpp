// Stand-in for the trading client. Every start appends its process id, one line each, to
// "starts.txt" beside its executable. While a file named "stay" exists there it keeps running,
// as a client does until it is ended; otherwise it ends at once. It never runs longer than two
// minutes, so that a test that fails half-way leaves nothing behind for long.
#include <cstdint>
#include <string>

#include "platform/fs.h"
#include "platform/process.h"
#include "platform/text.h"

namespace {

constexpr int kPollMs = 50;
constexpr int kLifetimeMs = 120 * 1000;
constexpr int kOpenAttempts = 400;  // the record is opened without sharing; starts may collide

bool RecordStart(const std::wstring& record) {
    const std::string line =
        platform::WideToAnsi(platform::ToWString(platform::CurrentProcessId())) + "\n";
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        platform::File file;
        if (file.TryOpen(record, platform::File::Mode::kReadWriteAlways)) {
            try {
                file.Seek(0, platform::File::Origin::kEnd);
                file.Write(line.data(), line.size());
                file.Close();
                return true;
            } catch (const platform::FileException&) {
                file.Abort();
                return false;
            }
        }
        platform::SleepMs(10);
    }
    return false;
}

}  // namespace

int main() {
    const std::wstring folder = platform::FolderOf(platform::ModulePath());
    if (!RecordStart(folder + L"starts.txt")) {
        return 2;
    }
    for (int waited = 0; waited < kLifetimeMs && platform::Exists(folder + L"stay");
         waited += kPollMs) {
        platform::SleepMs(kPollMs);
    }
    return 0;
}
