// The file layer on Linux.
//
// Where Linux differs from the Windows file system, this backend imitates what the system relies
// on and states what it cannot:
// - Names: a path whose exact spelling does not exist is resolved component by component without
//   regard to case (ResolvePath). Paths are UTF-8 on disk.
// - Attributes: read-only is the owner's write permission; a read-only file refuses to be
//   replaced, truncated or deleted (error 5), as on Windows, even for root. Hidden is a leading
//   dot and cannot be set; system and archive have no equivalent. Read-only is not applied to
//   folders (on Linux it would stop their contents from being deleted).
// - Sharing: "deny write" and "no sharing" are advisory locks (flock) between processes that use
//   this layer; other programs are not held off.
// - Times: Linux keeps no creation time; SetFileTimes ignores it.
// - Listing order: entries are listed sorted by name without regard to case, the order NTFS
//   gives, so that logs read the same on both targets.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/text.h"

namespace platform {

namespace {

uint32_t MapErrno(int error) {
    switch (error) {
        case 0:
            return kErrorSuccess;
        case ENOENT:
            return kErrorFileNotFound;
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return kErrorAccessDenied;
        case EEXIST:
            return kErrorAlreadyExists;
        case ENOTEMPTY:
            return kErrorDirNotEmpty;
        case ENOSPC:
        case EDQUOT:
            return kErrorDiskFull;
        case ENAMETOOLONG:
            return kErrorFilenameTooLong;
        case EBUSY:
        case ETXTBSY:
        case EWOULDBLOCK:
            return kErrorSharingViolation;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case EINVAL:
            return kErrorInvalidParameter;
        case EIO:
            return kErrorWriteFault;
        default:
            return kErrorAccessDenied;
    }
}

std::string Native(const std::wstring& path) {
    return WideToUtf8(path);
}

bool LStat(const std::string& path, struct stat& st) {
    return ::lstat(path.c_str(), &st) == 0;
}

// Windows answers "path not found" (3) when a folder on the way is missing and "file not found"
// (2) only when the last component is missing.
uint32_t MissingError(const std::string& native) {
    size_t cut = native.find_last_of('/');
    if (cut == std::string::npos || cut == 0) {
        return kErrorFileNotFound;
    }
    struct stat st {};
    if (::stat(native.substr(0, cut).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return kErrorPathNotFound;
    }
    return kErrorFileNotFound;
}

uint32_t Fail(const std::string& native, int error) {
    uint32_t code = (error == ENOENT) ? MissingError(native) : MapErrno(error);
    SetLastError(code);
    return code;
}

bool IsReadOnlyFile(const struct stat& st) {
    return !S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// EqualsFileName for two ASCII names, without converting them.
bool EqualsFileNameAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] &&
            std::towupper(static_cast<wint_t>(a[i])) != std::towupper(static_cast<wint_t>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Finds the entry of folder whose name equals name without regard to case.
bool FindNoCase(const std::string& folder, const std::string& name, std::string& found) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    // Most names are ASCII: those are compared in place, so that a folder of many files costs
    // no conversion per entry. Other names may fold onto ASCII ones and take the full compare.
    const bool wantedAscii = IsAscii(name);
    std::wstring wanted = Utf8ToWide(name);
    bool hit = false;
    while (dirent* entry = ::readdir(dir)) {
        const bool same = wantedAscii && IsAscii(entry->d_name)
                              ? EqualsFileNameAscii(entry->d_name, name)
                              : EqualsFileName(Utf8ToWide(entry->d_name), wanted);
        if (same) {
            found = entry->d_name;
            hit = true;
            break;
        }
    }
    ::closedir(dir);
    return hit;
}

std::string ResolveNative(const std::wstring& path) {
    std::string native = Native(path);
    struct stat st {};
    if (native.empty() || LStat(native, st)) {
        return native;
    }
    const bool absolute = native[0] == '/';
    const bool trailing = native.back() == '/';
    std::string current = absolute ? "/" : "";
    std::vector<std::string> parts = Components(native);
    // A path exists only when all its folders do, so the longest prefix that exists as spelled
    // is searched from the end: a new name in an existing folder then costs one lookup, not one
    // per folder level. Components before it need no case search.
    size_t spelled = 0;
    for (size_t count = parts.size() - (parts.empty() ? 0 : 1); count > 0 && spelled == 0;
         --count) {
        std::string prefix = current;
        for (size_t i = 0; i < count; ++i) {
            prefix += parts[i];
            if (i + 1 < count) {
                prefix += '/';
            }
        }
        if (LStat(prefix, st)) {
            spelled = count;
        }
    }
    // The component after the spelled prefix was looked up above (or, as the last one, by the
    // first lookup when no trailing separator changed its meaning) and is missing as spelled.
    const bool nextKnownMissing = spelled + 1 < parts.size() || !trailing;
    bool resolving = true;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string next = current + parts[i];
        if (resolving && i >= spelled && parts[i] != "." && parts[i] != ".." &&
            ((i == spelled && nextKnownMissing) || !LStat(next, st))) {
            std::string found;
            if (FindNoCase(current.empty() ? "." : current, parts[i], found)) {
                next = current + found;
            } else {
                resolving = false;
            }
        }
        current = next;
        if (i + 1 < parts.size()) {
            current += '/';
        }
    }
    if (trailing && !current.empty() && current.back() != '/') {
        current += '/';
    }
    return current;
}

std::time_t ToTime(const struct timespec& ts) {
    return ts.tv_sec;
}

}  // namespace

std::wstring ResolvePath(const std::wstring& path) {
    return Utf8ToWide(ResolveNative(path));
}

std::wstring LongPath(const std::wstring& path) {
    return ResolvePath(path);
}

std::wstring TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::wstring folder = (dir != nullptr && *dir != '\0') ? Utf8ToWide(dir) : L"/tmp";
    if (folder.empty() || folder.back() != L'/') {
        folder.push_back(L'/');
    }
    return folder;
}

