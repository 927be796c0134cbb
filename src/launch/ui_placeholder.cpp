// Stand-in until the dialog lands in src/ui/: the update run writes its file name to the debug
// output and goes straight on to the clean run. Delete this file when src/ui provides
// RunUpdateDialog.
#include "launch/update_app.h"
#include "launch/update_run.h"
#include "platform/debug.h"

void RunUpdateDialog(const std::wstring& fileName, const std::function<void()>& afterModal) {
    platform::DebugOutput(fileName);
    afterModal();
}
