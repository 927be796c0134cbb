// CMemDCBuf: the off-screen drawing context of every paint of the update window. Drawing goes to
// a bitmap the size of the target area; the destructor copies the whole picture to the target in
// one operation, so nothing flickers. User-interface thread; lives for one WM_PAINT.
#pragma once

#include <memory>
#include <optional>

#include "platform/canvas.h"
#include "platform/geometry.h"

class CMemDCBuf {
  public:
    // pDC: the target context, never null, which must outlive this object. rect: the target area;
    // the bitmap's point (0, 0) lands on its top-left corner. size, when given, sets the bitmap's
    // size instead of the rectangle's.
    CMemDCBuf(platform::Canvas* pDC, const platform::Rect& rect,
              const platform::Size* size = nullptr);
    virtual ~CMemDCBuf();
    CMemDCBuf(const CMemDCBuf&) = delete;
    CMemDCBuf& operator=(const CMemDCBuf&) = delete;

    // The memory context. Callers draw in target coordinates, which is only right because every
    // caller passes the client rectangle, whose top-left corner is (0, 0).
    platform::Canvas& Dc() { return *m_canvas; }
    platform::Canvas* operator->() { return &*m_canvas; }

  private:
    std::unique_ptr<platform::Bitmap> m_pBitmap;
    platform::Canvas* m_pDC;
    platform::Rect m_rect;
    std::optional<platform::Canvas> m_canvas;
};
