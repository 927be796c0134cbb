// Canvas copies, fills and text, BMP reading and PNG writing, checked by reading pixels back.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "support/test_files.h"

using namespace platform;

namespace {

constexpr Color kR = Rgb(255, 0, 0), kG = Rgb(0, 255, 0), kB = Rgb(0, 0, 255);
constexpr Color kW = Rgb(255, 255, 255), kK = Rgb(0, 0, 0), kKey = Rgb(255, 0, 255);

std::vector<Color> Row(const Bitmap& b, int y) {
    std::vector<Color> out;
    for (int x = 0; x < b.Width(); ++x)
        out.push_back(b.Pixel(x, y));
    return out;
}

Bitmap Filled(int w, int h, Color c) {
    Bitmap b = Bitmap::Create(w, h);
    Canvas canvas(b);
    canvas.Fill({0, 0, w, h}, c);
    return b;
}

TEST(Canvas, StretchSamplesTheNearestSourcePixel) {
    const Bitmap src = Bitmap::FromPixels(3, 1, {kR, kG, kB});
    {
        // Enlarging 3 -> 7: column i takes source column i * 3 / 7.
        Bitmap dst = Filled(7, 2, kW);
        Canvas c(dst);
        c.Stretch({0, 0, 7, 2}, src, {0, 0, 3, 1});
        EXPECT_EQ(Row(dst, 0), (std::vector<Color>{kR, kR, kR, kG, kG, kB, kB}));
        EXPECT_EQ(Row(dst, 1), Row(dst, 0));
    }
    {
        // Shrinking 3 -> 2 keeps columns 0 and 1; a one-pixel column stretched wide repeats.
        Bitmap dst = Filled(6, 1, kW);
        Canvas c(dst);
        c.Stretch({0, 0, 2, 1}, src, {0, 0, 3, 1});
        c.Stretch({2, 0, 6, 1}, src, {2, 0, 3, 1});
        EXPECT_EQ(Row(dst, 0), (std::vector<Color>{kR, kG, kB, kB, kB, kB}));
    }
    {
        // Destination partly outside the target: only the inside is written, with the sampling of
        // the whole destination rectangle.
        Bitmap dst = Filled(3, 1, kW);
        Canvas c(dst);
        c.Stretch({-3, 0, 3, 1}, src, {0, 0, 3, 1});
        EXPECT_EQ(Row(dst, 0), (std::vector<Color>{kG, kB, kB}));
    }
}

TEST(Canvas, KeyedStretchLeavesKeyPixelsUnchanged) {
    const Bitmap src = Bitmap::FromPixels(2, 2, {kKey, kR, kG, kKey});
    Bitmap dst = Filled(4, 4, kB);
    Canvas c(dst);
    c.StretchKeyed({0, 0, 4, 4}, src, {0, 0, 2, 2}, kKey);
    EXPECT_EQ(Row(dst, 0), (std::vector<Color>{kB, kB, kR, kR}));
    EXPECT_EQ(Row(dst, 3), (std::vector<Color>{kG, kG, kB, kB}));
    // The same copy opaque copies the key colour too.
    c.Stretch({0, 0, 4, 4}, src, {0, 0, 2, 2});
    EXPECT_EQ(dst.Pixel(0, 0), kKey);
}

TEST(Canvas, FillFrameAndCopy) {
    Bitmap dst = Filled(6, 5, kW);
    Canvas c(dst);
    c.Frame({1, 1, 5, 4}, kR);
    EXPECT_EQ(Row(dst, 0), (std::vector<Color>(6, kW)));
    EXPECT_EQ(Row(dst, 1), (std::vector<Color>{kW, kR, kR, kR, kR, kW}));
    EXPECT_EQ(Row(dst, 2), (std::vector<Color>{kW, kR, kW, kW, kR, kW}));
    EXPECT_EQ(Row(dst, 3), (std::vector<Color>{kW, kR, kR, kR, kR, kW}));
    EXPECT_EQ(Row(dst, 4), (std::vector<Color>(6, kW)));

    c.Fill({-10, -10, 1, 100}, kG);  // clipped to the bitmap
    EXPECT_EQ(dst.Pixel(0, 4), kG);
    EXPECT_EQ(dst.Pixel(1, 4), kW);
    c.Fill({3, 3, 3, 9}, kB);  // empty: nothing
    EXPECT_EQ(dst.Pixel(3, 3), kR);

    // Unscaled copy; source pixels beyond the source bitmap read black.
    const Bitmap src = Bitmap::FromPixels(2, 1, {kR, kB});
    c.Copy({3, 0}, {3, 1}, src, {0, 0});
    EXPECT_EQ(Row(dst, 0), (std::vector<Color>{kG, kW, kW, kR, kB, kK}));
    // An empty source is skipped.
    c.Copy({0, 0}, {6, 5}, Bitmap(), {0, 0});
    c.Stretch({0, 0, 6, 5}, Bitmap(), {0, 0, 1, 1});
    EXPECT_EQ(dst.Pixel(3, 0), kR);
}

// --- text
// ------------------------------------------------------------------------------------------

struct Ink {
    int count = 0;
    Rect box{1 << 20, 1 << 20, -1, -1};
};

Ink InkOf(const Bitmap& b, Color background) {
    Ink ink;
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            if (b.Pixel(x, y) == background)
                continue;
            ++ink.count;
            ink.box.left = std::min(ink.box.left, x);
            ink.box.top = std::min(ink.box.top, y);
            ink.box.right = std::max(ink.box.right, x + 1);
            ink.box.bottom = std::max(ink.box.bottom, y + 1);
        }
    }
    return ink;
}

