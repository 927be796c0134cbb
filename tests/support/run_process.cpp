#include "support/run_process.h"

#include "platform/fs.h"
#include "platform/process.h"
#include "platform/text.h"

#if defined(_WIN32)
#include <windows.h>
#include <cstdlib>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;
#endif

namespace testing_support {

void SetEnv(const std::string& name, const std::wstring& value) {
#if defined(_WIN32)
    ::SetEnvironmentVariableW(platform::Utf8ToWide(name).c_str(), value.c_str());
    std::wstring assignment = platform::Utf8ToWide(name) + L"=" + value;
    _wputenv(assignment.c_str());
#else
    ::setenv(name.c_str(), platform::WideToUtf8(value).c_str(), 1);
#endif
}

int RunProcess(const std::wstring& program, const std::vector<std::wstring>& args, int timeoutMs) {
#if defined(_WIN32)
    std::wstring commandLine = L"\"" + program + L"\"";
    for (const std::wstring& arg : args) {
        commandLine += L" " + platform::QuoteArgument(arg, platform::QuoteEmpty::kYes);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring folder = platform::FolderOf(program);
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &info)) {
        return -1;
    }
    ::CloseHandle(info.hThread);
    int code = kTimedOut;
    if (::WaitForSingleObject(info.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        ::GetExitCodeProcess(info.hProcess, &exitCode);
        code = static_cast<int>(exitCode);
    } else {
        ::TerminateProcess(info.hProcess, 1);
    }
    ::CloseHandle(info.hProcess);
    return code;
#else
    std::string path = platform::WideToUtf8(platform::ResolvePath(program));
    std::vector<std::string> narrow{path};
    for (const std::wstring& arg : args) {
        narrow.push_back(platform::WideToUtf8(arg));
    }
    std::vector<char*> argv;
    for (std::string& s : narrow) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    // Started in its own folder, as the client starts the updater.
    std::string folder = path.substr(0, path.find_last_of('/') + 1);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (done < 0 && errno != EINTR) {
            return -1;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return kTimedOut;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
#endif
}

}  // namespace testing_support
