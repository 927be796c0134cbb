// Process state from /proc/<pid>/stat: the state letter follows the parenthesised command name,
// which may itself hold parentheses, so it is found after the last ')'.
#include "platform/process_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace platform {

bool IsProcessRunning(uint32_t pid) {
    if (pid == 0) {
        return false;
    }
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[512];
    const ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (got <= 0) {
        return false;
    }
    const std::string stat(buffer, static_cast<size_t>(got));
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) {
        return false;
    }
    const char state = stat[close + 2];
    return state != 'Z' && state != 'X' && state != 'x';
}

}  // namespace platform
