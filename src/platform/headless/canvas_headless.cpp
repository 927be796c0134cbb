// Canvas, bitmaps and fonts of the headless backend: bitmaps are in-memory images, the copies are
// done here pixel by pixel with the sampling described in canvas.h, and text is laid out by pango
// and drawn by cairo straight into the image.
//
// Where this differs from GDI: text is antialiased in grey (GDI's proof quality on a CJK face is
// usually not); a Latin font's cell height is matched by scaling the em size until ascent +
// descent equals it, a CJK font's em size is the cell height; "&" prefixes are removed but never
// underlined.
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "platform/canvas.h"
#include "platform/headless/headless_internal.h"
#include "platform/text.h"

#if defined(__SANITIZE_ADDRESS__)
// fontconfig keeps its configuration and font caches until the process ends; they are not ours to
// free, so the leak checker is told to leave them out.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace platform {

using headless::FromPixel;
using headless::Image;
using headless::kMaxImageSide;
using headless::ToPixel;

// ---- bitmaps ---------------------------------------------------------------------------------

Bitmap::Bitmap() = default;
Bitmap::~Bitmap() = default;
Bitmap::Bitmap(Bitmap&& other) noexcept = default;
Bitmap& Bitmap::operator=(Bitmap&& other) noexcept = default;
Bitmap::Bitmap(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

Bitmap Bitmap::Create(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) {
        return Bitmap();
    }
    auto impl = std::make_unique<Impl>();
    impl->image = std::make_shared<Image>(width, height);
    return Bitmap(std::move(impl));
}

Bitmap Bitmap::FromPixels(int width, int height, const std::vector<Color>& pixels) {
    if (pixels.size() != static_cast<size_t>(std::max(width, 0)) * std::max(height, 0)) {
        return Bitmap();
    }
    Bitmap bitmap = Create(width, height);
    if (bitmap.IsEmpty())
        return bitmap;
    auto& out = bitmap.m_impl->image->pixels;
    for (size_t i = 0; i < pixels.size(); ++i)
        out[i] = ToPixel(pixels[i]);
    return bitmap;
}

namespace {
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
}  // namespace

void RegisterBitmapResource(int id, const uint8_t* data, size_t size) {
    std::lock_guard lock(ResourceMutex());
    Resources()[id] = {data, size};
}

Bitmap Bitmap::FromResource(int id) {
    ResourceData found{};
    {
        std::lock_guard lock(ResourceMutex());
        auto it = Resources().find(id);
        if (it == Resources().end())
            return Bitmap();
        found = it->second;
    }
    return FromBmpData(found.data, found.size);
}

bool Bitmap::IsEmpty() const {
    return !m_impl || !m_impl->image;
}

Size Bitmap::GetSize() const {
    if (IsEmpty())
        return {};
    return {m_impl->image->width, m_impl->image->height};
}

Color Bitmap::Pixel(int x, int y) const {
    if (IsEmpty())
        return Rgb(0, 0, 0);
    return FromPixel(m_impl->image->At(x, y));
}

std::vector<Color> Bitmap::Pixels() const {
    std::vector<Color> out;
    if (IsEmpty())
        return out;
    out.reserve(m_impl->image->pixels.size());
    for (uint32_t p : m_impl->image->pixels)
        out.push_back(FromPixel(p));
    return out;
}

IconHandle LoadIconResource(int id) {
    // Nothing shows icons here; the token only has to be non-null and tell resources apart.
    return reinterpret_cast<IconHandle>(static_cast<uintptr_t>(0x10000 + (id & 0xFFFF)));
}

// ---- fonts ------------------------------------------------------------------------------------

struct Font::Impl {
    PangoFontDescription* description = nullptr;
    ~Impl() {
        if (description)
            pango_font_description_free(description);
    }
};

