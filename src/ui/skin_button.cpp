#include "ui/skin_button.h"

#include "ui/mem_dc.h"

namespace {

constexpr platform::Color kKey = platform::Rgb(255, 0, 255);

// The plain look, without a strip: fill and outline by cell.
constexpr platform::Color kPlainFill[] = {platform::Rgb(60, 60, 60), platform::Rgb(90, 90, 90),
                                          platform::Rgb(40, 40, 40), platform::Rgb(247, 243, 247)};
constexpr platform::Color kPlainOutline = platform::Rgb(159, 159, 159);
constexpr platform::Color kPlainOutlineDisabled = platform::Rgb(206, 203, 206);

}  // namespace

CSkinButtonEx::CSkinButtonEx()
    : m_font(platform::FontSpec{14, FW_NORMAL, false, false, 136, 2, 0x20, L"宋体"}) {}

CSkinButtonEx::~CSkinButtonEx() {
    Destroy();
}

bool CSkinButtonEx::CreateButton(const std::wstring& caption, const platform::Rect& rect,
                                 platform::Window* parent, int id, unsigned notifyMsg) {
    m_nNotifyMsg = notifyMsg;
    m_bPressed = 0;
    m_bHover = 0;
    platform::WindowSpec desc;
    desc.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    desc.rect = rect;
    desc.parent = parent;
    desc.id = id;
    if (!Create(desc)) {
        return false;
    }
    SetText(caption);
    return true;
}

void CSkinButtonEx::SetText(const std::wstring& text) {
    Window::SetText(text);
    Invalidate();
}

int CSkinButtonEx::CurrentCell() const {
    if (!IsEnabled()) {
        return 3;
    }
    if (m_bHover && m_bPressed) {
        return 2;
    }
    return (m_bHover || m_bPressed) ? 1 : 0;
}

platform::LResult CSkinButtonEx::WindowProc(unsigned message, platform::WParam wParam,
                                            platform::LParam lParam) {
    switch (message) {
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
            OnLButtonDown();
            break;
        case WM_LBUTTONUP:
            OnLButtonUp(platform::UnpackPoint(lParam));
            break;
        case WM_MOUSEMOVE:
            OnMouseMove(platform::UnpackPoint(lParam));
            break;
        case WM_MOUSELEAVE:
            m_bHover = 0;
            Invalidate();
            break;
        default:
            break;
    }
    return Window::WindowProc(message, wParam, lParam);
}

void CSkinButtonEx::OnLButtonDown() {
    if (!IsEnabled()) {
        return;
    }
    SetFocus();
    m_bPressed = 1;
    SetCapture();
    Invalidate();
}

void CSkinButtonEx::OnLButtonUp(platform::Point point) {
    if (!m_bPressed) {
        return;
    }
    ReleaseCapture();
    m_bPressed = 0;
    // Only a release over the control is a click; releasing elsewhere cancels it.
    if (ClientRect().Contains(point) && Parent() != nullptr) {
        Parent()->Post(m_nNotifyMsg, 0, 0);
    }
    Invalidate();
}

void CSkinButtonEx::OnMouseMove(platform::Point point) {
    if (!m_bHover) {
        TrackMouseLeave();
        m_bHover = 1;
        Invalidate();
    }
    // While the mouse is captured, moves arrive from outside the control too.
    if (!ClientRect().Contains(point)) {
        m_bHover = 0;
        Invalidate();
    }
}

void CSkinButtonEx::OnPaint() {
    platform::PaintScope paint(*this);
    const platform::Rect c = ClientRect();
    CMemDCBuf mem(&paint.GetCanvas(), c);
    platform::Canvas& dc = mem.Dc();

    const int cell = CurrentCell();
    const int y = cell * m_nCellHeight;
    const bool skinned = m_pSkin != nullptr && !m_pSkin->IsEmpty();
    if (skinned && m_nLeftEdge == 0 && m_nRightEdge == 0) {
        dc.Copy(c.TopLeft(), c.GetSize(), *m_pSkin, {0, y});
    } else if (skinned) {
        dc.Fill(c, m_crBack);
        dc.StretchKeyed({c.left, c.top, c.left + m_nLeftEdge, c.bottom}, *m_pSkin,
                        {0, y, m_nLeftEdge, y + m_nCellHeight}, kKey);
        dc.Stretch({c.left + m_nLeftEdge, c.top, c.right - m_nRightEdge, c.bottom}, *m_pSkin,
                   {m_nLeftEdge, y, m_nLeftEdge + 1, y + m_nCellHeight});
        dc.StretchKeyed({c.right - m_nRightEdge, c.top, c.right, c.bottom}, *m_pSkin,
                        {m_nCellWidth - m_nRightEdge, y, m_nCellWidth, y + m_nCellHeight}, kKey);
    } else {
        dc.Fill(c, cell == 3 ? kPlainOutlineDisabled : kPlainOutline);
        dc.Fill({c.left + 1, c.top + 1, c.right - 1, c.bottom - 1}, kPlainFill[cell]);
    }

    const std::wstring caption = Text();
    if (!caption.empty()) {
        dc.SetBackgroundMode(platform::BackgroundMode::kTransparent);
        dc.SetTextColor(cell == 3 ? m_crTextDisabled : m_crText);
        const platform::Font* old = dc.SelectFont(&m_font);
        dc.DrawString(caption, c, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        dc.SelectFont(old);
    }
}
