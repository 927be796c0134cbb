// Helpers of the ZIP tests: a scratch folder removed with everything in it, and the cause number
// an operation ends with.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/fs.h"
#include "platform/process.h"
#include "platform/text.h"
#include "zip/zip_exception.h"

namespace ziptest {

// Removes a file or a folder tree, read-only files included.
inline void RemoveTree(const std::wstring& path) {
    const uint32_t attributes = platform::GetAttributes(path);
    if (attributes == platform::kInvalidAttributes) {
        return;
    }
    if ((attributes & platform::kAttrDirectory) != 0 &&
        (attributes & platform::kAttrReparsePoint) == 0) {
        for (const platform::DirEntry& entry : platform::ListFolder(path)) {
            RemoveTree(path + platform::kPathSep + entry.name);
        }
        platform::RemoveFolder(path);
        return;
    }
    platform::SetAttributes(path, platform::kAttrNormal);
    platform::RemoveFile(path);
}

// A fresh folder in the temporary folder; Path() has no trailing separator.
class ScratchFolder {
  public:
    ScratchFolder() {
        static int counter = 0;
        m_path = platform::TempFolder() + L"tq_zip_test_" +
                 platform::ToWString(platform::CurrentProcessId()) + L"_" +
                 platform::ToWString(++counter);
        RemoveTree(m_path);
        platform::CreateFolder(m_path);
    }
    ~ScratchFolder() { RemoveTree(m_path); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    // path + separator + relative, with '/' in relative turned into the platform's separator.
    std::wstring operator/(const std::wstring& relative) const {
        std::wstring out = m_path + platform::kPathSep;
        for (wchar_t c : relative) {
            out += c == L'/' ? platform::kPathSep : c;
        }
        return out;
    }

  private:
    std::wstring m_path;
};

// The cause number of the CZipException that action throws; 0 when it throws nothing.
inline int32_t CauseOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CZipException& e) {
        return e.m_cause;
    }
    return 0;
}

}  // namespace ziptest
