// The worker threads of the update and the messages they send to the update dialog. A worker runs
// on a thread of the runtime's thread base and reaches the dialog only through window messages to
// the window published with SetUpdateDialogWindow.
#pragma once

#include <map>
#include <string>

#include "platform/window.h"
#include "runtime/tqbase.h"

// One private range of window messages (worker to dialog, buttons to dialog).
enum : unsigned {
    WM_UPDATE_STATUS = 1516,    // sent; wParam low word 1 = failed; lParam wide text
    WM_UPDATE_COMPLETE = 1518,  // posted
    WM_UPDATE_FAILED = 1519,    // sent
    WM_UPDATE_PROGRESS = 1525,  // posted; wParam total, lParam done
    WM_UPDATE_START = 1526,
    WM_UPDATE_RESTART = 1527,
    WM_UPDATE_CANCEL = 1528,
    WM_UPDATE_RETRY = 1529,
};

class CWorkThread : public tqThread {
public:
    ~CWorkThread() override;
    // Sends WM_UPDATE_STATUS with the status text and the failed flag to the live dialog.
    void OnRunEnd() override;

protected:
    std::wstring m_strStatus;
    bool m_bFailed = false;
};

class CInnerThread : public CWorkThread {
public:
    explicit CInnerThread(int job);
    ~CInnerThread() override;
    bool Run(int param) override;

    // The update procedure (job 1). Always answers false.
    bool RunUpdate(int param);

private:
    using Handler = bool (CInnerThread::*)(int);
    int m_nJob;
    std::map<int, Handler> m_jobs;
};

// Posts WM_UPDATE_PROGRESS(total, done) to the live dialog; never blocks.
void DownloadProgressCallback(int total, int done);

// The window that workers report to. The update dialog publishes its window when it sets
// g_update_dialog (OnInitDialog) and withdraws it when its window is destroyed (WM_DESTROY);
// workers never read g_update_dialog itself. Any thread may call these. A worker that outlives
// the dialog sends and posts nothing: the handle is cleared, and even a handle read just before
// the window went away is refused by the window layer, which validates it under its own lock.
void SetUpdateDialogWindow(platform::WindowHandle window);
// Clears the published window if it is still window (a newer dialog's window is kept).
void WithdrawUpdateDialogWindow(platform::WindowHandle window);
platform::WindowHandle UpdateDialogWindow();

// Creates a new worker for job (the dialog passes 1) with an empty status text and a clear failed
// flag and starts it; returns without waiting. The runtime deletes the worker after OnRunEnd.
void StartWorker(int job);
