// Painting (invalidation, erase, children, clipping) and synthetic pointer and key input.
#include <gtest/gtest.h>

#include <memory>

#include "platform/window.h"
#include "platform/window_input.h"
#include "window/window_test_util.h"

using namespace platform;
using window_test::ChildOf;
using window_test::RecordingWindow;
using window_test::TopLevel;

namespace {

constexpr Color kRed = Rgb(255, 0, 0), kBlue = Rgb(0, 0, 255), kGreen = Rgb(0, 255, 0);

// Paints its whole client area in one colour through an off-screen bitmap, as the dialog does.
class SolidWindow : public RecordingWindow {
  public:
    explicit SolidWindow(Color c) : m_color(c) {}
    Color m_color;
    int m_paints = 0;
    Rect m_lastArea;
    int m_hit = HTCLIENT;

    LResult WindowProc(unsigned m, WParam w, LParam l) override {
        Record(m, w, l);
        LResult hooked = 0;
        if (m_hook && m_hook(m, w, l, hooked))
            return hooked;
        switch (m) {
            case WM_PAINT: {
                PaintScope paint(*this);
                ++m_paints;
                m_lastArea = paint.Area();
                const Rect client = ClientRect();
                Bitmap off = Bitmap::Create(client.Width(), client.Height());
                {
                    Canvas mem(off);
                    mem.Fill(client, m_color);
                }
                paint.GetCanvas().Copy({0, 0}, client.GetSize(), off, {0, 0});
                return 0;
            }
            case WM_ERASEBKGND:
                return 1;
            case WM_NCHITTEST:
                return m_hit;
            default:
                return DefaultProc(m, w, l);
        }
    }
};

TEST(Painting, InvalidationPaintsOnlyTheInvalidAreaAndNeverErases) {
    SolidWindow w(kRed);
    ASSERT_TRUE(w.Create(TopLevel({100, 100, 140, 130})));
    ProcessPendingMessages();
    // Shown: one erase request and one paint of everything.
    EXPECT_EQ(w.Messages({WM_ERASEBKGND}).size(), 1u);
    EXPECT_EQ(w.m_paints, 1);
    EXPECT_EQ(w.m_lastArea, (Rect{0, 0, 40, 30}));
    Bitmap shot = input::CaptureWindow(w.Handle());
    EXPECT_EQ(shot.Pixel(0, 0), kRed);
    EXPECT_EQ(shot.Pixel(39, 29), kRed);

    w.Clear();
    w.m_color = kBlue;
    w.Invalidate({10, 5, 20, 15});
    w.Invalidate({15, 10, 25, 20});  // gathered into one paint
    EXPECT_EQ(w.InvalidArea(), (Rect{10, 5, 25, 20}));
    ProcessPendingMessages();
    EXPECT_EQ(w.m_paints, 2);
    EXPECT_TRUE(w.Messages({WM_ERASEBKGND}).empty());
    EXPECT_EQ(w.m_lastArea, (Rect{10, 5, 25, 20}));
    EXPECT_TRUE(w.InvalidArea().IsEmpty());
    shot = input::CaptureWindow(w.Handle());
    EXPECT_EQ(shot.Pixel(10, 5), kBlue);
    EXPECT_EQ(shot.Pixel(24, 19), kBlue);
    EXPECT_EQ(shot.Pixel(9, 5), kRed);
    EXPECT_EQ(shot.Pixel(25, 19), kRed);

    // Nothing invalid: no paint. PaintNow paints at once.
    ProcessPendingMessages();
    EXPECT_EQ(w.m_paints, 2);
    w.Invalidate();
    w.PaintNow();
    EXPECT_EQ(w.m_paints, 3);
}

TEST(Painting, ChildrenPaintOverTheirParentAndHiddenOnesDoNot) {
    SolidWindow parent(kBlue);
    SolidWindow child(kGreen), hidden(kRed);
    ASSERT_TRUE(parent.Create(TopLevel({0, 0, 50, 40})));
    ASSERT_TRUE(child.Create(ChildOf(parent, {10, 10, 30, 20})));
    ASSERT_TRUE(hidden.Create(ChildOf(parent, {0, 0, 5, 5}, 0, WS_CHILD)));
    ProcessPendingMessages();
    Bitmap shot = input::CaptureWindow(parent.Handle());
    EXPECT_EQ(shot.Pixel(0, 0), kBlue);
    EXPECT_EQ(shot.Pixel(10, 10), kGreen);
    EXPECT_EQ(shot.Pixel(29, 19), kGreen);
    EXPECT_EQ(shot.Pixel(30, 19), kBlue);
    EXPECT_EQ(hidden.m_paints, 0);
    EXPECT_EQ(input::CaptureWindow(child.Handle()).Pixel(0, 0), kGreen);

    // Repainting the parent over the child repaints the child after it.
    const int before = child.m_paints;
    parent.Invalidate();
    ProcessPendingMessages();
    EXPECT_EQ(child.m_paints, before + 1);
    EXPECT_EQ(input::CaptureWindow(parent.Handle()).Pixel(15, 15), kGreen);

    // A child paints inside itself only, even when it draws beyond.
    child.Move({40, 30, 70, 60});
    ProcessPendingMessages();
    shot = input::CaptureWindow(parent.Handle());
    EXPECT_EQ(shot.Pixel(15, 15), kBlue);  // uncovered part repainted by the parent
    EXPECT_EQ(shot.Pixel(45, 35), kGreen);

    hidden.Show(ShowCommand::kShow);
    ProcessPendingMessages();
    EXPECT_EQ(hidden.m_paints, 1);
    EXPECT_EQ(input::CaptureWindow(parent.Handle()).Pixel(0, 0), kRed);
}

TEST(Input, PointerMessagesFollowTheHitTest) {
    SolidWindow face(kBlue);
    face.m_hit = HTCAPTION;
    SolidWindow button(kGreen);
    ASSERT_TRUE(face.Create(TopLevel({100, 100, 200, 160})));
    ASSERT_TRUE(button.Create(ChildOf(face, {20, 10, 40, 30})));
    ProcessPendingMessages();
    face.Clear();
    button.Clear();

    input::MovePointer({105, 107});
    input::MovePointer({125, 115});  // over the button
    ProcessPendingMessages();
    auto f = face.All();
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f[0].message, WM_NCHITTEST);
    EXPECT_EQ(f[0].lParam, PackPoint({105, 107}));
    ASSERT_EQ(face.Messages({WM_NCMOUSEMOVE, WM_MOUSEMOVE}),
              (std::vector<unsigned>{WM_NCMOUSEMOVE}));
    for (const auto& r : f) {
        if (r.message == WM_NCMOUSEMOVE) {
            EXPECT_EQ(r.wParam, static_cast<WParam>(HTCAPTION));
            EXPECT_EQ(r.lParam, PackPoint({105, 107}));
        }
    }
    auto b = button.All();
    ASSERT_EQ(button.Messages({WM_MOUSEMOVE}).size(), 1u);
    EXPECT_EQ(b.back().message, WM_MOUSEMOVE);
    EXPECT_EQ(b.back().lParam, PackPoint({5, 5}));

