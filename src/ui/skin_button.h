// CSkinButtonEx: the push button of the update window. A plain child window that paints itself
// from a strip of four cells (normal, highlighted, pressed, disabled), keeping the cell's two end
// caps unscaled and stretching the column between them to any width, draws its caption centred,
// and reports a click by posting a message of the owner's choice to its parent (no WM_COMMAND).
// User-interface thread only.
#pragma once

#include <string>

#include "platform/canvas.h"
#include "platform/window.h"

class CSkinButtonEx : public platform::Window {
  public:
    CSkinButtonEx();
    ~CSkinButtonEx() override;

    // Creates the child window (visible, clipping siblings and children) and sets the caption.
    // False when the window cannot be created; the caption is then not set.
    bool CreateButton(const std::wstring& caption, const platform::Rect& rect,
                      platform::Window* parent, int id, unsigned notifyMsg);
    // Sets the caption and repaints the whole control.
    void SetText(const std::wstring& text);

    platform::LResult WindowProc(unsigned message, platform::WParam wParam,
                                 platform::LParam lParam) override;

    // Which cell of the strip the button shows now: 0 normal, 1 highlighted or pressed (not
    // both), 2 highlighted and pressed, 3 disabled.
    int CurrentCell() const;

    // Set by the owner right after creation; the button never changes them. The strip is not
    // owned and must outlive the button.
    const platform::Bitmap* m_pSkin = nullptr;
    int m_nCellWidth = 0;
    int m_nCellHeight = 0;
    int m_nLeftEdge = 0;
    int m_nRightEdge = 0;
    int m_bPressed = 0;
    unsigned m_nNotifyMsg = 0;
    int m_bHover = 0;
    platform::Font m_font;
    platform::Color m_crBack = platform::Rgb(82, 81, 82);
    platform::Color m_crText = platform::Rgb(214, 214, 214);
    platform::Color m_crTextDisabled = platform::Rgb(206, 203, 206);

  private:
    void OnPaint();
    void OnLButtonDown();
    void OnLButtonUp(platform::Point point);
    void OnMouseMove(platform::Point point);
};