std::wstring ModulePath() {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) {
        return {};
    }
    return Utf8ToWide(std::string(buffer, static_cast<size_t>(n)));
}

bool Exists(const std::wstring& path) {
    struct stat st {};
    return !path.empty() && LStat(ResolveNative(path), st);
}

bool IsFolder(const std::wstring& path) {
    struct stat st {};
    return !path.empty() && ::stat(ResolveNative(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const std::wstring& path) {
    std::string native = ResolveNative(path);
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    if (::mkdir(native.c_str(), 0777) != 0) {
        Fail(native, errno);
        return false;
    }
    return true;
}

bool RemoveFolder(const std::wstring& path) {
    std::string native = ResolveNative(path);
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    struct stat st {};
    if (!LStat(native, st)) {
        Fail(native, errno);
        return false;
    }
    int rc = S_ISLNK(st.st_mode) ? ::unlink(native.c_str()) : ::rmdir(native.c_str());
    if (rc != 0) {
        Fail(native, errno);
        return false;
    }
    return true;
}

bool RemoveFile(const std::wstring& path) {
    std::string native = ResolveNative(path);
    struct stat st {};
    if (!LStat(native, st)) {
        Fail(native, errno);
        return false;
    }
    if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) {
        SetLastError(kErrorAccessDenied);
        return false;
    }
    if (::unlink(native.c_str()) != 0) {
        Fail(native, errno);
        return false;
    }
    return true;
}

bool CopyFileOver(const std::wstring& source, const std::wstring& target) {
    std::string from = ResolveNative(source);
    std::string to = ResolveNative(target);
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        Fail(from, errno);
        return false;
    }
    struct stat srcStat {};
    if (::fstat(in, &srcStat) != 0 || S_ISDIR(srcStat.st_mode)) {
        ::close(in);
        SetLastError(kErrorAccessDenied);
        return false;
    }
    struct stat dstStat {};
    if (LStat(to, dstStat)) {
        if (S_ISDIR(dstStat.st_mode) || IsReadOnlyFile(dstStat)) {
            ::close(in);
            SetLastError(kErrorAccessDenied);
            return false;
        }
        if (dstStat.st_dev == srcStat.st_dev && dstStat.st_ino == srcStat.st_ino) {
            ::close(in);
            SetLastError(kErrorSharingViolation);
            return false;
        }
    }
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (out < 0) {
        Fail(to, errno);
        ::close(in);
        return false;
    }
    if (::flock(out, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(out, 0) != 0) {
        Fail(to, errno);
        ::close(in);
        ::close(out);
        return false;
    }
    bool ok = true;
    int error = 0;
    off_t remaining = srcStat.st_size;
    while (remaining > 0) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(remaining), 0);
        if (n > 0) {
            remaining -= n;
            continue;
        }
        if (n == 0) {
            break;  // the source shrank while we copied
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
            ok = false;
            error = errno;
            break;
        }
        // Fall back to plain reads and writes where the kernel cannot copy between these files.
        char buffer[1 << 16];
        for (;;) {
            ssize_t r = ::read(in, buffer, sizeof buffer);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r <= 0) {
                if (r < 0) {
                    ok = false;
                    error = errno;
                }
                break;
            }
            for (ssize_t done = 0; done < r;) {
                ssize_t w = ::write(out, buffer + done, static_cast<size_t>(r - done));
                if (w < 0 && errno == EINTR) {
                    continue;
                }
                if (w <= 0) {
                    ok = false;
                    error = w < 0 ? errno : ENOSPC;
                    break;
                }
                done += w;
            }
            if (!ok) {
                break;
            }
        }
        remaining = 0;
    }
    if (ok) {
        // Like the Windows copy: the target keeps the source's last-write time and attributes.
        struct timespec times[2] = {srcStat.st_atim, srcStat.st_mtim};
        ::futimens(out, times);
        ::fchmod(out, srcStat.st_mode & 07777);
    }
    if (::close(out) != 0 && ok) {
        ok = false;
        error = errno;
    }
    ::close(in);
    if (!ok) {
        Fail(to, error);
    }
    return ok;
}

