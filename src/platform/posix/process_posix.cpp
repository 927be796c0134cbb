// Processes on Linux. Programs are started in a session of their own by a double fork, so that
// they outlive the caller and leave no zombie behind; exec failures travel back through a pipe.
// The process snapshot reads /proc; "ending with exit code 0" is SIGKILL, the strongest ending
// Linux has (the exit code cannot be chosen from outside).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <dirent.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

#include "platform/fs.h"
#include "platform/process.h"
#include "platform/text.h"

namespace platform {

namespace {

bool Spawn(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return false;
    }
    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (child == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild < 0) {
            int error = errno;
            (void)!::write(pipeFds[1], &error, sizeof error);
            ::_exit(1);
        }
        if (grandchild > 0) {
            ::_exit(0);
        }
        ::signal(SIGPIPE, SIG_DFL);
        ::execv(program.c_str(), argv.data());
        int error = errno;
        (void)!::write(pipeFds[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    do {
        n = ::read(pipeFds[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    return n == 0;
}

std::string ReadLink(const std::string& path) {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink(path.c_str(), buffer, PATH_MAX);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// The state letter of /proc/<pid>/stat follows the command name in parentheses.
bool IsZombie(const std::string& base) {
    int fd = ::open((base + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[512];
    ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0) {
        return false;
    }
    std::string stat(buffer, static_cast<size_t>(n));
    size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() &&
           (stat[close + 2] == 'Z' || stat[close + 2] == 'X');
}

class PosixProcessHandle : public ProcessHandle {
  public:
    explicit PosixProcessHandle(pid_t pid) : m_pid(pid) {}
    bool Terminate(uint32_t) override { return ::kill(m_pid, SIGKILL) == 0; }

  private:
    pid_t m_pid;
};

}  // namespace

bool StartDetached(const std::wstring& program, const std::wstring& params) {
    if (program.empty()) {
        return false;
    }
    std::string native = WideToUtf8(ResolvePath(program));
    std::vector<std::string> args;
    for (const std::wstring& arg : SplitCommandLine(params)) {
        args.push_back(WideToAnsi(arg));
    }
    return Spawn(native, args);
}

bool SnapshotProcesses(std::vector<ProcessInfo>& out) {
    out.clear();
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return false;
    }
    while (dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || pid <= 0) {
            continue;
        }
        std::string base = std::string("/proc/") + entry->d_name;
        if (IsZombie(base)) {
            continue;  // ended already; the Windows snapshot never lists such processes
        }
        ProcessInfo info;
        info.pid = static_cast<uint32_t>(pid);
        std::string image = ReadLink(base + "/exe");
        const char kDeleted[] = " (deleted)";
        if (image.size() > sizeof kDeleted - 1 &&
            image.compare(image.size() - (sizeof kDeleted - 1), std::string::npos, kDeleted) == 0) {
            image.resize(image.size() - (sizeof kDeleted - 1));
        }
        if (!image.empty()) {
            info.imagePath = Utf8ToWide(image);
            info.exeName = Utf8ToWide(image.substr(image.find_last_of('/') + 1));
        } else {
            int fd = ::open((base + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                char comm[64] = {};
                ssize_t n = ::read(fd, comm, sizeof comm - 1);
                ::close(fd);
                if (n > 0) {
                    std::string name(comm, static_cast<size_t>(n));
                    while (!name.empty() && name.back() == '\n') {
                        name.pop_back();
                    }
                    info.exeName = Utf8ToWide(name);
                }
            }
        }
        out.push_back(std::move(info));
    }
    ::closedir(proc);
    return true;
}

std::unique_ptr<ProcessHandle> ProcessHandle::OpenFullAccess(uint32_t pid) {
    if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX) ||
        ::kill(static_cast<pid_t>(pid), 0) != 0) {
        return nullptr;
    }
    return std::make_unique<PosixProcessHandle>(static_cast<pid_t>(pid));
}

bool ShellOpen(const std::wstring& path) {
    std::string native = WideToUtf8(ResolvePath(path));
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) {
        return false;
    }
    if (S_ISREG(st.st_mode) && ::access(native.c_str(), X_OK) == 0) {
        return Spawn(native, {});
    }
    // Not a program: the desktop's opener decides, as the shell's "open" verb does.
    return Spawn("/usr/bin/xdg-open", {native});
}

void SleepMs(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(::getpid());
}

}  // namespace platform
