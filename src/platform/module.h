// Loading a code module by file name (LoadLibraryW; dlopen from the executable's folder on Linux).
#pragma once

#include <string>

namespace platform {

// Loads the module and keeps it loaded for the life of the process. False when it cannot load.
bool LoadModule(const std::wstring& fileName);

}  // namespace platform