namespace {

constexpr const char* kCjkFamily = "WenQuanYi Zen Hei";
constexpr const char* kLatinFamily = "DejaVu Sans";

bool IsCjkFace(const FontSpec& desc) {
    if (desc.charset == 128 || desc.charset == 129 || desc.charset == 134 || desc.charset == 136) {
        return true;
    }
    for (wchar_t c : desc.face) {
        if (c >= 0x2E80)
            return true;
    }
    static const wchar_t* const kCjkLatinNames[] = {L"SimSun",
                                                    L"NSimSun",
                                                    L"SimHei",
                                                    L"MingLiU",
                                                    L"PMingLiU",
                                                    L"Microsoft YaHei",
                                                    L"Microsoft JhengHei",
                                                    L"KaiTi",
                                                    L"FangSong"};
    for (const wchar_t* name : kCjkLatinNames) {
        if (EqualsNoCaseAscii(desc.face, name))
            return true;
    }
    return false;
}

// The em size (in pixels) at which a face's ascent + descent equals cellHeight.
double EmSizeForCell(const char* family, int weight, bool italic, int cellHeight) {
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* context = pango_font_map_create_context(map);
    PangoFontDescription* probe = pango_font_description_new();
    pango_font_description_set_family(probe, family);
    pango_font_description_set_weight(probe, static_cast<PangoWeight>(weight));
    pango_font_description_set_style(probe, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(probe, 100.0 * PANGO_SCALE);
    double em = cellHeight;
    if (PangoFontMetrics* metrics = pango_context_get_metrics(context, probe, nullptr)) {
        const double cell =
            (pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics)) /
            static_cast<double>(PANGO_SCALE);
        if (cell > 1.0)
            em = cellHeight * 100.0 / cell;
        pango_font_metrics_unref(metrics);
    }
    pango_font_description_free(probe);
    g_object_unref(context);
    return em;
}

PangoFontDescription* Describe(const FontSpec& desc) {
    const bool cjk = IsCjkFace(desc);
    const char* family = cjk ? kCjkFamily : kLatinFamily;
    const int weight = std::clamp(desc.weight == 0 ? FW_NORMAL : desc.weight, 100, 1000);
    double em;
    if (desc.height > 0 && cjk) {
        // The CJK faces asked for have no internal leading (cell height = em), so their glyphs
        // are as tall as the cell; the substitute draws at that em size to look the same.
        em = std::min(desc.height, 2048);
    } else if (desc.height > 0) {
        em = EmSizeForCell(family, weight, desc.italic, std::min(desc.height, 2048));
    } else if (desc.height < 0) {
        em = std::min(-static_cast<double>(desc.height), 2048.0);
    } else {
        em = EmSizeForCell(family, weight, desc.italic, 16);
    }
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, family);
    pango_font_description_set_weight(d, static_cast<PangoWeight>(weight));
    pango_font_description_set_style(d, desc.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(d, em * PANGO_SCALE);
    return d;
}

const Font& DefaultFont() {
    static const Font* font =
        new Font(FontSpec{.height = 16, .weight = FW_BOLD, .face = L"System"});
    return *font;
}

}  // namespace

Font::Font() = default;
Font::Font(const FontSpec& desc) : m_spec(desc), m_impl(std::make_unique<Impl>()) {
    m_impl->description = Describe(desc);
}
Font::~Font() = default;
Font::Font(Font&& other) noexcept = default;
Font& Font::operator=(Font&& other) noexcept = default;
bool Font::IsEmpty() const {
    return !m_impl || m_impl->description == nullptr;
}

// ---- canvas -----------------------------------------------------------------------------------

