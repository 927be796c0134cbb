// Drawing for the window layer: colours, bitmaps, fonts and the canvas (device context) that
// paints into a window or a bitmap. User-interface thread only; no object here is shared between
// threads. Backends: GDI on Windows (canvas_win32.cpp); an in-memory image with cairo and pango
// text elsewhere (headless/canvas_headless.cpp).
//
// Copy semantics kept on every backend:
//  - Copy: unscaled copy of a bitmap area (BitBlt, SRCCOPY).
//  - Stretch: scaled opaque copy with nearest-neighbour sampling (StretchBlt, SRCCOPY). A
//    destination column i of a copy that is w pixels wide takes source column sx + i * sw / w
//    (integer division); rows alike.
//  - StretchKeyed: the same sampling, but source pixels of exactly the key colour leave the
//    destination unchanged (TransparentBlt).
// Source areas outside the bitmap read as black; destination pixels outside the target or its
// clip are not touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/geometry.h"

// Text layout flags of DrawString, in the system's numbering. Only these are honoured: top-left
// alignment (0), horizontal and vertical centring, one line, an ellipsis at the end when cut, and
// no prefix processing (otherwise "&x" shows x and "&&" shows "&").
#ifndef DT_TOP
inline constexpr unsigned DT_TOP = 0x0000;
#endif
#ifndef DT_LEFT
inline constexpr unsigned DT_LEFT = 0x0000;
#endif
#ifndef DT_CENTER
inline constexpr unsigned DT_CENTER = 0x0001;
#endif
#ifndef DT_RIGHT
inline constexpr unsigned DT_RIGHT = 0x0002;
#endif
#ifndef DT_VCENTER
inline constexpr unsigned DT_VCENTER = 0x0004;
#endif
#ifndef DT_BOTTOM
inline constexpr unsigned DT_BOTTOM = 0x0008;
#endif
#ifndef DT_SINGLELINE
inline constexpr unsigned DT_SINGLELINE = 0x0020;
#endif
#ifndef DT_NOPREFIX
inline constexpr unsigned DT_NOPREFIX = 0x0800;
#endif
#ifndef DT_END_ELLIPSIS
inline constexpr unsigned DT_END_ELLIPSIS = 0x8000;
#endif

// Font weights and qualities used by the system.
#ifndef FW_NORMAL
inline constexpr int FW_NORMAL = 400;
#endif
#ifndef FW_BOLD
inline constexpr int FW_BOLD = 700;
#endif

namespace platform {

// A colour in the system's layout: 0x00BBGGRR.
using Color = uint32_t;
constexpr Color Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<Color>(r) | (static_cast<Color>(g) << 8) | (static_cast<Color>(b) << 16);
}
constexpr uint8_t RedOf(Color c) {
    return static_cast<uint8_t>(c & 0xFF);
}
constexpr uint8_t GreenOf(Color c) {
    return static_cast<uint8_t>((c >> 8) & 0xFF);
}
constexpr uint8_t BlueOf(Color c) {
    return static_cast<uint8_t>((c >> 16) & 0xFF);
}

class Canvas;

// A 24-bit colour bitmap ("compatible bitmap"). Owns its pixels; movable, not copyable. An empty
// bitmap (default, or a load that failed) is skipped by every copy.
class Bitmap {
  public:
    Bitmap();
    ~Bitmap();
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    // A new bitmap of the given size; its content is not defined (black on the headless backend).
    // Empty when a side is not positive or larger than 16384.
    static Bitmap Create(int width, int height);
    // From pixels in row order, top row first, width * height colours.
    static Bitmap FromPixels(int width, int height, const std::vector<Color>& pixels);
    // A Windows BMP file or its bytes (uncompressed 1, 4, 8, 24 or 32 bits per pixel, bottom-up
    // or top-down). Empty when the file cannot be read or is not such a bitmap.
    static Bitmap FromBmpFile(const std::wstring& path);
    static Bitmap FromBmpData(const uint8_t* data, size_t size);
    // The bitmap resource id of the program: on Windows from the executable's resources;
    // elsewhere the BMP bytes registered under id with RegisterBitmapResource. Empty when absent.
    static Bitmap FromResource(int id);

    bool IsEmpty() const;
    Size GetSize() const;  // 0 x 0 when empty
    int Width() const { return GetSize().cx; }
    int Height() const { return GetSize().cy; }

