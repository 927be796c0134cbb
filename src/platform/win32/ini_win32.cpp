// INI reading through the system's own profile functions.
#include "platform/ini.h"

#include <windows.h>

namespace platform {

int ReadProfileInt(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                   int defaultValue) {
    // The result is a UINT holding the signed value; negative values come back as they were.
    return static_cast<int>(
        GetPrivateProfileIntW(section.c_str(), key.c_str(), defaultValue, path.c_str()));
}

}  // namespace platform