    // Press, capture, move outside, release: all to the button, in its client coordinates.
    button.m_hook = [&](unsigned m, WParam, LParam, LResult&) {
        if (m == WM_LBUTTONDOWN)
            button.SetCapture();
        if (m == WM_LBUTTONUP)
            Window::ReleaseCapture();
        return false;
    };
    button.Clear();
    input::PressLeft();
    ProcessPendingMessages();
    EXPECT_TRUE(button.HasCapture());
    input::MovePointer({90, 90});
    input::ReleaseLeft();
    ProcessPendingMessages();
    EXPECT_FALSE(button.HasCapture());
    const auto got = button.All();
    std::vector<std::pair<unsigned, LParam>> mouse;
    for (const auto& r : got) {
        if (r.message == WM_LBUTTONDOWN || r.message == WM_MOUSEMOVE || r.message == WM_LBUTTONUP) {
            mouse.emplace_back(r.message, r.lParam);
        }
    }
    EXPECT_EQ(mouse,
              (std::vector<std::pair<unsigned, LParam>>{{WM_LBUTTONDOWN, PackPoint({5, 5})},
                                                        {WM_MOUSEMOVE, PackPoint({-30, -20})},
                                                        {WM_LBUTTONUP, PackPoint({-30, -20})}}));
    EXPECT_EQ(UnpackPoint(PackPoint({-30, -20})), (Point{-30, -20}));
}

