// Reading integer keys of INI files, as the client's version record is read. Any thread; reads
// the file on every call and keeps nothing.
#pragma once

#include <string>

namespace platform {

// The integer value of key in section of the INI file at path, read the way GetPrivateProfileIntW
// reads it: section and key names match without regard to case, the value is trimmed and may be
// quoted, leading blanks, a sign and a 0x / 0o / 0b prefix are honoured and the digits up to the
// first other character are taken, wrapping as a 32-bit number. A missing file, section or key,
// or an empty value, gives defaultValue.
int ReadProfileInt(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                   int defaultValue);

}  // namespace platform