bool MoveFileOver(const std::wstring& source, const std::wstring& target) {
    std::string from = ResolveNative(source);
    std::string to = ResolveNative(target);
    struct stat st {};
    if (!LStat(from, st)) {
        Fail(from, errno);
        return false;
    }
    if (LStat(to, st) && (S_ISDIR(st.st_mode) || IsReadOnlyFile(st))) {
        SetLastError(kErrorAccessDenied);
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        Fail(to, errno);
        return false;
    }
    return true;
}

uint32_t GetAttributes(const std::wstring& path) {
    std::string native = ResolveNative(path);
    struct stat st {};
    if (!LStat(native, st)) {
        Fail(native, errno);
        return kInvalidAttributes;
    }
    uint32_t attributes = 0;
    if (S_ISLNK(st.st_mode)) {
        attributes |= kAttrReparsePoint;
        struct stat target {};
        if (::stat(native.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
            attributes |= kAttrDirectory;
        }
    } else if (S_ISDIR(st.st_mode)) {
        attributes |= kAttrDirectory;
    } else if (IsReadOnlyFile(st)) {
        attributes |= kAttrReadOnly;
    }
    size_t cut = native.find_last_of('/');
    std::string name = cut == std::string::npos ? native : native.substr(cut + 1);
    if (name.size() > 1 && name[0] == '.' && name != "..") {
        attributes |= kAttrHidden;
    }
    if (attributes == 0) {
        attributes = kAttrNormal;
    }
    return attributes;
}

bool SetAttributes(const std::wstring& path, uint32_t attributes) {
    std::string native = ResolveNative(path);
    struct stat st {};
    if (!LStat(native, st)) {
        Fail(native, errno);
        return false;
    }
    if (S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode)) {
        return true;  // permissions of links do not exist; read-only folders are not imitated
    }
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & kAttrReadOnly) ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
    if (mode == (st.st_mode & 07777)) {
        return true;  // nothing to change: spares a call per file when a package is unpacked
    }
    if (::chmod(native.c_str(), mode) != 0) {
        Fail(native, errno);
        return false;
    }
    return true;
}

bool SetFileTimes(const std::wstring& path, std::time_t, std::time_t accessed,
                  std::time_t written) {
    std::string native = ResolveNative(path);
    struct timespec times[2] = {};
    times[0].tv_sec = accessed;
    times[1].tv_sec = written;
    if (::utimensat(AT_FDCWD, native.c_str(), times, 0) != 0) {
        Fail(native, errno);
        return false;
    }
    return true;
}

std::time_t GetWriteTime(const std::wstring& path) {
    struct stat st {};
    if (::stat(ResolveNative(path).c_str(), &st) != 0) {
        return -1;
    }
    return ToTime(st.st_mtim);
}

int64_t GetFileSize(const std::wstring& path) {
    struct stat st {};
    if (::stat(ResolveNative(path).c_str(), &st) != 0) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

std::vector<DirEntry> ListFolder(const std::wstring& folder) {
    std::vector<DirEntry> entries;
    std::string native = ResolveNative(folder);
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    DIR* dir = ::opendir(native.c_str());
    if (dir == nullptr) {
        Fail(native, errno);
        return entries;
    }
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        DirEntry item;
        item.name = Utf8ToWide(entry->d_name);
        std::string full = native + "/" + entry->d_name;
        struct stat st {};
        if (LStat(full, st)) {
            if (S_ISLNK(st.st_mode)) {
                item.attributes = kAttrReparsePoint;
                struct stat target {};
                if (::stat(full.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
                    item.attributes |= kAttrDirectory;
                }
            } else if (S_ISDIR(st.st_mode)) {
                item.attributes = kAttrDirectory;
            } else {
                item.attributes = IsReadOnlyFile(st) ? kAttrReadOnly : kAttrArchive;
            }
        }
        if (entry->d_name[0] == '.') {
            item.attributes |= kAttrHidden;
        }
        entries.push_back(std::move(item));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) {
        size_t n = std::min(a.name.size(), b.name.size());
        for (size_t i = 0; i < n; ++i) {
            wint_t x = std::towupper(static_cast<wint_t>(a.name[i]));
            wint_t y = std::towupper(static_cast<wint_t>(b.name[i]));
            if (x != y) {
                return x < y;
            }
        }
        return a.name.size() < b.name.size();
    });
    return entries;
}

