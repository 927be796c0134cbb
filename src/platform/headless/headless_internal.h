// Shared pieces of the headless window backend: the pixel image that bitmaps and window surfaces
// are made of, and the canvas implementation that draws into one. Internal to the backend.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/canvas.h"
#include "platform/geometry.h"

namespace platform::headless {

// Pixels as 0x00RRGGBB words, rows top first, no padding: the layout cairo's RGB24 format uses on
// this machine, so text can be drawn straight into it.
struct Image {
    Image() = default;
    Image(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h, 0) {}
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    uint32_t At(int x, int y) const {
        return Inside(x, y) ? pixels[static_cast<size_t>(y) * width + x] : 0;
    }
};

inline constexpr int kMaxImageSide = 16384;

inline uint32_t ToPixel(Color c) {
    return (static_cast<uint32_t>(RedOf(c)) << 16) | (static_cast<uint32_t>(GreenOf(c)) << 8) |
           BlueOf(c);
}
inline Color FromPixel(uint32_t p) {
    return Rgb(static_cast<uint8_t>((p >> 16) & 0xFF), static_cast<uint8_t>((p >> 8) & 0xFF),
               static_cast<uint8_t>(p & 0xFF));
}

}  // namespace platform::headless

namespace platform {

struct Bitmap::Impl {
    std::shared_ptr<headless::Image> image;
};

struct Canvas::Impl {
    std::shared_ptr<headless::Image> image;
    Point origin;  // canvas (0, 0) in image coordinates
    Rect clip;     // image coordinates
    const Font* font = nullptr;
    Color textColor = Rgb(0, 0, 0);
    Color backColor = Rgb(255, 255, 255);
    BackgroundMode backMode = BackgroundMode::kOpaque;
};

}  // namespace platform
