#include "ui/skin_button.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "ui_harness.h"
#include "worker/work_thread.h"

namespace {

using platform::Bitmap;
using platform::Color;
using platform::Point;
using platform::Rect;
using platform::Rgb;
namespace input = platform::input;

constexpr Color kKey = Rgb(255, 0, 255);
constexpr int kCellWidth = 72;
constexpr int kCellHeight = 22;

// A strip whose every pixel tells where it came from, with the key in the caps' outer corners.
Bitmap MakeStrip() {
    std::vector<Color> pixels;
    for (int y = 0; y < 4 * kCellHeight; ++y) {
        for (int x = 0; x < kCellWidth; ++x) {
            const int cy = y % kCellHeight;
            const bool corner =
                (x == 0 || x == kCellWidth - 1) && (cy == 0 || cy == kCellHeight - 1);
            pixels.push_back(
                corner ? kKey : Rgb(static_cast<uint8_t>(x * 3), static_cast<uint8_t>(y * 2), 17));
        }
    }
    return Bitmap::FromPixels(kCellWidth, 4 * kCellHeight, pixels);
}

// The owner: a top-level window that counts the button's notify messages.
class Owner : public platform::Window {
  public:
    platform::LResult WindowProc(unsigned message, platform::WParam wParam,
                                 platform::LParam lParam) override {
        if (uitest::HandleRunOnUi(message, lParam)) {
            return 0;
        }
        if (message == WM_UPDATE_START) {
            ++m_clicks;
        }
        return Window::WindowProc(message, wParam, lParam);
    }
    int m_clicks = 0;
};

struct ButtonSetup {
    int width = 72;
    int leftEdge = 8;
    int rightEdge = 8;
    bool skinned = true;
    std::wstring caption;
};

// The owner and its button on a thread of their own.
class ButtonHarness {
  public:
    explicit ButtonHarness(const ButtonSetup& setup) {
        input::MovePointer({1, 1});  // away from where the button appears
        std::promise<platform::WindowHandle> ready;
        auto handle = ready.get_future();
        m_thread = std::thread([this, setup, &ready] {
            Bitmap strip = MakeStrip();
            Owner owner;
            CSkinButtonEx button;
            platform::WindowSpec desc;
            desc.style = WS_POPUP | WS_VISIBLE;
            desc.rect = {200, 200, 500, 300};
            owner.Create(desc);
            button.CreateButton(setup.caption, {20, 30, 20 + setup.width, 30 + kCellHeight}, &owner,
                                7, WM_UPDATE_START);
            if (setup.skinned) {
                button.m_pSkin = &strip;
                button.m_nCellWidth = kCellWidth;
                button.m_nCellHeight = kCellHeight;
                button.m_nLeftEdge = setup.leftEdge;
                button.m_nRightEdge = setup.rightEdge;
            }
            m_owner = &owner;
            m_button = &button;
            ready.set_value(owner.Handle());
            platform::RunMessageLoop();
            owner.Destroy();
        });
        m_handle = handle.get();
        input::WaitUntilIdle(m_handle);
    }
    ~ButtonHarness() {
        uitest::OnUi(m_handle, [] { platform::PostQuit(0); });
        m_thread.join();
    }

    template <class F>
    auto Ui(F f) {
        CSkinButtonEx* b = m_button;
        return uitest::OnUi(m_handle, [b, &f] { return f(*b); });
    }
    int Clicks() {
        Owner* o = m_owner;
        return uitest::OnUi(m_handle, [o] { return o->m_clicks; });
    }
    int Cell() {
        return Ui([](CSkinButtonEx& b) { return b.CurrentCell(); });
    }
    Bitmap Face() {
        input::WaitUntilIdle(m_handle);
        return input::CaptureWindow(Ui([](CSkinButtonEx& b) { return b.Handle(); }));
    }
    Point Inside() { return {230, 240}; }
    Point Outside() { return {400, 280}; }
    void Move(Point p) {
        input::MovePointer(p);
        input::WaitUntilIdle(m_handle);
    }
    void Press() {
        input::PressLeft();
        input::WaitUntilIdle(m_handle);
    }
    void Release() {
        input::ReleaseLeft();
        input::WaitUntilIdle(m_handle);
    }
    // Disabling a window does not repaint it by itself; its owner asks for that.
    void Disable() {
        Ui([](CSkinButtonEx& button) {
            button.Enable(false);
            button.Invalidate();
        });
    }

