// The backend-independent part of the canvas: reading BMP files and writing PNG files. PNG output
// uses stored (uncompressed) deflate blocks, so no compression library is needed here; the files
// are for tests and inspection, not for shipping.
#include <algorithm>
#include <array>
#include <cstring>

#include "platform/canvas.h"
#include "platform/fs.h"

namespace platform {

namespace {

constexpr int kMaxSide = 16384;
constexpr size_t kMaxBmpFileSize = 256u << 20;

uint32_t Le16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
    PutBe32(out, static_cast<uint32_t>(body.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBe32(out, Crc32(typed.data(), typed.size()));
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, int& width, int& height,
               std::vector<Color>& pixels) {
    if (data == nullptr || size < 14 + 40 || data[0] != 'B' || data[1] != 'M')
        return false;
    const uint32_t offBits = Le32(data + 10);
    const uint32_t headerSize = Le32(data + 14);
    if (headerSize < 40 || headerSize > size - 14)
        return false;
    const uint8_t* info = data + 14;
    const int32_t w = static_cast<int32_t>(Le32(info + 4));
    const int32_t hRaw = static_cast<int32_t>(Le32(info + 8));
    const uint32_t bpp = Le16(info + 14);
    const uint32_t compression = Le32(info + 16);
    uint32_t colorsUsed = Le32(info + 32);
    if (w <= 0 || w > kMaxSide || hRaw == 0 || hRaw < -kMaxSide || hRaw > kMaxSide)
        return false;
    const bool topDown = hRaw < 0;
    const int h = topDown ? -hRaw : hRaw;

    // BI_RGB for every depth; BI_BITFIELDS only with the usual 8-8-8 masks of 32-bit bitmaps.
    if (compression == 3) {
        if (bpp != 32 || headerSize < 52 || Le32(info + 40) != 0xFF0000u ||
            Le32(info + 44) != 0xFF00u || Le32(info + 48) != 0xFFu) {
            return false;
        }
    } else if (compression != 0) {
        return false;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return false;

    std::vector<Color> palette;
    if (bpp <= 8) {
        const uint32_t maxColors = 1u << bpp;
        if (colorsUsed == 0 || colorsUsed > maxColors)
            colorsUsed = maxColors;
        const size_t paletteOffset = 14 + static_cast<size_t>(headerSize);
        if (paletteOffset + static_cast<size_t>(colorsUsed) * 4 > size)
            return false;
        for (uint32_t i = 0; i < colorsUsed; ++i) {
            const uint8_t* q = data + paletteOffset + static_cast<size_t>(i) * 4;
            palette.push_back(Rgb(q[2], q[1], q[0]));
        }
    }

    const size_t stride = ((static_cast<size_t>(w) * bpp + 31) / 32) * 4;
    if (offBits > size || stride * static_cast<size_t>(h) > size - offBits)
        return false;

    pixels.assign(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = data + offBits + stride * static_cast<size_t>(topDown ? y : h - 1 - y);
        Color* out = pixels.data() + static_cast<size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            switch (bpp) {
                case 1:
                case 4:
                case 8: {
                    const size_t bit = static_cast<size_t>(x) * bpp;
                    const uint32_t shift = 8 - bpp - static_cast<uint32_t>(bit % 8);
                    const uint32_t index = (row[bit / 8] >> shift) & ((1u << bpp) - 1);
                    out[x] = index < palette.size() ? palette[index] : Rgb(0, 0, 0);
                    break;
                }
                case 16: {
                    const uint32_t v = Le16(row + static_cast<size_t>(x) * 2);
                    const auto five = [](uint32_t c) {
                        return static_cast<uint8_t>((c << 3) | (c >> 2));
                    };
                    out[x] = Rgb(five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31));
                    break;
                }
                case 24: {
                    const uint8_t* p = row + static_cast<size_t>(x) * 3;
                    out[x] = Rgb(p[2], p[1], p[0]);
                    break;
                }
                default: {
                    const uint8_t* p = row + static_cast<size_t>(x) * 4;
                    out[x] = Rgb(p[2], p[1], p[0]);
                    break;
                }
            }
        }
    }
    width = w;
    height = h;
    return true;
}

bool WritePng(const std::wstring& path, int width, int height, const std::vector<Color>& pixels) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        pixels.size() != static_cast<size_t>(width) * height) {
        return false;
    }
    std::vector<uint8_t> raw;
    raw.reserve((static_cast<size_t>(width) * 3 + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            const Color c = pixels[static_cast<size_t>(y) * width + x];
            raw.push_back(RedOf(c));
            raw.push_back(GreenOf(c));
            raw.push_back(BlueOf(c));
        }
    }

    std::vector<uint8_t> zlib = {0x78, 0x01};
    size_t pos = 0;
    do {
        const size_t n = std::min<size_t>(65535, raw.size() - pos);
        const bool last = pos + n == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<uint8_t>(n));
        zlib.push_back(static_cast<uint8_t>(n >> 8));
        zlib.push_back(static_cast<uint8_t>(~n));
        zlib.push_back(static_cast<uint8_t>(~n >> 8));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                    raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    PutBe32(zlib, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    PutBe32(ihdr, static_cast<uint32_t>(width));
    PutBe32(ihdr, static_cast<uint32_t>(height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    PutChunk(png, "IHDR", ihdr);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});

    File file;
    if (!file.TryOpen(path, File::Mode::kCreateWrite))
        return false;
    try {
        file.Write(png.data(), png.size());
        file.Close();
    } catch (const FileException&) {
        file.Abort();
        return false;
    }
    return true;
}

Bitmap Bitmap::FromBmpData(const uint8_t* data, size_t size) {
    int w = 0, h = 0;
    std::vector<Color> pixels;
    if (!DecodeBmp(data, size, w, h, pixels))
        return Bitmap();
    return FromPixels(w, h, pixels);
}

Bitmap Bitmap::FromBmpFile(const std::wstring& path) {
    File file;
    if (!file.TryOpen(path, File::Mode::kRead))
        return Bitmap();
    std::vector<uint8_t> bytes;
    try {
        const uint64_t length = file.Length();
        if (length > kMaxBmpFileSize)
            return Bitmap();
        bytes.resize(static_cast<size_t>(length));
        size_t got = 0;
        while (got < bytes.size()) {
            const size_t n = file.Read(bytes.data() + got, bytes.size() - got);
            if (n == 0)
                break;
            got += n;
        }
        bytes.resize(got);
    } catch (const FileException&) {
        return Bitmap();
    }
    return FromBmpData(bytes.data(), bytes.size());
}

bool Bitmap::SavePng(const std::wstring& path) const {
    if (IsEmpty())
        return false;
    return WritePng(path, Width(), Height(), Pixels());
}

}  // namespace platform