    // Reading back. Pixel answers black outside the bitmap.
    Color Pixel(int x, int y) const;
    std::vector<Color> Pixels() const;  // row order, top row first
    // Writes the bitmap as a PNG file (RGB, 8 bits per channel). False when it cannot be written.
    bool SavePng(const std::wstring& path) const;

    struct Impl;
    Impl* GetImpl() const { return m_impl.get(); }

  private:
    explicit Bitmap(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// Registers the bytes of a BMP file as bitmap resource id (for targets without a resource
// section). The bytes must stay valid for the life of the process (static data).
void RegisterBitmapResource(int id, const uint8_t* data, size_t size);

// A font made as CreateFontW makes one: height is the cell height in pixels when positive,
// weight 400 regular / 700 bold. Faces the target does not have map to a font of the same kind;
// on Linux every CJK face name (such as "宋体") and the CJK character sets map to a CJK font.
struct FontSpec {
    int height = 0;
    int weight = FW_NORMAL;
    bool italic = false;
    bool underline = false;
    int charset = 1;         // 1 default, 134 GB2312, 136 Chinese BIG5
    int quality = 0;         // 2 proof quality
    int pitchAndFamily = 0;  // 0x20 swiss
    std::wstring face;
};

class Font {
  public:
    Font();
    explicit Font(const FontSpec& desc);
    ~Font();
    Font(Font&& other) noexcept;
    Font& operator=(Font&& other) noexcept;
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    bool IsEmpty() const;
    const FontSpec& Spec() const { return m_spec; }

    struct Impl;
    Impl* GetImpl() const { return m_impl.get(); }

  private:
    FontSpec m_spec;
    std::unique_ptr<Impl> m_impl;
};

enum class BackgroundMode { kOpaque, kTransparent };

// A device context: draws into a bitmap (constructed over it) or into a window being painted
// (Window::BeginPaint). Coordinates are the target's own: the bitmap's pixels, or the window's
// client area. The bitmap must outlive the canvas and must not be moved while it is drawn on.
// State (font, text colour, background mode) starts as: the default font, black text, opaque
// white text background.
class Canvas {
  public:
    explicit Canvas(Bitmap& target);
    ~Canvas();
    Canvas(Canvas&& other) noexcept;
    Canvas& operator=(Canvas&& other) noexcept;
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // Fills rect with a solid colour (FillRect with a solid brush).
    void Fill(const Rect& rect, Color color);
    // A one-pixel frame just inside rect's border (FrameRect with a solid brush).
    void Frame(const Rect& rect, Color color);
    // Unscaled copy: size pixels from source at sourceTopLeft to destTopLeft.
    void Copy(Point destTopLeft, Size size, const Bitmap& source, Point sourceTopLeft);
    // Scaled copies of source's area sourceRect onto destRect; see the top of this file.
    void Stretch(const Rect& destRect, const Bitmap& source, const Rect& sourceRect);
    void StretchKeyed(const Rect& destRect, const Bitmap& source, const Rect& sourceRect,
                      Color key);

    // Text state. SelectFont answers the font that was selected before (null: the default font);
    // the font must stay alive while selected.
    const Font* SelectFont(const Font* font);
    Color SetTextColor(Color color);
    Color SetBackgroundColor(Color color);
    BackgroundMode SetBackgroundMode(BackgroundMode mode);

    // Draws text in rect with the DT_ flags above (DrawTextW). Only DT_SINGLELINE layouts are
    // supported: text is one line, line breaks are drawn as blanks. Drawing is clipped to rect.
    void DrawString(std::wstring_view text, const Rect& rect, unsigned format);
    // Width and height of one line of text in the selected font.
    Size MeasureString(std::wstring_view text);

    struct Impl;
    Impl* GetImpl() const { return m_impl.get(); }
    explicit Canvas(std::unique_ptr<Impl> impl);

  private:
    std::unique_ptr<Impl> m_impl;
};

// An icon resource, for WM_SETICON. On Windows the executable's icon; elsewhere a token that only
// identifies the resource id. Not owned: resource icons live as long as the process.
using IconHandle = void*;
IconHandle LoadIconResource(int id);

// Writes width x height pixels (row order) as a PNG file, RGB, 8 bits per channel.
bool WritePng(const std::wstring& path, int width, int height, const std::vector<Color>& pixels);
// Decodes a BMP file image; false when it is not a supported bitmap.
bool DecodeBmp(const uint8_t* data, size_t size, int& width, int& height,
               std::vector<Color>& pixels);

}  // namespace platform
