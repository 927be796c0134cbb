#include "support/test_files.h"

#include <atomic>
#include <stdexcept>

#include "platform/fs.h"
#include "platform/process.h"
#include "platform/text.h"

namespace testing_support {

namespace {
std::atomic<unsigned> g_counter{0};
}

std::wstring NativePath(std::wstring path) {
    for (wchar_t& c : path) {
        if (c == L'/' || c == L'\\') {
            c = platform::kPathSep;
        }
    }
    return path;
}

TempDir::TempDir() {
    // Taken once: tests point the temporary folder of the programs they start elsewhere.
    static const std::wstring kTempFolder = platform::TempFolder();
    std::wstring base =
        kTempFolder + L"tqtest_" + std::to_wstring(platform::CurrentProcessId()) + L"_";
    for (int i = 0; i < 1000; ++i) {
        std::wstring candidate = base + std::to_wstring(g_counter++);
        if (platform::CreateFolder(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary test folder in " +
                             platform::WideToUtf8(base) + ", error " +
                             std::to_string(platform::LastError()));
}

TempDir::~TempDir() {
    RemoveTree(m_path);
}

std::wstring TempDir::operator/(const std::wstring& relative) const {
    return m_path + platform::kPathSep + NativePath(relative);
}

void RemoveTree(const std::wstring& path) {
    uint32_t attributes = platform::GetAttributes(path);
    if (attributes == platform::kInvalidAttributes) {
        return;
    }
    if ((attributes & platform::kAttrDirectory) && !(attributes & platform::kAttrReparsePoint)) {
        for (const platform::DirEntry& entry : platform::ListFolder(path)) {
            RemoveTree(path + platform::kPathSep + entry.name);
        }
        platform::SetAttributes(path, platform::kAttrNormal);
        platform::RemoveFolder(path);
        return;
    }
    platform::SetAttributes(path, platform::kAttrNormal);
    if (!platform::RemoveFile(path)) {
        platform::RemoveFolder(path);
    }
}

void MakeFolders(const std::wstring& path) {
    std::wstring native = NativePath(path);
    for (size_t i = 1; i <= native.size(); ++i) {
        if (i == native.size() || native[i] == platform::kPathSep) {
            std::wstring prefix = native.substr(0, i);
            if (!(prefix.size() == 2 && prefix[1] == L':') && !platform::IsFolder(prefix)) {
                platform::CreateFolder(prefix);
            }
        }
    }
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::wstring native = NativePath(path);
    std::wstring folder = platform::FolderOf(native);
    if (folder != native && !folder.empty()) {
        MakeFolders(folder.substr(0, folder.size() - 1));
    }
    platform::File file(native, platform::File::Mode::kCreateWrite);
    file.Write(bytes.data(), bytes.size());
    file.Close();
}

std::string ReadFileBytes(const std::wstring& path) {
    platform::File file;
    if (!file.TryOpen(NativePath(path), platform::File::Mode::kRead)) {
        return {};
    }
    std::string bytes(static_cast<size_t>(file.Length()), '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

}  // namespace testing_support
