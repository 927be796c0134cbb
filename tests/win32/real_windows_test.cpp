// What only a real window system shows: the colour key seen on the screen, the browser control
// hosted in the notes view, the foreground taken from another thread, and the styles the update
// window and its buttons are made with. Skipped where the windows are the headless ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "launch/settings.h"
#include "platform/screen.h"
#include "platform/window.h"
#include "platform/window_input.h"
#include "ui/explorer.h"
#include "ui/resource_ids.h"
#include "ui/dialog_harness.h"
#include "ui/ui_test_util.h"

namespace {

using platform::Color;
using platform::Rect;
using platform::Rgb;
using platform::WindowHandle;
namespace input = platform::input;
namespace screen = platform::screen;

constexpr Color kKey = Rgb(255, 0, 255);
constexpr unsigned kRightButtonDown = 0x0204;
constexpr unsigned kRightButtonUp = 0x0205;

// A top-level window painted in one colour, or in two halves when split.
class Solid : public platform::Window {
  public:
    Solid(Color left, Color right) : m_left(left), m_right(right) {}
    platform::LResult WindowProc(unsigned message, platform::WParam wParam,
                                 platform::LParam lParam) override {
        if (uitest::HandleRunOnUi(message, lParam)) {
            return 0;
        }
        if (message == WM_PAINT) {
            platform::PaintScope paint(*this);
            const Rect c = ClientRect();
            paint.GetCanvas().Fill({0, 0, c.right / 2, c.bottom}, m_left);
            paint.GetCanvas().Fill({c.right / 2, 0, c.right, c.bottom}, m_right);
            return 0;
        }
        if (message == WM_ERASEBKGND) {
            return 1;
        }
        return DefaultProc(message, wParam, lParam);
    }

  private:
    Color m_left, m_right;
};

// Windows made on a thread of their own, which runs its message loop until asked to end and then
// destroys them there; the first window's handle stands for the thread.
class WindowThread {
  public:
    using Windows = std::vector<std::unique_ptr<platform::Window>>;
    // setup makes the windows (the first one first) and may keep pointers to them.
    explicit WindowThread(std::function<void(Windows&)> setup) {
        std::promise<WindowHandle> ready;
        auto handle = ready.get_future();
        m_thread = std::thread([setup, &ready] {
            Windows windows;
            setup(windows);
            ready.set_value(windows.empty() ? nullptr : windows.front()->Handle());
            platform::RunMessageLoop();
            while (!windows.empty()) {
                windows.pop_back();
            }
        });
        m_handle = handle.get();
        input::WaitUntilIdle(m_handle);
    }
    ~WindowThread() {
        uitest::OnUi(m_handle, [] { platform::PostQuit(0); });
        m_thread.join();
    }
    WindowHandle Handle() const { return m_handle; }

  private:
    std::thread m_thread;
    WindowHandle m_handle = nullptr;
};

template <class T>
T& Make(WindowThread::Windows& windows, std::unique_ptr<T> window) {
    T& ref = *window;
    windows.push_back(std::move(window));
    return ref;
}

platform::WindowSpec Popup(const Rect& rect) {
    platform::WindowSpec desc;
    desc.style = WS_POPUP | WS_VISIBLE;
    desc.rect = rect;
    return desc;
}

class RealWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!screen::Available()) {
            GTEST_SKIP() << "the headless windows have no screen";
        }
    }
};

