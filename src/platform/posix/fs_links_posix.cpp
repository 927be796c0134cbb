// Mount points by mount id (statx) where the kernel reports it, else by device number: a bind
// mount of a folder of the same file system has its own mount id but the same device.
#include "platform/fs_links.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "platform/fs.h"
#include "platform/text.h"

namespace platform {

namespace {

struct MountIdentity {
    bool valid = false;
    bool hasMountId = false;
    uint64_t mountId = 0;
    uint64_t device = 0;
};

MountIdentity Identify(const std::string& path, int flags) {
    MountIdentity id;
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), flags, STATX_BASIC_STATS | STATX_MNT_ID, &info) != 0) {
        return id;
    }
    id.valid = true;
    id.hasMountId = (info.stx_mask & STATX_MNT_ID) != 0;
    id.mountId = info.stx_mnt_id;
    id.device = (static_cast<uint64_t>(info.stx_dev_major) << 32) | info.stx_dev_minor;
    return id;
}

uint32_t ErrnoToError(int error) {
    switch (error) {
        case EEXIST:
            return kErrorAlreadyExists;
        case ENOENT:
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return kErrorAccessDenied;
        case ENAMETOOLONG:
            return kErrorFilenameTooLong;
        case ENOSPC:
            return kErrorDiskFull;
        default:
            return kErrorInvalidFunction;
    }
}

}  // namespace

bool IsMountPoint(const std::wstring& folder) {
    const std::string path = WideToUtf8(ResolvePath(folder));
    struct stat own {};
    if (path.empty() || lstat(path.c_str(), &own) != 0 || !S_ISDIR(own.st_mode)) {
        return false;
    }
    const MountIdentity self = Identify(path, AT_SYMLINK_NOFOLLOW);
    const MountIdentity parent = Identify(path + "/..", 0);
    if (!self.valid || !parent.valid) {
        return false;
    }
    if (self.hasMountId && parent.hasMountId) {
        return self.mountId != parent.mountId;
    }
    return self.device != parent.device;
}

std::wstring CanonicalPath(const std::wstring& path) {
    char resolved[PATH_MAX];
    if (path.empty() || ::realpath(WideToUtf8(ResolvePath(path)).c_str(), resolved) == nullptr) {
        return path;
    }
    return Utf8ToWide(resolved);
}

bool CreateFolderLink(const std::wstring& link, const std::wstring& target) {
    if (symlink(WideToUtf8(ResolvePath(target)).c_str(), WideToUtf8(link).c_str()) != 0) {
        SetLastError(ErrnoToError(errno));
        return false;
    }
    return true;
}

}  // namespace platform
