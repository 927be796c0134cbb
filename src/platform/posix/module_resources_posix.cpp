// Linux executables have no resource section: the program's bitmaps and texts are compiled in.
#include "platform/module_resources.h"

namespace platform {

bool HasModuleResources() {
    return false;
}

std::optional<std::string> ModuleResource(int, int) {
    return std::nullopt;
}

std::optional<std::wstring> ModuleString(int) {
    return std::nullopt;
}

}  // namespace platform
