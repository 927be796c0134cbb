// Processes: the command-line splitting rules of the Microsoft C runtime (used on every target),
// starting a program detached, the process snapshot, ending a process, the shell's "open" and
// sleeping.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits a parameter string into arguments by the Microsoft C runtime's rules: blanks and tabs
// separate arguments; double quotes group and are removed; 2n backslashes before a quote give n
// backslashes and the quote groups, 2n+1 give n backslashes and a literal quote; "" inside a
// quoted part gives a literal quote; other backslashes are literal.
std::vector<std::wstring> SplitCommandLine(std::wstring_view params);

// Quotes one argument so that SplitCommandLine gives it back unchanged, but only when it holds a
// blank, a tab or a double quote (or is empty when quoteEmpty is set); other arguments are
// returned as they are.
enum class QuoteEmpty { kNo, kYes };
std::wstring QuoteArgument(std::wstring_view arg, QuoteEmpty quoteEmpty = QuoteEmpty::kNo);

// Starts program with the parameter string and returns without waiting. On Linux the string is
// split by the rules above and the program is found case-insensitively. False when it could not
// be started.
bool StartDetached(const std::wstring& program, const std::wstring& params);

struct ProcessInfo {
    uint32_t pid = 0;
    std::wstring exeName;    // executable file name without folder, as the snapshot reports it
    std::wstring imagePath;  // full path of the executable where the platform tells it, else empty
};
// Snapshot of the running processes. False when it cannot be taken.
bool SnapshotProcesses(std::vector<ProcessInfo>& out);

// An open process with full access (OpenProcess with PROCESS_ALL_ACCESS).
class ProcessHandle {
  public:
    static std::unique_ptr<ProcessHandle> OpenFullAccess(uint32_t pid);
    virtual ~ProcessHandle() = default;
    // Ends the process with the exit code (on Linux: SIGKILL, the strongest ending there is).
    virtual bool Terminate(uint32_t exitCode) = 0;
};

// The shell's "open" of a file, shown normally; no parameters, no working folder.
bool ShellOpen(const std::wstring& path);

void SleepMs(int milliseconds);

uint32_t CurrentProcessId();

}  // namespace platform
