// Shared pieces of the Win32 window backend: the GDI objects behind Bitmap, Font and Canvas, and
// the RAII holders of the handles the backend makes. Internal to src/platform/win32/.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "platform/canvas.h"
#include "platform/geometry.h"

namespace platform::win32 {

// Owns a GDI object (bitmap, brush, font) and deletes it.
class GdiObject {
  public:
    GdiObject() = default;
    explicit GdiObject(HGDIOBJ object) : m_object(object) {}
    ~GdiObject() { Reset(); }
    GdiObject(GdiObject&& other) noexcept : m_object(other.Release()) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    HGDIOBJ Get() const { return m_object; }
    HGDIOBJ Release() {
        HGDIOBJ object = m_object;
        m_object = nullptr;
        return object;
    }
    void Reset(HGDIOBJ object = nullptr) {
        if (m_object) {
            ::DeleteObject(m_object);
        }
        m_object = object;
    }

  private:
    HGDIOBJ m_object = nullptr;
};

// A memory device context with one object selected into it for its lifetime.
class MemoryDc {
  public:
    explicit MemoryDc(HDC compatibleWith = nullptr) : m_dc(::CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDc() {
        if (m_dc) {
            if (m_old) {
                ::SelectObject(m_dc, m_old);
            }
            ::DeleteDC(m_dc);
        }
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;

    HDC Get() const { return m_dc; }
    // Selects object; the first selection's predecessor is put back at the end.
    bool Select(HGDIOBJ object) {
        if (!m_dc) {
            return false;
        }
        HGDIOBJ previous = ::SelectObject(m_dc, object);
        if (!previous || previous == HGDI_ERROR) {
            return false;
        }
        if (!m_old) {
            m_old = previous;
        }
        return true;
    }

  private:
    HDC m_dc;
    HGDIOBJ m_old = nullptr;
};

// The screen's device context for as long as the holder lives.
class ScreenDc {
  public:
    ScreenDc() : m_dc(::GetDC(nullptr)) {}
    ~ScreenDc() {
        if (m_dc) {
            ::ReleaseDC(nullptr, m_dc);
        }
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const { return m_dc; }

  private:
    HDC m_dc;
};

inline COLORREF ToColorRef(Color c) {
    return RGB(RedOf(c), GreenOf(c), BlueOf(c));
}

// Bitmap::Impl's view of the pixels of a device context area, as 0x00BBGGRR colours, rows top
// first (GDI read-back through a 32-bit DIB section).
std::vector<Color> ReadPixels(HDC source, int x, int y, int width, int height);

// A Bitmap made from a GDI bitmap that it then owns.
Bitmap WrapBitmap(HBITMAP bitmap, int width, int height);

// A canvas that draws on a device context it does not own (WM_ERASEBKGND's, for example).
Canvas CanvasOnDc(HDC dc, const Rect& area);
HDC DcOf(const Canvas& canvas);

// Called when a window's WM_PAINT began painting (BeginPaint), so the dispatcher leaves its
// validation to EndPaint.
void NotePaintBegun(HWND window);

}  // namespace platform::win32

namespace platform {

struct Bitmap::Impl {
    HBITMAP bitmap = nullptr;
    int width = 0;
    int height = 0;
    // The device context of the canvas that has the bitmap selected, if any; a bitmap can be
    // selected into one context at a time, so copies read from that context then.
    HDC selectedIn = nullptr;
    // Pixels read back once and kept until the next drawing into the bitmap.
    std::vector<Color> cache;
    bool cacheValid = false;

    ~Impl() {
        if (bitmap) {
            ::DeleteObject(bitmap);
        }
    }
};

struct Font::Impl {
    win32::GdiObject font;
};

struct Canvas::Impl {
    HDC dc = nullptr;
    bool ownsDc = false;
    HGDIOBJ oldBitmap = nullptr;
    Bitmap::Impl* target = nullptr;  // when drawing into a bitmap
    HGDIOBJ defaultFont = nullptr;
    const Font* font = nullptr;
    // A window being painted: EndPaint when the canvas ends.
    HWND paintWindow = nullptr;
    PAINTSTRUCT paint{};

    ~Impl();
    void Touched() {
        if (target) {
            target->cacheValid = false;
        }
    }
};

}  // namespace platform
