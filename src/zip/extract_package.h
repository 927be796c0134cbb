// Unpacking an update package into a folder, with the entries' times and attributes.
#pragma once

#include <string>

// Creates every level of a folder path; never fails (results are ignored).
void CreateFolderPath(const std::wstring& path);

// Unpacks package into destination. False only when the package file does not exist (nothing is
// created then); true when every entry was processed. Archive errors raise CZipException, file
// errors platform::FileException.
bool ExtractPackage(const std::wstring& package, const std::wstring& destination);
