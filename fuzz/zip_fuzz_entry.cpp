#include "zip_fuzz_entry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/fs.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/test_files.h"
#include "zip/extract_package.h"
#include "zip/unzip_file.h"
#include "zip/zip_exception.h"

namespace {

// Uncompressed bytes read per input in the reader pass; a small archive can claim gigabytes.
constexpr size_t kReadBudget = 4 * 1024 * 1024;

[[noreturn]] void Broken(const char* rule) {
    std::fprintf(stderr, "zip fuzz: %s\n", rule);
    std::abort();
}

void RemoveWorkFolder();

// Kept for the whole process (never destroyed), so that the exit handler can still use it.
const std::wstring& WorkFolder() {
    static const std::wstring* const folder = [] {
        auto* path = new std::wstring(platform::TempFolder() + L"tq_zip_fuzz_" +
                                      platform::ToWString(platform::CurrentProcessId()));
        testing_support::RemoveTree(*path);
        platform::CreateFolder(*path);
        std::atexit(RemoveWorkFolder);
        return path;
    }();
    return *folder;
}

void RemoveWorkFolder() {
    testing_support::RemoveTree(WorkFolder());
}

void CheckCause(const CZipException& e) {
    if (e.m_cause < CZipException::kGeneric || e.m_cause > CZipException::kBadCrc) {
        Broken("cause number outside the table");
    }
}

// Walks every entry and reads it whole in chunks of the given size.
void ReadEverything(const std::wstring& archive, uint32_t chunk) {
    try {
        CUnzipFile unzip(archive);
        const auto buffer = std::make_unique_for_overwrite<char[]>(chunk);
        size_t budget = chunk == 1 ? kReadBudget / 16 : kReadBudget;
        do {
            ZipEntryInfo info;
            char name[260];
            unzip.ReadEntryInfo(info, name, sizeof name);
            unzip.OpenEntry();
            uint64_t total = 0;
            uint32_t got = 0;
            do {
                got = unzip.ReadEntry(buffer.get(), chunk);
                if (got > chunk) {
                    Broken("read more than asked");
                }
                total += got;
                budget -= std::min<size_t>(budget, got);
            } while (got == chunk && budget > 0);
            if (total > info.uncompressedSize) {
                Broken("entry longer than its size");
            }
        } while (unzip.NextEntry() && budget > 0);
        unzip.CloseArchive();
    } catch (const CZipException& e) {
        CheckCause(e);
    } catch (const platform::FileException&) {
    }
}

// Only the archive and the folder holding the destination may be in the work folder, and only
// the destination in that folder.
void CheckContained(const std::wstring& work, const std::wstring& out) {
    for (const platform::DirEntry& entry : platform::ListFolder(work)) {
        if (entry.name != L"input.zip" && entry.name != L"out") {
            Broken("extraction wrote beside its folder");
        }
    }
    for (const platform::DirEntry& entry : platform::ListFolder(out)) {
        if (entry.name != L"dest") {
            Broken("extraction wrote outside its folder");
        }
    }
}

}  // namespace

int RunZipFuzzInput(const uint8_t* data, size_t size) {
    const std::wstring& work = WorkFolder();
    const std::wstring archive = work + platform::kPathSep + L"input.zip";
    {
        platform::File file(archive, platform::File::Mode::kCreateWrite);
        file.Write(data, size);
        file.Close();
    }

    static const uint32_t kChunks[] = {65536, 1, 100, 16384};
    ReadEverything(archive, kChunks[size % 4]);

    const std::wstring out = work + platform::kPathSep + L"out";
    platform::CreateFolder(out);
    try {
        ExtractPackage(archive, out + platform::kPathSep + L"dest");
    } catch (const CZipException& e) {
        CheckCause(e);
    } catch (const platform::FileException&) {
    }
    CheckContained(work, out);
    testing_support::RemoveTree(out);
    return 0;
}