Canvas::Canvas(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

Canvas::Canvas(Bitmap& target) : m_impl(std::make_unique<Impl>()) {
    if (Bitmap::Impl* b = target.GetImpl()) {
        m_impl->image = b->image;
        m_impl->clip = {0, 0, b->image->width, b->image->height};
    }
}

Canvas::~Canvas() = default;
Canvas::Canvas(Canvas&& other) noexcept = default;
Canvas& Canvas::operator=(Canvas&& other) noexcept = default;

namespace {

// The destination area of a drawing operation in image coordinates, cut to the clip.
Rect Target(const Canvas::Impl& c, const Rect& canvasRect) {
    if (!c.image)
        return {};
    const Rect bounds{0, 0, c.image->width, c.image->height};
    return canvasRect.Offset(c.origin.x, c.origin.y).Intersect(c.clip).Intersect(bounds);
}

void FillImage(Canvas::Impl& c, const Rect& canvasRect, Color color) {
    const Rect r = Target(c, canvasRect);
    if (r.IsEmpty())
        return;
    const uint32_t p = ToPixel(color);
    for (int y = r.top; y < r.bottom; ++y) {
        uint32_t* row = c.image->pixels.data() + static_cast<size_t>(y) * c.image->width;
        std::fill(row + r.left, row + r.right, p);
    }
}

// Scaled copy; keyed: source pixels equal to key are skipped.
void StretchImage(Canvas::Impl& c, const Rect& dest, const Image& source, const Rect& src,
                  bool keyed, uint32_t key) {
    const int dw = dest.Width(), dh = dest.Height();
    const int sw = src.Width(), sh = src.Height();
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;
    const Rect r = Target(c, dest);
    if (r.IsEmpty())
        return;
    const int dx0 = dest.left + c.origin.x, dy0 = dest.top + c.origin.y;
    for (int y = r.top; y < r.bottom; ++y) {
        const int sy = src.top + static_cast<int>(static_cast<int64_t>(y - dy0) * sh / dh);
        uint32_t* row = c.image->pixels.data() + static_cast<size_t>(y) * c.image->width;
        for (int x = r.left; x < r.right; ++x) {
            const int sx = src.left + static_cast<int>(static_cast<int64_t>(x - dx0) * sw / dw);
            const uint32_t p = source.At(sx, sy);
            if (keyed && p == key)
                continue;
            row[x] = p;
        }
    }
}

// DrawText's prefix handling without underlines: "&&" shows "&", a lone "&" disappears.
std::wstring StripPrefixes(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&') {
            if (i + 1 < text.size() && text[i + 1] == L'&') {
                out += L'&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

// Lays out one line of text in a layout of its own; the caller frees it.
PangoLayout* MakeLayout(cairo_t* cr, const Font& font, std::wstring_view text, unsigned format,
                        int width) {
    std::wstring line = (format & DT_NOPREFIX) ? std::wstring(text) : StripPrefixes(text);
    for (wchar_t& ch : line) {
        if (ch == L'\r' || ch == L'\n' || ch == L'\t')
            ch = L' ';
    }
    PangoLayout* layout = pango_cairo_create_layout(cr);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    pango_layout_context_changed(layout);
    cairo_font_options_destroy(options);
    pango_layout_set_font_description(layout, font.GetImpl()->description);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    const std::string utf8 = WideToUtf8(line);
    pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
    if ((format & DT_END_ELLIPSIS) && width > 0) {
        pango_layout_set_width(layout, width * PANGO_SCALE);
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    return layout;
}

const Font& SelectedFont(const Canvas::Impl& c) {
    return (c.font && !c.font->IsEmpty()) ? *c.font : DefaultFont();
}

}  // namespace

void Canvas::Fill(const Rect& rect, Color color) {
    FillImage(*m_impl, rect, color);
}

void Canvas::Frame(const Rect& rect, Color color) {
    if (rect.IsEmpty())
        return;
    FillImage(*m_impl, {rect.left, rect.top, rect.right, rect.top + 1}, color);
    FillImage(*m_impl, {rect.left, rect.bottom - 1, rect.right, rect.bottom}, color);
    FillImage(*m_impl, {rect.left, rect.top, rect.left + 1, rect.bottom}, color);
    FillImage(*m_impl, {rect.right - 1, rect.top, rect.right, rect.bottom}, color);
}

void Canvas::Copy(Point destTopLeft, Size size, const Bitmap& source, Point sourceTopLeft) {
    if (source.IsEmpty())
        return;
    const Rect dest = Rect::FromSize(destTopLeft, size);
    const Rect src = Rect::FromSize(sourceTopLeft, size);
    StretchImage(*m_impl, dest, *source.GetImpl()->image, src, false, 0);
}

void Canvas::Stretch(const Rect& destRect, const Bitmap& source, const Rect& sourceRect) {
    if (source.IsEmpty())
        return;
    StretchImage(*m_impl, destRect, *source.GetImpl()->image, sourceRect, false, 0);
}

void Canvas::StretchKeyed(const Rect& destRect, const Bitmap& source, const Rect& sourceRect,
                          Color key) {
    if (source.IsEmpty())
        return;
    StretchImage(*m_impl, destRect, *source.GetImpl()->image, sourceRect, true, ToPixel(key));
}

const Font* Canvas::SelectFont(const Font* font) {
    const Font* previous = m_impl->font;
    m_impl->font = font;
    return previous;
}

Color Canvas::SetTextColor(Color color) {
    return std::exchange(m_impl->textColor, color);
}
Color Canvas::SetBackgroundColor(Color color) {
    return std::exchange(m_impl->backColor, color);
}
BackgroundMode Canvas::SetBackgroundMode(BackgroundMode mode) {
    return std::exchange(m_impl->backMode, mode);
}

Size Canvas::MeasureString(std::wstring_view text) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* cr = cairo_create(surface);
    PangoLayout* layout = MakeLayout(cr, SelectedFont(*m_impl), text, DT_SINGLELINE, 0);
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return {logical.width, logical.height};
}

void Canvas::DrawString(std::wstring_view text, const Rect& rect, unsigned format) {
    Impl& c = *m_impl;
    const Rect area = Target(c, rect);
    if (area.IsEmpty() || text.empty())
        return;
    Image& image = *c.image;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(image.pixels.data()), CAIRO_FORMAT_RGB24, image.width,
        image.height, image.width * 4);
    cairo_t* cr = cairo_create(surface);
    cairo_rectangle(cr, area.left, area.top, area.Width(), area.Height());
    cairo_clip(cr);

    PangoLayout* layout = MakeLayout(cr, SelectedFont(c), text, format, rect.Width());
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    const int left = rect.left + c.origin.x, top = rect.top + c.origin.y;
    int x = left, y = top;
    if (format & DT_CENTER) {
        x = left + (rect.Width() - logical.width) / 2;
    } else if (format & DT_RIGHT) {
        x = left + rect.Width() - logical.width;
    }
    if (format & DT_VCENTER) {
        y = top + (rect.Height() - logical.height) / 2;
    } else if (format & DT_BOTTOM) {
        y = top + rect.Height() - logical.height;
    }
    if (c.backMode == BackgroundMode::kOpaque) {
        const Color b = c.backColor;
        cairo_set_source_rgb(cr, RedOf(b) / 255.0, GreenOf(b) / 255.0, BlueOf(b) / 255.0);
        cairo_rectangle(cr, x, y, logical.width, logical.height);
        cairo_fill(cr);
    }
    const Color t = c.textColor;
    cairo_set_source_rgb(cr, RedOf(t) / 255.0, GreenOf(t) / 255.0, BlueOf(t) / 255.0);
    cairo_move_to(cr, x - logical.x, y - logical.y);
    pango_cairo_show_layout(cr, layout);

    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
}

}  // namespace platform