TEST(Input, LeaveNotificationIsSentOnceWhenThePointerLeaves) {
    SolidWindow face(kBlue);
    SolidWindow button(kGreen);
    ASSERT_TRUE(face.Create(TopLevel({0, 0, 100, 60})));
    ASSERT_TRUE(button.Create(ChildOf(face, {20, 10, 40, 30})));
    input::MovePointer({25, 15});
    button.TrackMouseLeave();
    input::MovePointer({26, 16});
    ProcessPendingMessages();
    EXPECT_TRUE(button.Messages({WM_MOUSELEAVE}).empty());
    input::MovePointer({5, 5});
    input::MovePointer({6, 6});
    ProcessPendingMessages();
    EXPECT_EQ(button.Messages({WM_MOUSELEAVE}).size(), 1u);
    // Asking while the pointer is elsewhere answers at once.
    button.TrackMouseLeave();
    ProcessPendingMessages();
    EXPECT_EQ(button.Messages({WM_MOUSELEAVE}).size(), 2u);
}

TEST(Input, CaptionDragMovesTheWindowAndColourKeyLetsClicksThrough) {
    SolidWindow below(kRed);
    SolidWindow face(kBlue);
    face.m_hit = HTCAPTION;
    ASSERT_TRUE(below.Create(TopLevel({0, 0, 300, 300})));
    ASSERT_TRUE(face.Create(TopLevel({100, 100, 200, 160})));
    ProcessPendingMessages();

    input::MovePointer({110, 110});
    input::PressLeft();
    ProcessPendingMessages();  // default handling of WM_NCLBUTTONDOWN starts the drag
    input::MovePointer({130, 150});
    ProcessPendingMessages();
    input::ReleaseLeft();
    EXPECT_EQ(face.WindowRect(), (Rect{120, 140, 220, 200}));
    input::MovePointer({135, 155});
    ProcessPendingMessages();
    EXPECT_EQ(face.WindowRect(), (Rect{120, 140, 220, 200}));

    // Pixels of the key colour belong to the window below.
    face.m_color = Rgb(255, 0, 255);
    face.SetColorKey(Rgb(255, 0, 255));
    face.Invalidate();
    ProcessPendingMessages();
    below.Clear();
    face.Clear();
    input::MovePointer({150, 150});
    ProcessPendingMessages();
    EXPECT_EQ(below.Messages({WM_MOUSEMOVE}).size(), 1u);
    EXPECT_TRUE(face.Messages({WM_NCMOUSEMOVE, WM_MOUSEMOVE}).empty());
    EXPECT_NE(face.ExStyle() & WS_EX_LAYERED, 0u);
}

TEST(Input, KeysGoToTheFocusWindowAndDisabledWindowsLoseIt) {
    SolidWindow face(kBlue);
    SolidWindow a(kGreen), b(kRed);
    ASSERT_TRUE(face.Create(TopLevel({0, 0, 100, 60})));
    ASSERT_TRUE(a.Create(ChildOf(face, {0, 0, 10, 10})));
    ASSERT_TRUE(b.Create(ChildOf(face, {20, 0, 30, 10})));
    a.SetFocus();
    EXPECT_TRUE(a.HasFocus());
    b.SetFocus();
    EXPECT_EQ(a.Messages({WM_SETFOCUS, WM_KILLFOCUS}),
              (std::vector<unsigned>{WM_SETFOCUS, WM_KILLFOCUS}));
    input::PressKey(VK_RETURN);
    ProcessPendingMessages();
    EXPECT_EQ(b.Messages({WM_KEYDOWN, WM_KEYUP}), (std::vector<unsigned>{WM_KEYDOWN, WM_KEYUP}));
    b.Enable(false);
    EXPECT_FALSE(b.IsEnabled());
    EXPECT_EQ(Window::FocusWindow(), nullptr);
    // A disabled child takes no pointer input; its parent does.
    face.Clear();
    input::MovePointer({25, 5});
    ProcessPendingMessages();
    EXPECT_EQ(face.Messages({WM_MOUSEMOVE}).size(), 1u);
}

TEST(Input, MinimiseAndBringToFront) {
    SolidWindow w(kBlue);
    ASSERT_TRUE(w.Create(TopLevel({0, 0, 100, 60})));
    w.Show(ShowCommand::kMinimize);
    EXPECT_TRUE(w.IsIconic());
    ASSERT_FALSE(w.All().empty());
    EXPECT_EQ(w.All().back().message, WM_SIZE);
    EXPECT_EQ(w.All().back().wParam, SIZE_MINIMIZED);
    // A minimised window takes no pointer input.
    w.Clear();
    input::MovePointer({10, 10});
    ProcessPendingMessages();
    EXPECT_TRUE(w.Messages({WM_MOUSEMOVE}).empty());
    w.BringToFront();
    EXPECT_FALSE(w.IsIconic());
    EXPECT_EQ(input::ActiveWindow(), w.Handle());
    EXPECT_TRUE(w.HasFocus());
}

}  // namespace
