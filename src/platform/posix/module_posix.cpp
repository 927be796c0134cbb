// Loading a module on Linux: dlopen from the executable's folder first (as the Windows loader
// searches the application's folder first), the name matched without regard to case.
#include <dlfcn.h>

#include "platform/fs.h"
#include "platform/module.h"
#include "platform/text.h"

namespace platform {

bool LoadModule(const std::wstring& fileName) {
    std::wstring path = fileName;
    if (fileName.find(L'/') == std::wstring::npos) {
        path = FolderOf(ModulePath()) + fileName;
    }
    std::wstring resolved = ResolvePath(path);
    if (!Exists(resolved)) {
        SetLastError(kErrorFileNotFound);
        return false;
    }
    void* handle = ::dlopen(WideToUtf8(resolved).c_str(), RTLD_NOW | RTLD_GLOBAL);
    return handle != nullptr;  // kept loaded for the life of the process
}

}  // namespace platform