  private:
    std::thread m_thread;
    platform::WindowHandle m_handle = nullptr;
    Owner* m_owner = nullptr;
    CSkinButtonEx* m_button = nullptr;
};

// The picture a skinned button of the given width shows for a cell.
Color ExpectedPixel(const Bitmap& strip, const ButtonSetup& s, int cell, int x, int y) {
    const int sy = cell * kCellHeight + y;
    int sx;
    if (s.leftEdge == 0 && s.rightEdge == 0) {
        sx = x;  // copied unscaled, key included
        return strip.Pixel(sx, sy);
    }
    if (x < s.leftEdge) {
        sx = x;
    } else if (x >= s.width - s.rightEdge) {
        sx = kCellWidth - (s.width - x);
    } else {
        sx = s.leftEdge;  // the one column between the caps, repeated
    }
    const Color c = strip.Pixel(sx, sy);
    return c == kKey ? Rgb(82, 81, 82) : c;
}

void ExpectFace(const Bitmap& face, const ButtonSetup& s, int cell) {
    const Bitmap strip = MakeStrip();
    ASSERT_EQ(face.Width(), s.width);
    int mismatches = 0;
    for (int y = 0; y < kCellHeight; ++y) {
        for (int x = 0; x < s.width; ++x) {
            if (face.Pixel(x, y) != ExpectedPixel(strip, s, cell, x, y) && ++mismatches <= 3) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") of cell " << cell;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(SkinButtonTest, CapsStayAndTheMiddleColumnRepeatsInEveryLook) {
    const ButtonSetup setups[] = {{72, 8, 8}, {150, 8, 8}, {72, 0, 0}};
    for (const ButtonSetup& s : setups) {
        SCOPED_TRACE(testing::Message() << s.width << " wide, caps " << s.leftEdge);
        ButtonHarness b(s);
        ExpectFace(b.Face(), s, 0);
        b.Move(b.Inside());
        ExpectFace(b.Face(), s, 1);
        b.Press();
        ExpectFace(b.Face(), s, 2);
        b.Release();
        b.Disable();
        ExpectFace(b.Face(), s, 3);
    }
}

TEST(SkinButtonTest, PressDragOffAndBackPostsOneClick) {
    ButtonHarness b({});
    b.Move(b.Inside());
    b.Press();
    EXPECT_EQ(b.Cell(), 2);
    b.Move(b.Outside());
    EXPECT_EQ(b.Cell(), 1);
    b.Move(b.Inside());
    EXPECT_EQ(b.Cell(), 2);
    b.Release();
    EXPECT_EQ(b.Clicks(), 1);
    EXPECT_EQ(b.Cell(), 1);  // still under the pointer
}

TEST(SkinButtonTest, ReleaseOutsideCancelsTheClick) {
    ButtonHarness b({});
    b.Move(b.Inside());
    b.Press();
    b.Move(b.Outside());
    b.Release();
    EXPECT_EQ(b.Clicks(), 0);
    EXPECT_EQ(b.Cell(), 0);
}

TEST(SkinButtonTest, ReleaseWithoutAPressOnTheButtonPostsNothing) {
    ButtonHarness b({});
    b.Move(b.Outside());
    b.Press();  // on the owner
    b.Move(b.Inside());
    b.Release();
    EXPECT_EQ(b.Clicks(), 0);
}

TEST(SkinButtonTest, DisabledButtonTakesNoPress) {
    ButtonHarness b({});
    b.Disable();
    b.Move(b.Inside());
    b.Press();
    b.Release();
    EXPECT_EQ(b.Clicks(), 0);
    EXPECT_EQ(b.Cell(), 3);
}

TEST(SkinButtonTest, LeavingClearsTheHighlight) {
    ButtonHarness b({});
    b.Move(b.Inside());
    EXPECT_EQ(b.Cell(), 1);
    b.Move(b.Outside());
    EXPECT_EQ(b.Cell(), 0);
}

TEST(SkinButtonTest, WithoutASkinTheButtonIsPlain) {
    struct Row {
        bool over, pressed, enabled;
        Color fill, outline;
    };
    const Row rows[] = {
        {false, false, true, Rgb(60, 60, 60), Rgb(159, 159, 159)},
        {true, false, true, Rgb(90, 90, 90), Rgb(159, 159, 159)},
        {true, true, true, Rgb(40, 40, 40), Rgb(159, 159, 159)},
        {false, false, false, Rgb(247, 243, 247), Rgb(206, 203, 206)},
    };
    for (const Row& r : rows) {
        ButtonSetup s;
        s.skinned = false;
        ButtonHarness b(s);
        if (!r.enabled) {
            b.Disable();
        }
        if (r.over) {
            b.Move(b.Inside());
        }
        if (r.pressed) {
            b.Press();
        }
        const Bitmap face = b.Face();
        EXPECT_EQ(face.Pixel(5, 5), r.fill);
        EXPECT_EQ(face.Pixel(0, 0), r.outline);
        EXPECT_EQ(face.Pixel(71, 21), r.outline);
        if (r.pressed) {
            b.Release();
        }
    }
}

TEST(SkinButtonTest, CaptionIsDrawnCentredInItsColour) {
    ButtonSetup s;
    s.caption = L"开始升级";
    ButtonHarness b(s);
    b.Ui([](CSkinButtonEx& button) {
        button.m_crText = Rgb(58, 30, 7);
        button.Invalidate();
    });
    const Bitmap face = b.Face();
    const Bitmap strip = MakeStrip();
    // The ink of the caption: as far from the left edge as from the right, and from the top as
    // from the bottom, within a pixel or two of rounding.
    int left = 72, right = -1, top = kCellHeight, bottom = -1;
    bool caption = false;
    for (int y = 0; y < kCellHeight; ++y) {
        for (int x = 0; x < 72; ++x) {
            if (face.Pixel(x, y) != ExpectedPixel(strip, s, 0, x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                caption = caption || face.Pixel(x, y) == Rgb(58, 30, 7);
            }
        }
    }
    ASSERT_GE(right, left);
    EXPECT_NEAR(left, 71 - right, 2);
    EXPECT_NEAR(top, kCellHeight - 1 - bottom, 2);
    EXPECT_TRUE(caption);
}

}  // namespace
