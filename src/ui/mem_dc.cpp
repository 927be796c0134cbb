#include "ui/mem_dc.h"

#include <algorithm>

CMemDCBuf::CMemDCBuf(platform::Canvas* pDC, const platform::Rect& rect, const platform::Size* size)
    : m_pDC(pDC), m_rect(rect) {
    const platform::Size s = size ? *size : rect.GetSize();
    m_pBitmap = std::make_unique<platform::Bitmap>(platform::Bitmap::Create(s.cx, s.cy));
    if (m_pBitmap->IsEmpty()) {
        // A window without area (minimised) still paints; into one pixel that is never shown.
        *m_pBitmap = platform::Bitmap::Create(1, 1);
    }
    m_canvas.emplace(*m_pBitmap);
}

CMemDCBuf::~CMemDCBuf() {
    // The memory context lets go of the bitmap before the bitmap is copied, as a bitmap may be
    // selected into one context at a time.
    m_canvas.reset();
    const platform::Size size{std::min(m_rect.Width(), m_pBitmap->Width()),
                              std::min(m_rect.Height(), m_pBitmap->Height())};
    if (size.cx > 0 && size.cy > 0) {
        m_pDC->Copy(m_rect.TopLeft(), size, *m_pBitmap, {0, 0});
    }
}
