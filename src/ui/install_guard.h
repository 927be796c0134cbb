// The gate between an installation over the client's folder and the end of the update run.
//
// A worker holds an InstallationGuard for as long as it copies the update over the installation
// folder (PerformStep(2)). When the dialog has ended, the update run calls
// CloseInstallationsAndWait before it starts the clean run and the process ends: an installation
// in progress is allowed to finish, so the folder is never left half copied, and none may start
// afterwards (a worker still downloading or unpacking when the user cancelled is abandoned with
// the process). Any thread.
#pragma once

class InstallationGuard {
  public:
    // Enters unless the gate is closed already.
    InstallationGuard();
    ~InstallationGuard();
    InstallationGuard(const InstallationGuard&) = delete;
    InstallationGuard& operator=(const InstallationGuard&) = delete;

    // False when the update run is ending: the installation must not begin.
    bool Entered() const { return m_entered; }

  private:
    bool m_entered;
};

// Closes the gate for new installations and waits until the one in progress, if any, is done.
void CloseInstallationsAndWait();
// True while a guard is held.
bool InstallationInProgress();
// Opens the gate again. For tests that run several update runs in one process.
void ReopenInstallationsForTesting();
