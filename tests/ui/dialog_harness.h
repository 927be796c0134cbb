// The update dialog run modally on a thread of its own, with the worker start and the
// application's steps recorded instead of performed.
#pragma once

#include <future>
#include <thread>
#include <vector>

#include "launch/settings.h"
#include "ui/dlg_update.h"
#include "ui_harness.h"
#include "worker/work_thread.h"

namespace uitest {

class TestDialog : public CDlgUpdate {
  public:
    using CDlgUpdate::m_bCollapsed;
    using CDlgUpdate::m_bmpCollapsed;
    using CDlgUpdate::m_bmpExpanded;
    using CDlgUpdate::m_bmpProgress;
    using CDlgUpdate::m_bmpSysButtons;
    using CDlgUpdate::m_bmpToggle;
    using CDlgUpdate::m_bNotesEnabled;
    using CDlgUpdate::m_btnCancel;
    using CDlgUpdate::m_btnRestart;
    using CDlgUpdate::m_btnRetry;
    using CDlgUpdate::m_btnStart;
    using CDlgUpdate::m_explorer;
    using CDlgUpdate::m_fProgress;
    using CDlgUpdate::m_nHover;
    using CDlgUpdate::m_nState;
    using CDlgUpdate::m_rc;
    using CDlgUpdate::m_strLabel;
    using CDlgUpdate::m_strPercent;
    using CDlgUpdate::m_strStatus;

    bool OnInitDialog() override {
        const bool result = CDlgUpdate::OnInitDialog();
        m_ready->set_value(Handle());
        m_readySet = true;
        return result;
    }
    platform::LResult WindowProc(unsigned message, platform::WParam wParam,
                                 platform::LParam lParam) override {
        if (HandleRunOnUi(message, lParam)) {
            return 0;
        }
        return CDlgUpdate::WindowProc(message, wParam, lParam);
    }

    std::vector<int> m_workerJobs;
    std::vector<int> m_steps;
    std::promise<platform::WindowHandle>* m_ready = nullptr;
    bool m_readySet = false;

  protected:
    void StartUpdateWorker(int job) override { m_workerJobs.push_back(job); }
    std::wstring PerformAppStep(int step) override {
        m_steps.push_back(step);
        return L"";
    }
};

class DialogHarness {
  public:
    DialogHarness() {
        auto ready = m_ready.get_future();
        m_thread = std::thread([this] {
            TestDialog dialog;
            dialog.m_ready = &m_ready;
            m_dialog = &dialog;
            m_result = dialog.DoModal();
            if (!dialog.m_readySet) {
                m_ready.set_value(nullptr);
            }
            m_dialogAfter = g_update_dialog;
            m_windowAfter = UpdateDialogWindow();
        });
        m_handle = ready.get();
        if (m_handle) {
            platform::input::WaitUntilIdle(m_handle);
        }
    }
    ~DialogHarness() {
        if (platform::IsWindowAlive(m_handle)) {
            platform::PostToWindow(m_handle, WM_UPDATE_CANCEL);
        }
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    platform::WindowHandle Handle() const { return m_handle; }
    // Runs f(dialog) on the dialog's thread.
    template <class F>
    auto Ui(F f) {
        TestDialog* d = m_dialog;
        return OnUi(m_handle, [d, &f] { return f(*d); });
    }
    // A client point of the dialog on the screen.
    platform::Point Screen(platform::Point client) {
        return Ui([client](TestDialog& d) { return d.ClientToScreen(client); });
    }
    platform::Point CentreOf(int area) {
        const platform::Rect r = Ui([area](TestDialog& d) { return d.m_rc[area]; });
        return Screen({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    }
    // Waits for DoModal to return and answers its result.
    int WaitForEnd() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_result;
    }
    // What the worker link and g_update_dialog held after the dialog's window was destroyed.
    CDlgUpdate* DialogAfter() const { return m_dialogAfter; }
    platform::WindowHandle WindowAfter() const { return m_windowAfter; }

  private:
    std::promise<platform::WindowHandle> m_ready;
    std::thread m_thread;
    platform::WindowHandle m_handle = nullptr;
    TestDialog* m_dialog = nullptr;
    int m_result = 0;
    CDlgUpdate* m_dialogAfter = nullptr;
    platform::WindowHandle m_windowAfter = nullptr;
};

}  // namespace uitest
