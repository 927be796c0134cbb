// Process state: the process object is signalled once the process has ended.
#include "platform/process_state.h"

#include <windows.h>

namespace platform {

bool IsProcessRunning(uint32_t pid) {
    if (pid == 0) {
        return false;
    }
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

}  // namespace platform
