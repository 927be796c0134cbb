// The file layer on Windows: thin wrappers over the wide-character file API.
#include <windows.h>

#include <algorithm>

#include "platform/fs.h"

namespace platform {

namespace {

constexpr int64_t kEpochDifference = 11644473600LL;  // seconds from 1601 to 1970

FILETIME ToFileTime(std::time_t t) {
    ULARGE_INTEGER value;
    value.QuadPart =
        static_cast<ULONGLONG>((static_cast<int64_t>(t) + kEpochDifference) * 10000000LL);
    FILETIME ft;
    ft.dwLowDateTime = value.LowPart;
    ft.dwHighDateTime = value.HighPart;
    return ft;
}

std::time_t FromFileTime(const FILETIME& ft) {
    ULARGE_INTEGER value;
    value.LowPart = ft.dwLowDateTime;
    value.HighPart = ft.dwHighDateTime;
    return static_cast<std::time_t>(static_cast<int64_t>(value.QuadPart / 10000000ULL) -
                                    kEpochDifference);
}

bool Fail() {
    SetLastError(::GetLastError());
    return false;
}

}  // namespace

std::wstring ResolvePath(const std::wstring& path) {
    return path;
}

std::wstring LongPath(const std::wstring& path) {
    DWORD needed = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) {
        return path;
    }
    std::wstring out(needed, L'\0');
    DWORD length = ::GetLongPathNameW(path.c_str(), out.data(), needed);
    if (length == 0 || length >= needed) {
        return path;
    }
    out.resize(length);
    return out;
}

std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    return std::wstring(buffer, length);
}

std::wstring ModulePath() {
    wchar_t buffer[MAX_PATH + 1];
    DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return std::wstring(buffer, length);
}

bool Exists(const std::wstring& path) {
    return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolder(const std::wstring& path) {
    return ::CreateDirectoryW(path.c_str(), nullptr) ? true : Fail();
}

bool RemoveFolder(const std::wstring& path) {
    return ::RemoveDirectoryW(path.c_str()) ? true : Fail();
}

bool RemoveFile(const std::wstring& path) {
    return ::DeleteFileW(path.c_str()) ? true : Fail();
}

bool CopyFileOver(const std::wstring& source, const std::wstring& target) {
    return ::CopyFileW(source.c_str(), target.c_str(), FALSE) ? true : Fail();
}

bool MoveFileOver(const std::wstring& source, const std::wstring& target) {
    // Windows refuses to replace a read-only file; Wine run as root does not, so ask first.
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(kErrorAccessDenied);
        return false;
    }
    if (!::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return Fail();
    }
    return true;
}

uint32_t GetAttributes(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Fail();
    }
    return attributes;
}

bool SetAttributes(const std::wstring& path, uint32_t attributes) {
    return ::SetFileAttributesW(path.c_str(), attributes) ? true : Fail();
}

bool SetFileTimes(const std::wstring& path, std::time_t created, std::time_t accessed,
                  std::time_t written) {
    HANDLE handle = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Fail();
    }
    FILETIME c = ToFileTime(created), a = ToFileTime(accessed), w = ToFileTime(written);
    BOOL ok = ::SetFileTime(handle, &c, &a, &w);
    if (!ok) {
        Fail();
    }
    ::CloseHandle(handle);
    return ok != 0;
}

std::time_t GetWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return FromFileTime(data.ftLastWriteTime);
}

int64_t GetFileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<DirEntry> ListFolder(const std::wstring& folder) {
    std::vector<DirEntry> entries;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        Fail();
        return entries;
    }
    do {
        if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) {
            continue;
        }
        entries.push_back(DirEntry{data.cFileName, data.dwFileAttributes});
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return entries;
}

std::wstring CreateTempFile(const std::wstring& folder, const std::wstring& prefix) {
    wchar_t buffer[MAX_PATH + 1];
    if (::GetTempFileNameW(folder.c_str(), prefix.c_str(), 0, buffer) == 0) {
        Fail();
        return {};
    }
    return buffer;
}

// ---- File ----------------------------------------------------------------------------------

File::File(File&& other) noexcept : m_handle(other.m_handle), m_path(std::move(other.m_path)) {
    other.m_handle = INVALID_HANDLE_VALUE;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Abort();
        m_handle = other.m_handle;
        m_path = std::move(other.m_path);
        other.m_handle = INVALID_HANDLE_VALUE;
    }
    return *this;
}

bool File::TryOpen(const std::wstring& path, Mode mode) {
    Abort();
    DWORD access = 0, share = 0, disposition = 0;
    switch (mode) {
        case Mode::kRead:
            access = GENERIC_READ;
            share = FILE_SHARE_READ;
            disposition = OPEN_EXISTING;
            break;
        case Mode::kCreateWrite:
            access = GENERIC_WRITE;
            disposition = CREATE_ALWAYS;
            break;
        case Mode::kReadWriteAlways:
            access = GENERIC_READ | GENERIC_WRITE;
            disposition = OPEN_ALWAYS;
            break;
    }
    HANDLE handle = ::CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Fail();
    }
    m_handle = handle;
    m_path = path;
    return true;
}

bool File::IsOpen() const {
    return m_handle != INVALID_HANDLE_VALUE;
}

size_t File::Read(void* buffer, size_t size) {
    if (!IsOpen()) {
        throw FileException(kErrorInvalidParameter, m_path);
    }
    size_t total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < size) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - total, 1u << 30));
        DWORD read = 0;
        if (!::ReadFile(m_handle, out + total, chunk, &read, nullptr)) {
            throw FileException(::GetLastError(), m_path);
        }
        if (read == 0) {
            break;
        }
        total += read;
    }
    return total;
}

void File::Write(const void* buffer, size_t size) {
    if (!IsOpen()) {
        throw FileException(kErrorInvalidParameter, m_path);
    }
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < size) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(m_handle, in + done, chunk, &written, nullptr)) {
            throw FileException(::GetLastError(), m_path);
        }
        if (written == 0) {
            throw FileException(kErrorDiskFull, m_path);
        }
        done += written;
    }
}

uint64_t File::Seek(int64_t offset, Origin origin) {
    if (!IsOpen()) {
        throw FileException(kErrorInvalidParameter, m_path);
    }
    DWORD method = origin == Origin::kBegin     ? FILE_BEGIN
                   : origin == Origin::kCurrent ? FILE_CURRENT
                                                : FILE_END;
    LARGE_INTEGER distance, position;
    distance.QuadPart = offset;
    if (!::SetFilePointerEx(m_handle, distance, &position, method)) {
        throw FileException(::GetLastError(), m_path);
    }
    return static_cast<uint64_t>(position.QuadPart);
}

uint64_t File::Length() {
    LARGE_INTEGER size;
    if (!IsOpen() || !::GetFileSizeEx(m_handle, &size)) {
        throw FileException(IsOpen() ? static_cast<uint32_t>(::GetLastError())
                                     : static_cast<uint32_t>(kErrorInvalidParameter),
                            m_path);
    }
    return static_cast<uint64_t>(size.QuadPart);
}

void File::Close() {
    if (!IsOpen()) {
        return;
    }
    HANDLE handle = m_handle;
    m_handle = INVALID_HANDLE_VALUE;
    if (!::CloseHandle(handle)) {
        throw FileException(::GetLastError(), m_path);
    }
}

void File::Abort() noexcept {
    if (IsOpen()) {
        ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
}

}  // namespace platform
