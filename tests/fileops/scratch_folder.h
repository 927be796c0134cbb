// A fresh folder under the temporary folder for one test, removed with everything in it at the
// end, and small file helpers. Shared by the fileops, script and install tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fileops/copy_folder.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/text.h"

namespace tqtest {

inline std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    return folder + platform::kPathSep + name;
}

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    platform::File file(path, platform::File::Mode::kCreateWrite);
    file.Write(bytes.data(), bytes.size());
    file.Close();
}

// The whole file, or "<missing>" when it cannot be opened.
inline std::string ReadBytes(const std::wstring& path) {
    platform::File file;
    if (!file.TryOpen(path, platform::File::Mode::kRead)) {
        return "<missing>";
    }
    std::string bytes;
    char buffer[4096];
    for (size_t got; (got = file.Read(buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, got);
    }
    file.Close();
    return bytes;
}

// The lines of a file split at CR LF (the last terminator included in the check: a missing one
// shows up as a last line "<unterminated>...").
inline std::vector<std::string> ReadLines(const std::wstring& path) {
    const std::string bytes = ReadBytes(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back("<unterminated>" + bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// True when the platform refuses to write into a read-only file. As root neither Linux nor Wine
// does, so a test of read-only handling cannot fail there and is skipped.
inline bool ReadOnlyIsEnforced(const std::wstring& scratch) {
    const std::wstring probe = Join(scratch, L"read_only_probe");
    WriteBytes(probe, "x");
    platform::SetAttributes(probe, platform::kAttrReadOnly);
    platform::File file;
    const bool writable = file.TryOpen(probe, platform::File::Mode::kReadWriteAlways);
    file.Abort();
    platform::SetAttributes(probe, platform::kAttrNormal);
    platform::RemoveFile(probe);
    return !writable;
}

class ScratchFolder {
  public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        m_path = platform::TempFolder() + L"tq_test_" +
                 platform::ToWString(platform::CurrentProcessId()) + L"_" +
                 platform::ToWString(counter++);
        DeleteFolder(m_path);
        EXPECT_TRUE(platform::CreateFolder(m_path)) << platform::WideToUtf8(m_path);
    }
    ~ScratchFolder() { DeleteFolder(m_path); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return Join(m_path, name); }

  private:
    std::wstring m_path;
};

}  // namespace tqtest
