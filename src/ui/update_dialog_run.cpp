// The update run's part around the dialog: construct it, run it modally, and before the clean
// run starts, let an installation that is copying over the client's folder finish.
#include "launch/update_run.h"
#include "platform/debug.h"
#include "ui/dlg_update.h"
#include "ui/install_guard.h"

void RunUpdateDialog(const std::wstring& fileName, const std::function<void()>& afterModal) {
    CDlgUpdate dialog;
    platform::DebugOutput(fileName);
    dialog.DoModal();
    // Cancel or closing the window does not stop the worker. Ending the process in the middle of
    // the copy would leave the client's folder half updated, so an installation in progress is
    // waited for; downloads and unpacking are simply abandoned.
    CloseInstallationsAndWait();
    afterModal();
}
