// Small helpers of the user-interface tests: a scratch folder and whole-file reads.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/fs.h"
#include "platform/process.h"

namespace uitest {

// A fresh folder under the temporary folder, removed with everything in it at the end.
class ScratchFolder {
  public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        m_path = platform::TempFolder() + L"tq_ui_" +
                 std::to_wstring(platform::CurrentProcessId()) + L"_" + std::to_wstring(counter++);
        std::filesystem::remove_all(std::filesystem::path(m_path));
        std::filesystem::create_directories(std::filesystem::path(m_path));
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(m_path), ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder with a trailing separator.
    std::wstring Folder() const { return m_path + platform::kPathSepStr; }
    std::wstring Path(const std::wstring& name) const { return Folder() + name; }

  private:
    std::wstring m_path;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A file of the test data folder beside these tests.
inline std::filesystem::path DataFile(const char* name) {
    return std::filesystem::path(TQ_SOURCE_DIR) / "tests" / "ui" / "data" / name;
}

}  // namespace uitest
