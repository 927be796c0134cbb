// The release-notes page: updateInfo.html, written once per folder from the version and the
// comment of the update, shown by the update dialog's notes view. Main thread; file I/O only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// The file name of the page inside the updater's folder.
inline constexpr const wchar_t* kNotesPageName = L"updateInfo.html";
// Shown when the update brings no comment of its own.
inline constexpr const wchar_t* kDefaultComment = L"平台功能优化";

// The page text for a version and a comment; both are laid in as they are, markup included.
std::wstring BuildNotesPage(std::wstring_view version, std::wstring_view comment);

// Writes the page to path as UTF-8 without a byte-order mark, creating or truncating the file.
// A file that cannot be opened or written is left alone and nothing is reported.
void WriteNotesPage(const std::wstring& path, const std::wstring& version,
                    const std::wstring& comment);

// Converts text to UTF-8. Answers the byte count (without the NUL) and hands out a buffer of that
// many bytes plus a terminating NUL.
size_t ToUtf8(std::wstring_view text, std::unique_ptr<char[]>& out);
