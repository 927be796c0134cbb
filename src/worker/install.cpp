// Installation and restart: the application object's steps that the worker (step 2, install)
// and the dialog (step 3, restart) call. Install ends the running client, copies the extraction
// folder over the installation folder and removes what is no longer wanted; restart starts the
// client through the shell. Neither keeps state.
#include <cstdint>
#include <string>
#include <vector>

#include "fileops/copy_folder.h"
#include "launch/settings.h"
#include "launch/update_app.h"
#include "platform/fs.h"
#include "platform/fs_links.h"
#include "platform/process.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "ui/install_guard.h"

namespace {

// Lets the system release the ended client's files before they are overwritten.
constexpr int kPauseAfterEndingMs = 500;

constexpr const wchar_t* kCopyFailed = L"Failed to copy file";
constexpr const wchar_t* kCopyFailedDestination = L"Failed to copy file, destination: ";
// Never shown: the dialog has gone when an installation is refused for this reason.
constexpr const wchar_t* kRunEnding = L"The update run is ending";

std::wstring ClientPath() {
    return g_des + platform::kPathSep + g_restart_exe;
}

// The running client is the executable the restart starts, so a client of another installation
// with the same file name is left alone. The snapshot names a program the way the system does
// (links followed, long names), so the client's path is compared in that form too. Where the
// platform cannot tell a process's full path, the file name decides; a process that has ended
// already (still listed on Linux until its exit status is collected) is no client to end.
class RunningClient {
  public:
    RunningClient() : m_path(ClientPath()), m_canonical(platform::CanonicalPath(m_path)) {}

    bool Matches(const platform::ProcessInfo& process) const {
        if (process.pid == platform::CurrentProcessId()) {
            return false;
        }
        if (!process.imagePath.empty()) {
            return platform::EqualsFileName(process.imagePath, m_path) ||
                   platform::EqualsFileName(process.imagePath, m_canonical);
        }
        return !g_restart_exe.empty() && platform::EqualsFileName(process.exeName, g_restart_exe) &&
               platform::IsProcessRunning(process.pid);
    }

  private:
    std::wstring m_path;
    std::wstring m_canonical;
};

}  // namespace

std::wstring CUpdateApp::PerformStep(int step) {
    switch (step) {
        case 2: {
            // Held for the whole copy: the update run waits for it before the process ends.
            InstallationGuard installing;
            if (!installing.Entered()) {
                return kRunEnding;
            }
            return InstallUpdate();
        }
        case 3:
            RestartClient();
            return {};
        default:
            return {};
    }
}

std::wstring CUpdateApp::InstallUpdate() {
    std::vector<platform::ProcessInfo> processes;
    if (!platform::SnapshotProcesses(processes)) {
        return kCopyFailed;
    }
    // Without an installation folder the copy, the log and the KData removal would all address
    // the root folder.
    if (g_des.empty()) {
        return kCopyFailedDestination;
    }

    const RunningClient client;
    for (const platform::ProcessInfo& process : processes) {
        if (!client.Matches(process)) {
            continue;
        }
        if (auto handle = platform::ProcessHandle::OpenFullAccess(process.pid)) {
            handle->Terminate(0);
        }
        platform::SleepMs(kPauseAfterEndingMs);
    }

    if (!CopyFolder(g_des, g_src_folder, g_des)) {
        return kCopyFailedDestination + g_des;
    }
    DeleteFolder(g_src_folder);
    DeleteFolder(g_des + platform::kPathSep + L"KData");
    return {};
}

void CUpdateApp::RestartClient() {
    platform::ShellOpen(ClientPath());
}
