// Worker objects on the runtime's thread base and the messages they send to the update dialog.
// The dialog's window is reached only through the handle published with SetUpdateDialogWindow;
// the window layer validates a handle under its own lock, so a dialog that has gone away receives
// nothing and nothing freed is touched.
#include "worker/work_thread.h"

#include <mutex>

namespace {

std::mutex g_dialogLock;
platform::WindowHandle g_dialogWindow = nullptr;

}  // namespace

void SetUpdateDialogWindow(platform::WindowHandle window) {
    std::lock_guard<std::mutex> guard(g_dialogLock);
    g_dialogWindow = window;
}

void WithdrawUpdateDialogWindow(platform::WindowHandle window) {
    std::lock_guard<std::mutex> guard(g_dialogLock);
    if (g_dialogWindow == window) {
        g_dialogWindow = nullptr;
    }
}

platform::WindowHandle UpdateDialogWindow() {
    std::lock_guard<std::mutex> guard(g_dialogLock);
    return g_dialogWindow;
}

CWorkThread::~CWorkThread() = default;

void CWorkThread::OnRunEnd() {
    platform::WindowHandle window = UpdateDialogWindow();
    if (window == nullptr || !platform::IsWindowAlive(window)) {
        return;
    }
    const platform::WParam failed = m_bFailed ? 1 : 0;
    // An unshared copy that stays valid until the send has returned.
    const std::wstring text = m_strStatus;
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
    auto it = m_jobs.find(m_nJob);
    if (it == m_jobs.end()) {
        return false;
    }
    return (this->*(it->second))(param);
}

void DownloadProgressCallback(int total, int done) {
    platform::WindowHandle window = UpdateDialogWindow();
    if (window != nullptr) {
        platform::PostToWindow(window, WM_UPDATE_PROGRESS,
                               static_cast<platform::WParam>(static_cast<uint32_t>(total)),
                               static_cast<platform::LParam>(done));
    }
}

void StartWorker(int job) {
    (new CInnerThread(job))->Start(0);
}