TEST_F(RealWindows, ColourKeyedPixelsShowWhatIsBelowOnTheScreen) {
    const Rect area{300, 300, 400, 340};
    WindowThread below([area](WindowThread::Windows& windows) {
        auto& w = Make(windows, std::make_unique<Solid>(Rgb(200, 30, 30), Rgb(200, 30, 30)));
        w.Create(Popup({area.left - 20, area.top - 20, area.right + 20, area.bottom + 20}));
    });
    WindowThread keyed([area](WindowThread::Windows& windows) {
        auto& w = Make(windows, std::make_unique<Solid>(kKey, Rgb(20, 40, 200)));
        w.Create(Popup(area));
        w.SetColorKey(kKey);
        w.Invalidate();
    });
    input::WaitUntilIdle(keyed.Handle());
    EXPECT_NE(screen::ExStyleOf(keyed.Handle()) & WS_EX_LAYERED, 0u);

    // The window's own picture keeps the key colour; the screen shows the window below there.
    const platform::Bitmap own = input::CaptureWindow(keyed.Handle());
    EXPECT_EQ(own.Pixel(10, 10), kKey);
    const platform::Bitmap shown = screen::Capture(area);
    ASSERT_FALSE(shown.IsEmpty());
    EXPECT_EQ(shown.Pixel(10, 10), Rgb(200, 30, 30));
    EXPECT_EQ(shown.Pixel(80, 10), Rgb(20, 40, 200));
}

TEST_F(RealWindows, NotesViewHostsTheBrowserControlAndSwallowsRightClicks) {
    uitest::ScratchFolder scratch;
    const std::wstring page = scratch.Path(L"updateInfo.html");
    uitest::WriteBytes(std::filesystem::path(page), "<html><body>notes</body></html>");
    CExplorer1* explorer = nullptr;
    WindowThread host([&explorer](WindowThread::Windows& windows) {
        auto& w = Make(windows, std::make_unique<Solid>(Rgb(1, 2, 3), Rgb(1, 2, 3)));
        w.Create(Popup({100, 100, 485, 422}));
        explorer = &Make(windows, std::make_unique<CExplorer1>());
        explorer->CreateControl(L"", WS_VISIBLE | WS_TABSTOP, {9, 147, 376, 270}, &w, IDC_EXPLORER);
    });
    const WindowHandle view = uitest::OnUi(host.Handle(), [explorer] {
        explorer->Navigate(L"");
        return explorer->Handle();
    });
    ASSERT_EQ(screen::ChildById(host.Handle(), IDC_EXPLORER), view);
    EXPECT_EQ(screen::StyleOf(view) & (WS_CHILD | WS_VISIBLE | WS_TABSTOP),
              WS_CHILD | WS_VISIBLE | WS_TABSTOP);

    uitest::OnUi(host.Handle(), [explorer, &page] { explorer->Navigate(page); });
    EXPECT_EQ(uitest::OnUi(host.Handle(), [explorer] { return explorer->LocationURL(); }), page);

    // The control makes windows of its own inside the view; right clicks aimed at any of them
    // stop in the view's pre-translation, other messages go on.
    ASSERT_FALSE(screen::Children(view).empty()) << "the control was not created";
    std::vector<WindowHandle> targets = {view};
    for (WindowHandle inner : screen::Children(view)) {
        targets.push_back(inner);
    }
    for (const WindowHandle target : targets) {
        SCOPED_TRACE(target);
        for (const unsigned message :
             {kRightButtonDown, kRightButtonUp, unsigned{WM_LBUTTONDOWN}}) {
            const bool swallowed = uitest::OnUi(host.Handle(), [target, message] {
                platform::Message msg{target, message, 0, 0, {}};
                return platform::PreTranslate(msg);
            });
            EXPECT_EQ(swallowed, message != WM_LBUTTONDOWN) << message;
        }
    }
    // Resizing the view to nothing and back keeps the control alive.
    uitest::OnUi(host.Handle(), [explorer] {
        explorer->Move({}, true);
        explorer->Move({9, 147, 376, 270}, true);
    });
    input::WaitUntilIdle(host.Handle());
    EXPECT_TRUE(platform::IsWindowAlive(view));
}

