// Recursive folder copy and delete over the platform's file layer, on the caller's thread (the
// worker during an installation, the script thread for copy_folder).
//
// The copy writes a folder's own files before its subfolders, so the subfolder names wait in a
// list and the recursion is only as deep as the tree. It never removes anything from the
// destination. The delete removes what it can and never follows a link or crosses a mount.
#include "fileops/copy_folder.h"

#include <cstdint>
#include <string>
#include <unordered_map>
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

// The files already in a destination folder, by name without regard to ASCII case, as spelled
// there. Handing the platform the spelling that exists spares it a case-insensitive search of the
// folder for every file, and a file that does not exist needs no attributes cleared. Names with
// other letters are not looked up: for them the platform decides, as without this index.
class ExistingFiles {
  public:
    explicit ExistingFiles(const std::wstring& folder) {
        if (folder.empty()) {
            return;
        }
        for (platform::DirEntry& entry : platform::ListFolder(folder)) {
            if (!entry.IsFolder() && IsAscii(entry.name)) {
                const std::wstring key = Key(entry.name);
                m_names.emplace(key, std::move(entry.name));
            }
        }
    }

    // The existing spelling of name, or null when no such file exists.
    const std::wstring* Find(const std::wstring& name) const {
        const auto found = m_names.find(Key(name));
        return found == m_names.end() ? nullptr : &found->second;
    }

    // Only ASCII names are answered for: any other may exist under a spelling the index misses.
    static bool IsAscii(const std::wstring& name) {
        for (wchar_t c : name) {
            if (static_cast<uint32_t>(c) > 0x7F) {
                return false;
            }
        }
        return true;
    }

  private:
    static std::wstring Key(std::wstring name) {
        for (wchar_t& c : name) {
            if (c >= L'a' && c <= L'z') {
                c = static_cast<wchar_t>(c - L'a' + L'A');
            }
        }
        return name;
    }

    std::unordered_map<std::wstring, std::wstring> m_names;
};

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

    const ExistingFiles existing(entries.empty() ? std::wstring() : destination);
    std::vector<std::wstring> subfolders;
    for (const platform::DirEntry& entry : entries) {
        if (entry.IsFolder()) {
            subfolders.push_back(entry.name);
            continue;
        }
        const std::wstring sourceFile = source + platform::kPathSep + entry.name;
        Log(logFolder, L"copy file, src file path \"" + sourceFile + L"\", dest file path \"" +
                           destination + platform::kPathSep + entry.name + L"\"");
        bool copied = false;
        uint32_t error = platform::kErrorPathNotFound;
        if (!destination.empty()) {
            const std::wstring* spelling = existing.Find(entry.name);
            const bool mayExist = spelling != nullptr || !ExistingFiles::IsAscii(entry.name);
            const std::wstring destinationFile =
                Join(destination, spelling != nullptr ? *spelling : entry.name);
            if (mayExist) {
                // A read-only target could not be replaced.
                platform::SetAttributes(destinationFile, 0);
            }
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