FontSpec Song(int height, int weight) {
    return FontSpec{.height = height,
                    .weight = weight,
                    .charset = 136,
                    .quality = 2,
                    .pitchAndFamily = 0x20,
                    .face = L"宋体"};
}

TEST(Canvas, TextIsDrawnInItsRectangleOnly) {
    const Font font(Song(13, FW_NORMAL));
    ASSERT_FALSE(font.IsEmpty());
    Bitmap b = Filled(200, 60, kK);
    Canvas c(b);
    c.SelectFont(&font);
    const Size size = c.MeasureString(L"开始升级");
    // A CJK face: four square glyphs of about the cell height, on a line a little taller (a
    // face standing in for the named one may draw them a little narrower).
    EXPECT_GE(size.cy, 13);
    EXPECT_LE(size.cy, 18);
    EXPECT_GE(size.cx, 4 * 10);
    EXPECT_LE(size.cx, 4 * 16);

    c.SetBackgroundMode(BackgroundMode::kTransparent);
    c.SetTextColor(kW);
    const Rect rect{20, 10, 180, 50};
    c.DrawString(L"开始升级", rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    const Ink ink = InkOf(b, kK);
    ASSERT_GT(ink.count, 40);
    EXPECT_GE(ink.box.left, rect.left);
    EXPECT_LE(ink.box.right, rect.right);
    // Centred: the ink's middle is within a few pixels of the rectangle's.
    EXPECT_NEAR((ink.box.left + ink.box.right) / 2.0, (rect.left + rect.right) / 2.0, 3.0);
    EXPECT_NEAR((ink.box.top + ink.box.bottom) / 2.0, (rect.top + rect.bottom) / 2.0, 3.0);
}

TEST(Canvas, TextLayoutFlags) {
    const Font font(Song(13, FW_BOLD));
    const std::wstring longText = L"一二三四五六七八九十一二三四五六七八九十";
    struct Case {
        const char* name;
        unsigned format;
        Rect rect;
    };
    for (const Case& t :
         {Case{"top-left", DT_SINGLELINE, {32, 12, 385, 205}},
          Case{"clipped", DT_SINGLELINE, {10, 10, 60, 40}},
          Case{"ellipsis", DT_SINGLELINE | DT_END_ELLIPSIS | DT_CENTER, {10, 10, 60, 40}}}) {
        SCOPED_TRACE(t.name);
        Bitmap b = Filled(400, 220, kK);
        Canvas c(b);
        c.SelectFont(&font);
        c.SetBackgroundMode(BackgroundMode::kTransparent);
        c.SetTextColor(kW);
        c.DrawString(longText, t.rect, t.format);
        const Ink ink = InkOf(b, kK);
        ASSERT_GT(ink.count, 0);
        EXPECT_GE(ink.box.left, t.rect.left);
        EXPECT_GE(ink.box.top, t.rect.top);
        EXPECT_LE(ink.box.right, t.rect.right);
        EXPECT_LE(ink.box.bottom, t.rect.bottom);
        if (t.format == DT_SINGLELINE && t.rect.left == 32) {
            EXPECT_LE(ink.box.left, t.rect.left + 2);  // starts at the left edge
            EXPECT_LE(ink.box.top, t.rect.top + 4);    // and at the top
        }
    }
    // The ellipsis shows fewer glyphs than plain clipping: its last pixels column is free.
    Bitmap clipped = Filled(100, 40, kK), ellipsis = Filled(100, 40, kK);
    for (Bitmap* b : {&clipped, &ellipsis}) {
        Canvas c(*b);
        c.SelectFont(&font);
        c.SetBackgroundMode(BackgroundMode::kTransparent);
        c.SetTextColor(kW);
        c.DrawString(longText, {0, 0, 50, 40},
                     DT_SINGLELINE | (b == &ellipsis ? DT_END_ELLIPSIS : 0u));
    }
    EXPECT_NE(clipped.Pixels(), ellipsis.Pixels());
}

TEST(Canvas, OpaqueTextBackgroundAndPrefixes) {
    const Font font(FontSpec{.height = 14, .face = L"Arial"});
    Bitmap plain = Filled(120, 30, kK), prefixed = Filled(120, 30, kK);
    for (Bitmap* b : {&plain, &prefixed}) {
        Canvas c(*b);
        c.SelectFont(&font);
        c.SetTextColor(kW);
        c.SetBackgroundColor(kB);  // opaque by default
        c.DrawString(b == &plain ? L"Retry" : L"&Retry", {0, 0, 120, 30}, DT_SINGLELINE);
    }
    EXPECT_EQ(plain.Pixel(1, 1), kB);
    EXPECT_EQ(plain.Pixels(), prefixed.Pixels());
}

// --- bitmap files ------------------------------------------------------------------------------

void Put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// A BMP file: bits per pixel, width, height (negative: top-down), palette, packed rows.
std::string Bmp(int bpp, int w, int h, const std::vector<uint32_t>& palette,
                const std::string& rows) {
    std::string info;
    Put32(info, 40);
    Put32(info, static_cast<uint32_t>(w));
    Put32(info, static_cast<uint32_t>(h));
    Put16(info, 1);
    Put16(info, static_cast<uint32_t>(bpp));
    Put32(info, 0);
    Put32(info, static_cast<uint32_t>(rows.size()));
    Put32(info, 2835);
    Put32(info, 2835);
    Put32(info, static_cast<uint32_t>(palette.size()));
    Put32(info, 0);
    for (uint32_t p : palette)
        Put32(info, p);  // 0x00RRGGBB as B, G, R, 0
    std::string file = "BM";
    Put32(file, static_cast<uint32_t>(14 + info.size() + rows.size()));
    Put32(file, 0);
    Put32(file, static_cast<uint32_t>(14 + info.size()));
    return file + info + rows;
}

Bitmap FromBytes(const std::string& s) {
    return Bitmap::FromBmpData(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

TEST(BitmapFiles, ReadsTheUsualDepths) {
    // 24 bits, bottom-up, rows padded to 4 bytes: 3 pixels = 9 bytes + 3.
    std::string rows24;
    rows24 += std::string(
        "\x00\x00\xFF"
        "\x00\xFF\x00"
        "\xFF\x00\x00"
        "\0\0\0",
        12);  // bottom
    rows24 += std::string(
        "\xFF\x00\xFF"
        "\xFF\xFF\xFF"
        "\x00\x00\x00"
        "\0\0\0",
        12);  // top
    const Bitmap b24 = FromBytes(Bmp(24, 3, 2, {}, rows24));
    ASSERT_EQ(b24.GetSize(), (Size{3, 2}));
    EXPECT_EQ(Row(b24, 0), (std::vector<Color>{kKey, kW, kK}));
    EXPECT_EQ(Row(b24, 1), (std::vector<Color>{kR, kG, kB}));

    // 32 bits, top-down.
    std::string rows32(
        "\x00\x00\xFF\x00"
        "\xFF\x00\x00\x00",
        8);
    const Bitmap b32 = FromBytes(Bmp(32, 1, -2, {}, rows32));
    ASSERT_EQ(b32.GetSize(), (Size{1, 2}));
    EXPECT_EQ(b32.Pixel(0, 0), kR);
    EXPECT_EQ(b32.Pixel(0, 1), kB);

    // 8 bits with a palette; 1 bit.
    const Bitmap b8 =
        FromBytes(Bmp(8, 2, 1, {0x00FF0000, 0x0000FF00}, std::string("\x01\x00\0\0", 4)));
    EXPECT_EQ(Row(b8, 0), (std::vector<Color>{kG, kR}));
    const Bitmap b1 = FromBytes(Bmp(1, 3, 1, {0x000000, 0xFFFFFF}, std::string("\xA0\0\0\0", 4)));
    EXPECT_EQ(Row(b1, 0), (std::vector<Color>{kW, kK, kW}));
}

TEST(BitmapFiles, RefusesWhatIsNotASupportedBitmap) {
    std::string good = Bmp(24, 1, 1, {}, std::string("\0\0\0\0", 4));
    ASSERT_FALSE(FromBytes(good).IsEmpty());
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string truncated = good.substr(0, good.size() - 2);
    std::string badMagic = good;
    badMagic[0] = 'X';
    std::string huge = Bmp(24, 100000, 1, {}, std::string(4, '\0'));
    std::string rle = good;
    rle[14 + 16] = 1;  // BI_RLE8
    std::string badOffset = good;
    badOffset[10] = '\x7F';
    badOffset[11] = '\x7F';
    for (const Case& c : {Case{"empty", ""}, Case{"truncated", truncated}, Case{"magic", badMagic},
                          Case{"huge", huge}, Case{"rle", rle}, Case{"offset", badOffset}}) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(FromBytes(c.bytes).IsEmpty());
    }
    EXPECT_TRUE(Bitmap::FromBmpFile(L"/nonexistent/x.bmp").IsEmpty());
}

TEST(BitmapFiles, FileAndResourceAndPng) {
    testing_support::TempDir dir;
    std::string rows(
        "\x00\x00\xFF"
        "\x00\xFF\x00"
        "\0\0",
        8);
    static const std::string bytes = Bmp(24, 2, 1, {}, rows);
    testing_support::WriteFileBytes(dir / L"a.bmp", bytes);
    const Bitmap fromFile = Bitmap::FromBmpFile(dir / L"a.bmp");
    EXPECT_EQ(Row(fromFile, 0), (std::vector<Color>{kR, kG}));

    static int id = 9000;  // a fresh id on every repetition of the test
    ++id;
    EXPECT_TRUE(Bitmap::FromResource(id).IsEmpty());
    RegisterBitmapResource(id, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(Row(Bitmap::FromResource(id), 0), (std::vector<Color>{kR, kG}));

    // The PNG holds the same pixels.
    ASSERT_TRUE(fromFile.SavePng(dir / L"a.png"));
    const std::string png = testing_support::ReadFileBytes(dir / L"a.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
    const size_t idat = png.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    const uint32_t length =
        (static_cast<uint8_t>(png[idat - 4]) << 24) | (static_cast<uint8_t>(png[idat - 3]) << 16) |
        (static_cast<uint8_t>(png[idat - 2]) << 8) | static_cast<uint8_t>(png[idat - 1]);
    std::vector<uint8_t> raw(64);
    uLongf rawSize = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &rawSize,
                         reinterpret_cast<const Bytef*>(png.data() + idat + 4), length),
              Z_OK);
    EXPECT_EQ(std::vector<uint8_t>(raw.begin(), raw.begin() + rawSize),
              (std::vector<uint8_t>{0, 255, 0, 0, 0, 255, 0}));
    EXPECT_FALSE(Bitmap().SavePng(dir / L"empty.png"));
}

}  // namespace