TEST_F(RealWindows, BringingToFrontTakesTheForegroundFromAnotherThread) {
    platform::Window* firstWindow = nullptr;
    platform::Window* secondWindow = nullptr;
    WindowThread first([&firstWindow](WindowThread::Windows& windows) {
        firstWindow = &Make(windows, std::make_unique<Solid>(Rgb(9, 9, 9), Rgb(9, 9, 9)));
        firstWindow->Create(Popup({10, 10, 110, 60}));
    });
    WindowThread second([&secondWindow](WindowThread::Windows& windows) {
        secondWindow = &Make(windows, std::make_unique<Solid>(Rgb(8, 8, 8), Rgb(8, 8, 8)));
        secondWindow->Create(Popup({200, 10, 300, 60}));
    });
    uitest::OnUi(second.Handle(), [&] { secondWindow->Show(platform::ShowCommand::kMinimize); });
    uitest::OnUi(first.Handle(), [&] { firstWindow->BringToFront(); });
    ASSERT_EQ(screen::ForegroundWindow(), first.Handle());

    uitest::OnUi(second.Handle(), [&] { secondWindow->BringToFront(); });
    input::WaitUntilIdle(second.Handle());
    EXPECT_FALSE(uitest::OnUi(second.Handle(), [&] { return secondWindow->IsIconic(); }));
    EXPECT_EQ(screen::ForegroundWindow(), second.Handle());
    EXPECT_EQ(input::ActiveWindow(), second.Handle());
    EXPECT_TRUE(uitest::OnUi(second.Handle(), [&] { return secondWindow->HasFocus(); }));
}

class UpdateWindowStyles : public RealWindows {
  protected:
    void SetUp() override {
        RealWindows::SetUp();
        m_saved = {g_module_folder, g_des};
        g_module_folder = m_scratch.Folder();
        g_des = m_scratch.Path(L"client");
    }
    void TearDown() override {
        g_module_folder = m_saved[0];
        g_des = m_saved[1];
    }
    uitest::ScratchFolder m_scratch;
    std::array<std::wstring, 2> m_saved;
};

TEST_F(UpdateWindowStyles, RealPopupWithChildButtonsAndAColourKeyedFace) {
    uitest::DialogHarness h;
    ASSERT_NE(h.Handle(), nullptr);
    const uint32_t style = screen::StyleOf(h.Handle());
    EXPECT_EQ(style & (WS_POPUP | WS_SYSMENU | WS_CHILD), WS_POPUP | WS_SYSMENU);
    EXPECT_EQ(style & 0x00C00000u, 0u);  // no caption, no border
    const uint32_t exStyle = screen::ExStyleOf(h.Handle());
    EXPECT_NE(exStyle & WS_EX_APPWINDOW, 0u);
    EXPECT_NE(exStyle & WS_EX_LAYERED, 0u);
    const std::vector<WindowHandle> titled = screen::TopLevelWindows(L"自动更新程序");
    EXPECT_NE(std::find(titled.begin(), titled.end(), h.Handle()), titled.end());

    for (const int id : {IDC_BTN_START, IDC_BTN_RETRY, IDC_BTN_RESTART, IDC_BTN_CANCEL}) {
        SCOPED_TRACE(id);
        const WindowHandle button = screen::ChildById(h.Handle(), id);
        ASSERT_NE(button, nullptr);
        const uint32_t mask = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        EXPECT_EQ(screen::StyleOf(button) & mask, mask);
    }
    EXPECT_TRUE(screen::IsShown(screen::ChildById(h.Handle(), IDC_BTN_START)));
    EXPECT_FALSE(screen::IsShown(screen::ChildById(h.Handle(), IDC_BTN_RETRY)));
    ASSERT_NE(screen::ChildById(h.Handle(), IDC_EXPLORER), nullptr);

    // On the screen the rounded corners of the face are the key colour, so they show what is
    // below; the face itself is there.
    input::WaitUntilIdle(h.Handle());
    const Rect r = screen::WindowRectOf(h.Handle());
    const platform::Bitmap shown = screen::Capture(r);
    ASSERT_EQ(shown.GetSize(), (platform::Size{385, 205}));
    EXPECT_NE(shown.Pixel(0, 0), kKey);
    EXPECT_EQ(input::CaptureWindow(h.Handle()).Pixel(0, 0), kKey);
    EXPECT_EQ(shown.Pixel(3, 3), input::CaptureWindow(h.Handle()).Pixel(3, 3));
}

}  // namespace
