// Whether a process is still running. Any thread; reads /proc on Linux, asks the process object
// on Windows.
#pragma once

#include <cstdint>

namespace platform {

// False once the process has ended, also while nobody has collected its exit status yet (a
// zombie on Linux, which the process snapshot still lists). A process this user may not query
// counts as running.
bool IsProcessRunning(uint32_t pid);

}  // namespace platform
