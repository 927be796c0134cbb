// Recursive folder copy with one update-log line per folder and file, and recursive delete.
#pragma once

#include <string>

// Copies source over destination (files of a folder before its subfolders), logging into
// logFolder's Update2.log. True when every file was copied; false at the first failed copy,
// after logging "CopyFile error %d".
bool CopyFolder(const std::wstring& logFolder, const std::wstring& source,
                const std::wstring& destination);

// Removes folder with everything in it as far as the file system allows; never follows a link.
void DeleteFolder(const std::wstring& folder);
