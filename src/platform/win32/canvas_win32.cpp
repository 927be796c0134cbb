// The canvas on GDI: bitmaps are bitmaps compatible with the screen, a canvas over a bitmap is a
// memory device context with the bitmap selected, a window's canvas is BeginPaint's context.
// Fonts are CreateFontW's, text is DrawTextW's, fills and frames FillRect / FrameRect with solid
// brushes, opaque copies BitBlt / StretchBlt and colour-keyed copies TransparentBlt.
//
// Where GDI alone would differ from the layer's copy semantics (canvas.h), the layer's win:
//  - StretchBlt's own sampling varies between systems (rounding to the nearest centre, dropping
//    other columns when shrinking); scaled copies are therefore made of runs of whole source
//    columns and rows, each stretched with StretchBlt from a one-pixel-wide (or -high) strip,
//    which every implementation copies the same way. Colour-keyed scaled copies are scaled that
//    way first and keyed with TransparentBlt unscaled.
//  - A source area that reaches outside the source bitmap reads as black; GDI would leave those
//    destination pixels alone.
#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>

#include "platform/canvas.h"
#include "platform/win32/gdi_internal.h"

namespace platform {

namespace {

constexpr int kMaxSide = 16384;

using win32::GdiObject;
using win32::MemoryDc;
using win32::ScreenDc;
using win32::ToColorRef;

HBITMAP CreateScreenBitmap(int width, int height) {
    ScreenDc screen;
    return ::CreateCompatibleBitmap(screen.Get(), width, height);
}

// A source area of a bitmap as a device context and the area's top-left corner in it. Areas that
// reach outside the bitmap are copied into a black bitmap of the area's size first.
class SourceArea {
  public:
    SourceArea(const Bitmap::Impl& bitmap, const Rect& area) {
        HDC dc = bitmap.selectedIn;
        if (!dc) {
            m_own.emplace();
            if (!m_own->Select(bitmap.bitmap)) {
                return;
            }
            dc = m_own->Get();
        }
        const Rect bounds{0, 0, bitmap.width, bitmap.height};
        if (area.left >= 0 && area.top >= 0 && area.right <= bitmap.width &&
            area.bottom <= bitmap.height) {
            m_dc = dc;
            m_origin = area.TopLeft();
            return;
        }
        m_padded.Reset(CreateScreenBitmap(area.Width(), area.Height()));
        m_paddedDc.emplace();
        if (!m_padded.Get() || !m_paddedDc->Select(m_padded.Get())) {
            return;
        }
        const RECT all{0, 0, area.Width(), area.Height()};
        ::FillRect(m_paddedDc->Get(), &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        const Rect inside = area.Intersect(bounds);
        if (!inside.IsEmpty()) {
            ::BitBlt(m_paddedDc->Get(), inside.left - area.left, inside.top - area.top,
                     inside.Width(), inside.Height(), dc, inside.left, inside.top, SRCCOPY);
        }
        m_dc = m_paddedDc->Get();
        m_origin = {0, 0};
    }

    HDC Dc() const { return m_dc; }
    Point Origin() const { return m_origin; }

  private:
    std::optional<MemoryDc> m_own;
    GdiObject m_padded;
    std::optional<MemoryDc> m_paddedDc;
    HDC m_dc = nullptr;
    Point m_origin;
};

// Column i of a copy w pixels wide takes source column i * sw / w: runs of equal source columns
// are stretched from one-pixel strips, so the result does not depend on StretchBlt's rounding.
void StretchColumns(HDC dest, int dx, int dy, int dw, int h, HDC src, int sx, int sy, int sw) {
    int i = 0;
    while (i < dw) {
        const int column = static_cast<int>(static_cast<long long>(i) * sw / dw);
        int end = i + 1;
        while (end < dw && static_cast<int>(static_cast<long long>(end) * sw / dw) == column) {
            ++end;
        }
        ::StretchBlt(dest, dx + i, dy, end - i, h, src, sx + column, sy, 1, h, SRCCOPY);
        i = end;
    }
}

void StretchRows(HDC dest, int dx, int dy, int w, int dh, HDC src, int sx, int sy, int sh) {
    int j = 0;
    while (j < dh) {
        const int row = static_cast<int>(static_cast<long long>(j) * sh / dh);
        int end = j + 1;
        while (end < dh && static_cast<int>(static_cast<long long>(end) * sh / dh) == row) {
            ++end;
        }
        ::StretchBlt(dest, dx, dy + j, w, end - j, src, sx, sy + row, w, 1, SRCCOPY);
        j = end;
    }
}

// Opaque nearest-neighbour copy of (src, sx, sy, sw, sh) onto dest's rectangle d.
void ExactStretch(HDC dest, const Rect& d, HDC src, int sx, int sy, int sw, int sh) {
    ::SetStretchBltMode(dest, COLORONCOLOR);
    const int dw = d.Width(), dh = d.Height();
    if (sw == dw && sh == dh) {
        ::StretchBlt(dest, d.left, d.top, dw, dh, src, sx, sy, sw, sh, SRCCOPY);
        return;
    }
    if (sh == dh) {
        StretchColumns(dest, d.left, d.top, dw, dh, src, sx, sy, sw);
        return;
    }
    if (sw == dw) {
        StretchRows(dest, d.left, d.top, dw, dh, src, sx, sy, sh);
        return;
    }
    // Columns first into a bitmap of the destination's width and the source's height.
    GdiObject wide(CreateScreenBitmap(dw, sh));
    MemoryDc wideDc(dest);
    if (!wide.Get() || !wideDc.Select(wide.Get())) {
        return;
    }
    ::SetStretchBltMode(wideDc.Get(), COLORONCOLOR);
    StretchColumns(wideDc.Get(), 0, 0, dw, sh, src, sx, sy, sw);
    StretchRows(dest, d.left, d.top, dw, dh, wideDc.Get(), 0, 0, sh);
}

struct ResourceData {
    const uint8_t* data;
    size_t size;
};
std::mutex& ResourceMutex() {
    static std::mutex m;
    return m;
}
std::map<int, ResourceData>& Resources() {
    static auto* resources = new std::map<int, ResourceData>();
    return *resources;
}

void EnsurePixels(Bitmap::Impl& impl) {
    if (impl.cacheValid) {
        return;
    }
    if (impl.selectedIn) {
        impl.cache = win32::ReadPixels(impl.selectedIn, 0, 0, impl.width, impl.height);
    } else {
        MemoryDc dc;
        if (!dc.Select(impl.bitmap)) {
            impl.cache.assign(static_cast<size_t>(impl.width) * impl.height, Rgb(0, 0, 0));
            impl.cacheValid = true;
            return;
        }
        impl.cache = win32::ReadPixels(dc.Get(), 0, 0, impl.width, impl.height);
    }
    impl.cacheValid = true;
}

}  // namespace

namespace win32 {

std::vector<Color> ReadPixels(HDC source, int x, int y, int width, int height) {
    std::vector<Color> out;
    if (width <= 0 || height <= 0) {
        return out;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObject section(::CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    MemoryDc dc(source);
    if (!section.Get() || !bits || !dc.Select(section.Get())) {
        return out;
    }
    ::BitBlt(dc.Get(), 0, 0, width, height, source, x, y, SRCCOPY);
    ::GdiFlush();
    const auto* words = static_cast<const uint32_t*>(bits);
    out.reserve(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        const uint32_t p = words[i];
        out.push_back(Rgb(static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                          static_cast<uint8_t>(p)));
    }
    return out;
}

Canvas CanvasOnDc(HDC dc, const Rect&) {
    auto impl = std::make_unique<Canvas::Impl>();
    impl->dc = dc;
    impl->defaultFont = dc ? ::GetCurrentObject(dc, OBJ_FONT) : nullptr;
    return Canvas(std::move(impl));
}

HDC DcOf(const Canvas& canvas) {
    return canvas.GetImpl() ? canvas.GetImpl()->dc : nullptr;
}

}  // namespace win32

// ---- bitmaps ----------------------------------------------------------------------------------

Bitmap::Bitmap() = default;
Bitmap::~Bitmap() = default;
Bitmap::Bitmap(Bitmap&& other) noexcept = default;
Bitmap& Bitmap::operator=(Bitmap&& other) noexcept = default;
Bitmap::Bitmap(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

Bitmap Bitmap::Create(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        return Bitmap();
    }
    HBITMAP bitmap = CreateScreenBitmap(width, height);
    if (!bitmap) {
        return Bitmap();
    }
    auto impl = std::make_unique<Impl>();
    impl->bitmap = bitmap;
    impl->width = width;
    impl->height = height;
    return Bitmap(std::move(impl));
}

Bitmap Bitmap::FromPixels(int width, int height, const std::vector<Color>& pixels) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        pixels.size() != static_cast<size_t>(width) * height) {
        return Bitmap();
    }
    Bitmap result = Create(width, height);
    if (result.IsEmpty()) {
        return result;
    }
    std::vector<uint32_t> words;
    words.reserve(pixels.size());
    for (Color c : pixels) {
        words.push_back((static_cast<uint32_t>(RedOf(c)) << 16) |
                        (static_cast<uint32_t>(GreenOf(c)) << 8) | BlueOf(c));
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    ScreenDc screen;
    if (::SetDIBits(screen.Get(), result.m_impl->bitmap, 0, static_cast<UINT>(height), words.data(),
                    &info, DIB_RGB_COLORS) == 0) {
        return Bitmap();
    }
    result.m_impl->cache = pixels;
    result.m_impl->cacheValid = true;
    return result;
}

void RegisterBitmapResource(int id, const uint8_t* data, size_t size) {
    std::lock_guard lock(ResourceMutex());
    Resources()[id] = {data, size};
}

Bitmap Bitmap::FromResource(int id) {
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    if (::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2) /* RT_BITMAP */)) {
        auto bitmap = static_cast<HBITMAP>(
            ::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
        BITMAP info{};
        if (bitmap && ::GetObjectW(bitmap, sizeof info, &info) == sizeof info) {
            auto impl = std::make_unique<Impl>();
            impl->bitmap = bitmap;
            impl->width = info.bmWidth;
            impl->height = info.bmHeight;
            return Bitmap(std::move(impl));
        }
        if (bitmap) {
            ::DeleteObject(bitmap);
        }
        return Bitmap();
    }
    ResourceData found{};
    {
        std::lock_guard lock(ResourceMutex());
        auto it = Resources().find(id);
        if (it == Resources().end()) {
            return Bitmap();
        }
        found = it->second;
    }
    return FromBmpData(found.data, found.size);
}

bool Bitmap::IsEmpty() const {
    return !m_impl || !m_impl->bitmap;
}

Size Bitmap::GetSize() const {
    return IsEmpty() ? Size{} : Size{m_impl->width, m_impl->height};
}

Color Bitmap::Pixel(int x, int y) const {
    if (IsEmpty() || x < 0 || y < 0 || x >= m_impl->width || y >= m_impl->height) {
        return Rgb(0, 0, 0);
    }
    EnsurePixels(*m_impl);
    return m_impl->cache[static_cast<size_t>(y) * m_impl->width + x];
}

std::vector<Color> Bitmap::Pixels() const {
    if (IsEmpty()) {
        return {};
    }
    EnsurePixels(*m_impl);
    return m_impl->cache;
}

IconHandle LoadIconResource(int id) {
    // Icons loaded from resources are shared and live as long as the process.
    return ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
}

// ---- fonts ------------------------------------------------------------------------------------

Font::Font() = default;

Font::Font(const FontSpec& desc) : m_spec(desc), m_impl(std::make_unique<Impl>()) {
    m_impl->font.Reset(::CreateFontW(desc.height, 0, 0, 0, desc.weight, desc.italic ? TRUE : FALSE,
                                     desc.underline ? TRUE : FALSE, FALSE,
                                     static_cast<DWORD>(desc.charset), OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, static_cast<DWORD>(desc.quality),
                                     static_cast<DWORD>(desc.pitchAndFamily), desc.face.c_str()));
    if (!m_impl->font.Get()) {
        m_impl.reset();
    }
}

Font::~Font() = default;
Font::Font(Font&& other) noexcept = default;
Font& Font::operator=(Font&& other) noexcept = default;

bool Font::IsEmpty() const {
    return !m_impl || !m_impl->font.Get();
}

// ---- canvas -----------------------------------------------------------------------------------

Canvas::Impl::~Impl() {
    if (dc && defaultFont) {
        ::SelectObject(dc, defaultFont);
    }
    if (paintWindow) {
        ::EndPaint(paintWindow, &paint);
    }
    if (ownsDc && dc) {
        if (oldBitmap) {
            ::SelectObject(dc, oldBitmap);
        }
        if (target) {
            target->selectedIn = nullptr;
        }
        ::DeleteDC(dc);
    }
}

Canvas::Canvas(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

Canvas::Canvas(Bitmap& target) : m_impl(std::make_unique<Impl>()) {
    Bitmap::Impl* b = target.GetImpl();
    if (!b || !b->bitmap || b->selectedIn) {
        return;
    }
    HDC dc = ::CreateCompatibleDC(nullptr);
    if (!dc) {
        return;
    }
    HGDIOBJ old = ::SelectObject(dc, b->bitmap);
    if (!old || old == HGDI_ERROR) {
        ::DeleteDC(dc);
        return;
    }
    m_impl->dc = dc;
    m_impl->ownsDc = true;
    m_impl->oldBitmap = old;
    m_impl->target = b;
    m_impl->defaultFont = ::GetCurrentObject(dc, OBJ_FONT);
    b->selectedIn = dc;
}

Canvas::~Canvas() = default;
Canvas::Canvas(Canvas&& other) noexcept = default;
Canvas& Canvas::operator=(Canvas&& other) noexcept = default;

void Canvas::Fill(const Rect& rect, Color color) {
    if (!m_impl || !m_impl->dc || rect.IsEmpty()) {
        return;
    }
    GdiObject brush(::CreateSolidBrush(ToColorRef(color)));
    const RECT r{rect.left, rect.top, rect.right, rect.bottom};
    ::FillRect(m_impl->dc, &r, static_cast<HBRUSH>(brush.Get()));
    m_impl->Touched();
}

void Canvas::Frame(const Rect& rect, Color color) {
    if (!m_impl || !m_impl->dc || rect.IsEmpty()) {
        return;
    }
    GdiObject brush(::CreateSolidBrush(ToColorRef(color)));
    const RECT r{rect.left, rect.top, rect.right, rect.bottom};
    ::FrameRect(m_impl->dc, &r, static_cast<HBRUSH>(brush.Get()));
    m_impl->Touched();
}

void Canvas::Copy(Point destTopLeft, Size size, const Bitmap& source, Point sourceTopLeft) {
    if (!m_impl || !m_impl->dc || source.IsEmpty() || size.cx <= 0 || size.cy <= 0) {
        return;
    }
    const SourceArea area(*source.GetImpl(), Rect::FromSize(sourceTopLeft, size));
    if (!area.Dc()) {
        return;
    }
    ::BitBlt(m_impl->dc, destTopLeft.x, destTopLeft.y, size.cx, size.cy, area.Dc(), area.Origin().x,
             area.Origin().y, SRCCOPY);
    m_impl->Touched();
}

void Canvas::Stretch(const Rect& destRect, const Bitmap& source, const Rect& sourceRect) {
    if (!m_impl || !m_impl->dc || source.IsEmpty() || destRect.IsEmpty() || sourceRect.IsEmpty()) {
        return;
    }
    const SourceArea area(*source.GetImpl(), sourceRect);
    if (!area.Dc()) {
        return;
    }
    ExactStretch(m_impl->dc, destRect, area.Dc(), area.Origin().x, area.Origin().y,
                 sourceRect.Width(), sourceRect.Height());
    m_impl->Touched();
}

void Canvas::StretchKeyed(const Rect& destRect, const Bitmap& source, const Rect& sourceRect,
                          Color key) {
    if (!m_impl || !m_impl->dc || source.IsEmpty() || destRect.IsEmpty() || sourceRect.IsEmpty()) {
        return;
    }
    const SourceArea area(*source.GetImpl(), sourceRect);
    if (!area.Dc()) {
        return;
    }
    const int dw = destRect.Width(), dh = destRect.Height();
    if (dw == sourceRect.Width() && dh == sourceRect.Height()) {
        ::TransparentBlt(m_impl->dc, destRect.left, destRect.top, dw, dh, area.Dc(),
                         area.Origin().x, area.Origin().y, dw, dh, ToColorRef(key));
    } else {
        GdiObject scaled(CreateScreenBitmap(dw, dh));
        MemoryDc scaledDc(m_impl->dc);
        if (!scaled.Get() || !scaledDc.Select(scaled.Get())) {
            return;
        }
        ExactStretch(scaledDc.Get(), {0, 0, dw, dh}, area.Dc(), area.Origin().x, area.Origin().y,
                     sourceRect.Width(), sourceRect.Height());
        ::TransparentBlt(m_impl->dc, destRect.left, destRect.top, dw, dh, scaledDc.Get(), 0, 0, dw,
                         dh, ToColorRef(key));
    }
    m_impl->Touched();
}

const Font* Canvas::SelectFont(const Font* font) {
    if (!m_impl) {
        return nullptr;
    }
    const Font* previous = m_impl->font;
    m_impl->font = font;
    if (m_impl->dc) {
        HGDIOBJ object =
            font && !font->IsEmpty() ? font->GetImpl()->font.Get() : m_impl->defaultFont;
        if (object) {
            ::SelectObject(m_impl->dc, object);
        }
    }
    return previous;
}

Color Canvas::SetTextColor(Color color) {
    if (!m_impl || !m_impl->dc) {
        return Rgb(0, 0, 0);
    }
    const COLORREF old = ::SetTextColor(m_impl->dc, ToColorRef(color));
    return Rgb(GetRValue(old), GetGValue(old), GetBValue(old));
}

Color Canvas::SetBackgroundColor(Color color) {
    if (!m_impl || !m_impl->dc) {
        return Rgb(255, 255, 255);
    }
    const COLORREF old = ::SetBkColor(m_impl->dc, ToColorRef(color));
    return Rgb(GetRValue(old), GetGValue(old), GetBValue(old));
}

BackgroundMode Canvas::SetBackgroundMode(BackgroundMode mode) {
    if (!m_impl || !m_impl->dc) {
        return BackgroundMode::kOpaque;
    }
    const int old =
        ::SetBkMode(m_impl->dc, mode == BackgroundMode::kTransparent ? TRANSPARENT : OPAQUE);
    return old == TRANSPARENT ? BackgroundMode::kTransparent : BackgroundMode::kOpaque;
}

void Canvas::DrawString(std::wstring_view text, const Rect& rect, unsigned format) {
    if (!m_impl || !m_impl->dc || text.empty()) {
        return;
    }
    // Bounded: a line longer than this is not something a window of this system shows.
    const int length = static_cast<int>(std::min<size_t>(text.size(), 32768));
    std::wstring copy(text.substr(0, static_cast<size_t>(length)));
    // The layer's prefix processing drops "&" without underlining the letter after it ("&&"
    // shows one "&"); the system would underline it, so the text is drawn already processed.
    if (!(format & DT_NOPREFIX)) {
        std::wstring shown;
        shown.reserve(copy.size());
        for (size_t i = 0; i < copy.size(); ++i) {
            if (copy[i] == L'&' && i + 1 < copy.size()) {
                ++i;
            } else if (copy[i] == L'&') {
                continue;
            }
            shown.push_back(copy[i]);
        }
        copy = std::move(shown);
        format |= DT_NOPREFIX;
    }
    RECT r{rect.left, rect.top, rect.right, rect.bottom};
    ::DrawTextW(m_impl->dc, copy.data(), static_cast<int>(copy.size()), &r, format);
    m_impl->Touched();
}

Size Canvas::MeasureString(std::wstring_view text) {
    if (!m_impl || !m_impl->dc) {
        return {};
    }
    const int length = static_cast<int>(std::min<size_t>(text.size(), 32768));
    SIZE size{};
    if (length == 0) {
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(m_impl->dc, &metrics);
        return {0, metrics.tmHeight};
    }
    ::GetTextExtentPoint32W(m_impl->dc, text.data(), length, &size);
    return {size.cx, size.cy};
}

}  // namespace platform
