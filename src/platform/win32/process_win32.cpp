// Processes on Windows: CreateProcessW for detached starts, the Toolhelp snapshot, OpenProcess
// with full access, TerminateProcess and ShellExecuteW.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include "platform/fs.h"
#include "platform/process.h"

namespace platform {

namespace {

class Win32ProcessHandle : public ProcessHandle {
  public:
    explicit Win32ProcessHandle(HANDLE handle) : m_handle(handle) {}
    ~Win32ProcessHandle() override { ::CloseHandle(m_handle); }
    bool Terminate(uint32_t exitCode) override {
        return ::TerminateProcess(m_handle, exitCode) != 0;
    }

  private:
    HANDLE m_handle;
};

std::wstring ImagePathOf(DWORD pid) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        return {};
    }
    wchar_t buffer[32768];
    DWORD size = static_cast<DWORD>(sizeof buffer / sizeof buffer[0]);
    std::wstring path;
    if (::QueryFullProcessImageNameW(process, 0, buffer, &size)) {
        path.assign(buffer, size);
    }
    ::CloseHandle(process);
    return path;
}

}  // namespace

bool StartDetached(const std::wstring& program, const std::wstring& params) {
    if (program.empty()) {
        return false;
    }
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!params.empty()) {
        commandLine += L" " + params;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info)) {
        SetLastError(::GetLastError());
        return false;
    }
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return true;
}

bool SnapshotProcesses(std::vector<ProcessInfo>& out) {
    out.clear();
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry)) {
        ProcessInfo info;
        info.pid = entry.th32ProcessID;
        info.exeName = entry.szExeFile;
        info.imagePath = ImagePathOf(entry.th32ProcessID);
        out.push_back(std::move(info));
    }
    ::CloseHandle(snapshot);
    return true;
}

std::unique_ptr<ProcessHandle> ProcessHandle::OpenFullAccess(uint32_t pid) {
    HANDLE handle = ::OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    if (handle == nullptr) {
        return nullptr;
    }
    return std::make_unique<Win32ProcessHandle>(handle);
}

bool ShellOpen(const std::wstring& path) {
    HINSTANCE result = ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOW);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void SleepMs(int milliseconds) {
    if (milliseconds > 0) {
        ::Sleep(static_cast<DWORD>(milliseconds));
    }
}

uint32_t CurrentProcessId() {
    return ::GetCurrentProcessId();
}

}  // namespace platform
