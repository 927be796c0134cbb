#include <windows.h>

#include "platform/fs.h"
#include "platform/module.h"

namespace platform {

bool LoadModule(const std::wstring& fileName) {
    HMODULE module = ::LoadLibraryW(fileName.c_str());
    if (module == nullptr) {
        SetLastError(::GetLastError());
        return false;
    }
    return true;  // kept loaded for the life of the process
}

}  // namespace platform
