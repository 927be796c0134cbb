// Recursive folder copy and delete over the platform's file layer, on the caller's thread (the
// worker during an installation, the script thread for copy_folder).
//
// The copy writes a folder's own files before its subfolders, so the subfolder names wait in a
// list and the recursion is only as deep as the tree. It never removes anything from the
// destination. The delete removes what it can and never follows a link or crosses a mount.
#include "fileops/copy_folder.h"

#include <cstdint>
#include <string>
#include <vector>

#include "fileops/update_log.h"
#include "platform/fs.h"
#include "platform/fs_links.h"
#include "platform/text.h"

namespace {

// A log text fits a buffer of this many characters, the terminating NUL included; longer texts
// are cut.
constexpr size_t kLogTextChars = 1024;

void Log(const std::wstring& logFolder, std::wstring text) {
    if (text.size() > kLogTextChars - 1) {
        text.resize(kLogTextChars - 1);
        // Never leave half of a UTF-16 surrogate pair at the cut.
        if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) {
            text.pop_back();
        }
    }
    WriteUpdateLog(logFolder, text);
}

// An empty folder text names no folder: joining a name to it must not address the root.
std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    return folder.empty() ? std::wstring() : folder + platform::kPathSep + name;
}

}  // namespace

bool CopyFolder(const std::wstring& logFolder, const std::wstring& source,
                const std::wstring& destination) {
    Log(logFolder, L"copy folder, src folder path \"" + source + L"\", dest folder path \"" +
                       destination + L"\"");
    if (!destination.empty()) {
        platform::CreateFolder(destination);
    }

    std::vector<platform::DirEntry> entries;
    if (!source.empty()) {
        entries = platform::ListFolder(source);
    }

    std::vector<std::wstring> subfolders;
    for (const platform::DirEntry& entry : entries) {
        if (entry.IsFolder()) {
            subfolders.push_back(entry.name);
            continue;
        }
        const std::wstring sourceFile = source + platform::kPathSep + entry.name;
        const std::wstring destinationFile = Join(destination, entry.name);
        Log(logFolder, L"copy file, src file path \"" + sourceFile + L"\", dest file path \"" +
                           destination + platform::kPathSep + entry.name + L"\"");
        bool copied = false;
        uint32_t error = platform::kErrorPathNotFound;
        if (!destinationFile.empty()) {
            // A read-only target could not be replaced; the target may not exist yet.
            platform::SetAttributes(destinationFile, 0);
            copied = platform::CopyFileOver(sourceFile, destinationFile);
            error = platform::LastError();
        }
        if (!copied) {
            Log(logFolder, L"CopyFile error " + platform::ToWString(static_cast<int32_t>(error)));
            return false;
        }
    }

    for (const std::wstring& name : subfolders) {
        if (!CopyFolder(logFolder, source + platform::kPathSep + name, Join(destination, name))) {
            return false;
        }
    }
    return true;
}

void DeleteFolder(const std::wstring& folder) {
    if (folder.empty()) {
        return;
    }
    const uint32_t attributes = platform::GetAttributes(folder);
    if (attributes != platform::kInvalidAttributes &&
        (attributes & platform::kAttrReparsePoint) != 0) {
        // A link (or junction) in place of the folder: only the link goes.
        if (!platform::RemoveFolder(folder)) {
            platform::RemoveFile(folder);
        }
        return;
    }
    if (platform::IsMountPoint(folder)) {
        return;
    }

    for (const platform::DirEntry& entry : platform::ListFolder(folder)) {
        const std::wstring path = folder + platform::kPathSep + entry.name;
        if (entry.IsLink()) {
            // Changing a link's attributes could reach through it; removing it never does.
            if (entry.IsFolder()) {
                platform::RemoveFolder(path);
            } else {
                platform::RemoveFile(path);
            }
            continue;
        }
        if (entry.IsFolder()) {
            if (platform::IsMountPoint(path)) {
                continue;
            }
            platform::SetAttributes(path, platform::kAttrNormal);
            DeleteFolder(path);
        } else {
            platform::SetAttributes(path, platform::kAttrNormal);
            platform::RemoveFile(path);
        }
    }
    platform::RemoveFolder(folder);
}