std::wstring CreateTempFile(const std::wstring& folder, const std::wstring& prefix) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'/') {
        base.push_back(L'/');
    }
    // Like GetTempFileNameW: at most three characters of the prefix, a hexadecimal number from a
    // running counter that starts at the clock, the extension .tmp.
    std::wstring head = prefix.substr(0, 3);
    auto start = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() /
                                       1000000);
    for (unsigned i = 0; i < 0x10000; ++i) {
        unsigned unique = (start + i) & 0xFFFF;
        if (unique == 0) {
            continue;
        }
        wchar_t hex[8];
        std::swprintf(hex, 8, L"%X", unique);
        std::wstring candidate = base + head + hex + L".tmp";
        std::string native = ResolveNative(candidate);
        int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return Utf8ToWide(native);
        }
        if (errno != EEXIST) {
            Fail(native, errno);
            return {};
        }
    }
    SetLastError(kErrorFileExists);
    return {};
}

// ---- File ----------------------------------------------------------------------------------

File::File(File&& other) noexcept : m_fd(other.m_fd), m_path(std::move(other.m_path)) {
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Abort();
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

bool File::TryOpen(const std::wstring& path, Mode mode) {
    Abort();
    std::string native = ResolveNative(path);
    struct stat st {};
    bool exists = LStat(native, st);
    if (exists && mode != Mode::kRead) {
        struct stat target {};
        if (::stat(native.c_str(), &target) == 0 &&
            (S_ISDIR(target.st_mode) || IsReadOnlyFile(target))) {
            SetLastError(kErrorAccessDenied);
            return false;
        }
    }
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::kRead:
            flags |= O_RDONLY;
            break;
        case Mode::kCreateWrite:
            flags |= O_WRONLY | O_CREAT;
            break;
        case Mode::kReadWriteAlways:
            flags |= O_RDWR | O_CREAT;
            break;
    }
    int fd = ::open(native.c_str(), flags, 0666);
    if (fd < 0) {
        Fail(native, errno);
        return false;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || S_ISDIR(opened.st_mode)) {
        ::close(fd);
        SetLastError(kErrorAccessDenied);
        return false;
    }
    int lock = (mode == Mode::kRead ? LOCK_SH : LOCK_EX) | LOCK_NB;
    if (::flock(fd, lock) != 0) {
        ::close(fd);
        SetLastError(kErrorSharingViolation);
        return false;
    }
    // Only a file with content is cut: ext4 writes back a file cut to zero as soon as it is
    // closed, which would make every new file of a large unpacking a synchronous write.
    if (mode == Mode::kCreateWrite && opened.st_size > 0 && ::ftruncate(fd, 0) != 0) {
        Fail(native, errno);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_path = Utf8ToWide(native);
    return true;
}

bool File::IsOpen() const {
    return m_fd >= 0;
}

size_t File::Read(void* buffer, size_t size) {
    if (m_fd < 0) {
        throw FileException(kErrorInvalidParameter, m_path);
    }
    size_t total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < size) {
        ssize_t n = ::read(m_fd, out + total, size - total);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileException(MapErrno(errno), m_path);
        }
        if (n == 0) {
            break;
        }
        total += static_cast<size_t>(n);
    }
    return total;
}

void File::Write(const void* buffer, size_t size) {
    if (m_fd < 0) {
        throw FileException(kErrorInvalidParameter, m_path);
    }
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(m_fd, in + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileException(MapErrno(errno), m_path);
        }
        if (n == 0) {
            throw FileException(kErrorDiskFull, m_path);
        }
        done += static_cast<size_t>(n);
    }
}

uint64_t File::Seek(int64_t offset, Origin origin) {
    if (m_fd < 0) {
        throw FileException(kErrorInvalidParameter, m_path);
    }
    int whence = origin == Origin::kBegin     ? SEEK_SET
                 : origin == Origin::kCurrent ? SEEK_CUR
                                              : SEEK_END;
    off_t at = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (at < 0) {
        throw FileException(errno == EINVAL ? kErrorInvalidParameter : MapErrno(errno), m_path);
    }
    return static_cast<uint64_t>(at);
}

uint64_t File::Length() {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        throw FileException(m_fd < 0 ? kErrorInvalidParameter : MapErrno(errno), m_path);
    }
    return static_cast<uint64_t>(st.st_size);
}

void File::Close() {
    if (m_fd < 0) {
        return;
    }
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        throw FileException(MapErrno(errno), m_path);
    }
}

void File::Abort() noexcept {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

}  // namespace platform
