// Windows marks junctions, symbolic links and mounted-volume folders as reparse points, which
// the folder listing reports; what remains to recognise here is the root of a volume.
#include "platform/fs_links.h"

#include <windows.h>

#include "platform/fs.h"

#ifndef SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
#define SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE 0x2
#endif

namespace platform {

bool IsMountPoint(const std::wstring& folder) {
    if (folder.empty()) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return false;
    }
    wchar_t volume[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(folder.c_str(), volume, MAX_PATH)) {
        return false;
    }
    std::wstring withSep = folder;
    if (withSep.back() != L'\\' && withSep.back() != L'/') {
        withSep += L'\\';
    }
    return lstrcmpiW(volume, withSep.c_str()) == 0;
}

std::wstring CanonicalPath(const std::wstring& path) {
    if (path.empty()) {
        return path;
    }
    // The final path goes through the file itself, so links and junctions are followed.
    HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LongPath(path);
    }
    std::wstring result(32768, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(file, result.data(), static_cast<DWORD>(result.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (length == 0 || length >= result.size()) {
        return LongPath(path);
    }
    result.resize(length);
    // "\\?\C:\..." for a drive path, "\\?\UNC\server\..." for a share.
    if (result.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        return L"\\\\" + result.substr(8);
    }
    if (result.rfind(L"\\\\?\\", 0) == 0) {
        return result.substr(4);
    }
    return result;
}

bool CreateFolderLink(const std::wstring& link, const std::wstring& target) {
    const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), flags)) {
        return true;
    }
    const DWORD error = GetLastError();
    // Windows before 10 refuses the unprivileged flag as an invalid parameter.
    if (error == ERROR_INVALID_PARAMETER &&
        CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
        return true;
    }
    platform::SetLastError(GetLastError());
    return false;
}

}  // namespace platform
