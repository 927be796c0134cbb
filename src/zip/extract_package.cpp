// Unpacking walks the archive once in central directory order: folder entries become folders,
// file entries are written straight to their final path in chunks and then given the entry's
// times and attributes. Names that would leave the destination are refused before anything is
// written for them. Archive errors and file errors are not caught here: whatever was written
// stays, the reader and the open output file are released on the way out.
#include "zip/extract_package.h"

#include <memory>
#include <string>
#include <string_view>

#include "platform/fs.h"
#include "platform/text.h"
#include "zip/unzip_file.h"
#include "zip/zip_exception.h"

namespace {

constexpr uint32_t kNameBufferSize = 260;
constexpr uint32_t kChunkSize = 204800;

// A component made of dots and blanks only, other than ".", climbs out or is read as "..":
// Windows drops trailing dots and blanks from path components.
bool IsParentStep(std::wstring_view component) {
    if (component.empty() || component == L".") {
        return false;
    }
    return component.find_first_not_of(L". ") == std::wstring_view::npos;
}

// True when the entry name stays inside the folder it is joined to on either target: not rooted,
// no drive, no step up.
bool IsContainedName(std::wstring_view name) {
    if (!name.empty() && platform::IsPathSep(name[0])) {
        return false;
    }
    if (name.size() >= 2 && name[1] == L':') {
        return false;
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !platform::IsPathSep(name[end])) {
            ++end;
        }
        if (IsParentStep(name.substr(start, end - start))) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// Opens the output file, making its folder when the first attempt fails. False when the file
// cannot be created even then; the entry is then skipped.
bool CreateOutputFile(platform::File& file, const std::wstring& path) {
    if (file.TryOpen(path, platform::File::Mode::kCreateWrite)) {
        return true;
    }
    const size_t sep = path.find_last_of(platform::kPathSep);
    if (sep == std::wstring::npos || sep == 0) {
        return false;
    }
    CreateFolderPath(path.substr(0, sep));
    return file.TryOpen(path, platform::File::Mode::kCreateWrite);
}

}  // namespace

void CreateFolderPath(const std::wstring& path) {
    size_t pos = 0;
    for (;;) {
        size_t sep = std::wstring::npos;
        for (size_t k = pos + 1; k < path.size(); ++k) {
            if (platform::IsPathSep(path[k])) {
                sep = k;
                break;
            }
        }
        if (sep == std::wstring::npos) {
            platform::CreateFolder(path);
            return;
        }
        platform::CreateFolder(path.substr(0, sep + 1));
        pos = sep;
    }
}

bool ExtractPackage(const std::wstring& package, const std::wstring& destination) {
    if (!platform::Exists(package)) {
        return false;
    }
    CUnzipFile unzip(package);

    CreateFolderPath(destination);
    // An empty destination means the current folder, never the root.
    std::wstring folder = destination;
    if (!folder.empty() && !platform::IsPathSep(folder.back())) {
        folder += platform::kPathSep;
    }
    for (wchar_t& c : folder) {
        if (c == L'/') {
            c = platform::kPathSep;
        }
    }

    const auto chunk = std::make_unique_for_overwrite<char[]>(kChunkSize);
    char rawName[kNameBufferSize];
    do {
        ZipEntryInfo info;
        unzip.ReadEntryInfo(info, rawName, kNameBufferSize);
        // A name that does not fit the buffer would be cut to another name: refused.
        if (info.nameLength >= kNameBufferSize) {
            ThrowZipError(kZipBadZipFile, unzip.ArchivePath());
        }
        std::wstring name = platform::AnsiToWide(rawName);
        if (!IsContainedName(name)) {
            ThrowZipError(kZipBadZipFile, unzip.ArchivePath());
        }
        for (wchar_t& c : name) {
            if (platform::IsPathSep(c)) {
                c = platform::kPathSep;
            }
        }

        if (!name.empty() && name.back() == platform::kPathSep) {
            name.pop_back();
            CreateFolderPath(folder + name);
            continue;
        }

        const std::wstring outputPath = folder + name;
        platform::File output;
        if (!CreateOutputFile(output, outputPath)) {
            continue;
        }
        unzip.OpenEntry();
        uint32_t got = 0;
        do {
            got = unzip.ReadEntry(chunk.get(), kChunkSize);
            if (got > 0) {
                output.Write(chunk.get(), got);
            }
        } while (got == kChunkSize);
        unzip.ApplyEntryStatus(output, info);
    } while (unzip.NextEntry());

    unzip.CloseArchive();
    return true;
}
