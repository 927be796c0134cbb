// Target-independent parts of the file layer.
#include "platform/fs.h"
#include "platform/text.h"

namespace platform {

FileException::FileException(uint32_t error, std::wstring path)
    : std::runtime_error("file error " + std::to_string(error) + ": " + WideToUtf8(path)),
      m_error(error),
      m_path(std::move(path)) {}

std::wstring FolderOf(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos) {
        return path;
    }
    return path.substr(0, cut + 1);
}

File::File(const std::wstring& path, Mode mode) {
    if (!TryOpen(path, mode)) {
        throw FileException(LastError(), path);
    }
}

File::~File() {
    Abort();
}

namespace {
thread_local uint32_t t_lastError = 0;
}

uint32_t LastError() {
    return t_lastError;
}
void SetLastError(uint32_t error) {
    t_lastError = error;
}

}  // namespace platform
