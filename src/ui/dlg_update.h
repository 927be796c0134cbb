// CDlgUpdate: the update window. A borderless, skinned dialog that the user drags by its face,
// with a painted title, a status line, a progress bar, a collapsible pane with the release notes
// and four skinned buttons. It is a state machine of five states, moved by its buttons and by the
// worker's messages; it starts the worker when the user asks for the update and asks the
// application to restart the client at the end.
//
// User-interface thread only. The worker reaches the dialog only through window messages to the
// window published with SetUpdateDialogWindow (worker/work_thread.h); the dialog publishes it in
// OnInitDialog and withdraws it, with g_update_dialog, when its window is destroyed. I/O: reads
// the client's version record (config/qrsvr.ini in g_des) and writes the release-notes page.
#pragma once

#include <array>
#include <string>

#include "platform/canvas.h"
#include "platform/window.h"
#include "ui/explorer.h"
#include "ui/skin_button.h"

class CDlgUpdate : public platform::Dialog {
  public:
    enum State : int {
        STATE_LOADING = 0,
        STATE_READY = 1,
        STATE_DOWNLOADING = 2,
        STATE_COMPLETE = 3,
        STATE_FAILED = 4,
    };
    // Indices of m_rc, in the order of the hit test. Only the first three react to the pointer.
    enum Area : int {
        RC_MINIMIZE = 0,
        RC_CLOSE = 1,
        RC_TOGGLE = 2,
        RC_STATUS = 3,
        RC_LABEL = 4,
        RC_NOTES = 5,
        RC_START = 6,
        RC_RETRY = 7,
        RC_CANCEL = 8,
        RC_PERCENT = 9,
        RC_PROGRESS = 10,
        RC_RESTART = 11,
        RC_COUNT = 12,
    };

    // No parent window. Loads the fonts, bitmaps and icon; a resource that fails to load leaves
    // its member empty.
    CDlgUpdate();
    ~CDlgUpdate() override;

    bool OnInitDialog() override;
    // Enter and Escape of the dialog manager never close this dialog.
    void OnOK() override;
    void OnCancel() override;
    bool PreTranslateMessage(platform::Message& msg) override;
    // Acts on the worker's and the buttons' messages, then hands every message to the message
    // map (OnWndMsg).
    platform::LResult WindowProc(unsigned message, platform::WParam wParam,
                                 platform::LParam lParam) override;

    // A value outside 0..4 does nothing.
    void SetState(int n);
    // Index of the first rectangle of m_rc that holds the point (client coordinates), or -1.
    int HitTestRects(platform::Point point) const;
    void CalcLayout();
    void ShowNotesView(bool show);
    void SetCollapsed(int collapsed);
    // 0 status line, 1 label, 2 percentage; any other index does nothing.
    void SetPanelText(int index, const std::wstring& text);

    // Painting of the face.
    void DrawSkin(platform::Canvas& dc);
    void DrawBitmap(platform::Canvas& dc, const platform::Bitmap* bitmap,
                    const platform::Rect& dest, const platform::Rect& source, bool keyed,
                    platform::Color key);

    // "major.minor.third" of the client's version record, defaults 1.0.0.
    static std::wstring ReadInstalledVersion();

  protected:
    // The operations the dialog starts elsewhere; tests replace them.
    virtual void StartUpdateWorker(int job);
    virtual std::wstring PerformAppStep(int step);

    // Binds the notes view: creates it as control IDC_EXPLORER of this dialog.
    void DoDataExchange();

    platform::IconHandle m_hIcon = nullptr;
    std::array<platform::Rect, RC_COUNT> m_rc{};
    int m_nState = STATE_LOADING;
    float m_fProgress = 0.0f;
    int m_bCollapsed = 1;
    int m_bNotesEnabled = 0;
    int m_nHover = -1;
    std::wstring m_strStatus;
    std::wstring m_strLabel;
    std::wstring m_strPercent;
    platform::Font m_fontText;
    platform::Font m_fontBold;
    CSkinButtonEx m_btnStart;
    CSkinButtonEx m_btnRestart;
    CSkinButtonEx m_btnCancel;
    CSkinButtonEx m_btnRetry;
    platform::Bitmap m_bmpExpanded;
    platform::Bitmap m_bmpCollapsed;
    platform::Bitmap m_bmpProgress;
    platform::Bitmap m_bmpButton;
    platform::Bitmap m_bmpSysButtons[2];
    platform::Bitmap m_bmpToggle;
    CExplorer1 m_explorer;

  private:
    // The message map.
    platform::LResult OnWndMsg(unsigned message, platform::WParam wParam, platform::LParam lParam);
    int OnCreate(platform::WParam wParam, platform::LParam lParam);
    void OnPaint();
    void OnSize(platform::WParam kind);
    void OnProgress(platform::WParam total, platform::LParam done);
    void OnUpdateStatus(platform::WParam wParam, platform::LParam lParam);
    void OnDestroy();
    void DrawProgressBar(platform::Canvas& dc);
    void AnswerForTheUser();
};
