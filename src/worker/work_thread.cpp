// The worker classes, their job table and end notification, the progress callback, and the
// published window of the update dialog that every worker message goes to.
#include "worker/work_thread.h"

#include <atomic>
#include <cstdint>

namespace {

// Published by the dialog on the user-interface thread, read by workers: an atomic handle, never
// a pointer into the dialog object. A stale handle is harmless, the window layer refuses it.
std::atomic<platform::WindowHandle> g_dialogWindow{nullptr};

}  // namespace

void SetUpdateDialogWindow(platform::WindowHandle window) {
    g_dialogWindow.store(window);
}

void WithdrawUpdateDialogWindow(platform::WindowHandle window) {
    platform::WindowHandle expected = window;
    g_dialogWindow.compare_exchange_strong(expected, nullptr);
}

platform::WindowHandle UpdateDialogWindow() {
    return g_dialogWindow.load();
}

CWorkThread::~CWorkThread() = default;

void CWorkThread::OnRunEnd() {
    const platform::WindowHandle window = UpdateDialogWindow();
    if (!window || !platform::IsWindowAlive(window))
        return;
    const platform::WParam failed = m_bFailed ? 1 : 0;
    // An unshared copy: the dialog reads it while this thread waits in the send.
    const std::wstring text(m_strStatus.data(), m_strStatus.size());
    platform::SendToWindow(window, WM_UPDATE_STATUS, failed,
                           reinterpret_cast<platform::LParam>(text.c_str()));
}

CInnerThread::CInnerThread(int job) : m_nJob(job) {
    m_jobs[1] = &CInnerThread::RunUpdate;
}

CInnerThread::~CInnerThread() {
    m_jobs.clear();
}

bool CInnerThread::Run(int param) {
    const auto it = m_jobs.find(m_nJob);
    if (it == m_jobs.end())
        return false;
    return (this->*(it->second))(param);
}

void DownloadProgressCallback(int total, int done) {
    const platform::WindowHandle window = UpdateDialogWindow();
    if (!window)
        return;
    platform::PostToWindow(window, WM_UPDATE_PROGRESS,
                           static_cast<platform::WParam>(static_cast<uint32_t>(total)),
                           static_cast<platform::LParam>(done));
}

void StartWorker(int job) {
    // The runtime owns the worker from here and deletes it after OnRunEnd.
    (new CInnerThread(job))->Start(0);
}
