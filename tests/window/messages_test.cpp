// Messages across threads, window lifetime and the message loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include "platform/window.h"
#include "platform/window_input.h"
#include "window/window_test_util.h"

using namespace platform;
using window_test::ChildOf;
using window_test::kQuitLoop;
using window_test::RecordingWindow;
using window_test::TopLevel;
using window_test::UiThread;

namespace {

constexpr unsigned kPing = WM_USER + 1;
constexpr unsigned kBlock = WM_USER + 2;
constexpr unsigned kSent = WM_USER + 3;

TEST(WindowMessages, SentRunsOnOwnerThreadAndBlocksPostedReturnsAtOnce) {
    auto window = std::make_unique<RecordingWindow>();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> blockedHandlerDone{false};
    std::promise<void> entered;
    window->m_hook = [&](unsigned m, WParam w, LParam, LResult& result) {
        if (m == kBlock) {
            entered.set_value();
            released.wait();
            blockedHandlerDone = true;
            return true;
        }
        if (m == kSent) {
            result = static_cast<LResult>(w * 2);
            return true;
        }
        return false;
    };
    UiThread ui([&] { ASSERT_TRUE(window->Create(TopLevel({0, 0, 10, 10}, WS_POPUP))); });
    const WindowHandle h = window->Handle();

    // The owner thread is stuck in a handler: posting must not wait for it.
    ASSERT_TRUE(PostToWindow(h, kBlock));
    entered.get_future().wait();
    ASSERT_TRUE(PostToWindow(h, kPing, 7, 8));

    // A send from another thread waits until the owner has handled it.
    std::atomic<bool> sendReturned{false};
    LResult sendResult = 0;
    std::thread sender([&] {
        sendResult = SendToWindow(h, kSent, 21, 0);
        sendReturned = true;
    });
    release.set_value();
    sender.join();
    EXPECT_TRUE(sendReturned);
    EXPECT_TRUE(blockedHandlerDone);
    EXPECT_EQ(sendResult, 42);

    ASSERT_TRUE(PostToWindow(h, kQuitLoop));
    const std::thread::id uiId = ui.Id();
    ui.Join();
    const auto all = window->All();
    bool sawSent = false, sawPing = false;
    for (const auto& r : all) {
        EXPECT_EQ(r.thread, uiId) << "message " << r.message;
        if (r.message == kSent)
            sawSent = true;
        if (r.message == kPing) {
            sawPing = true;
            EXPECT_EQ(r.wParam, 7u);
            EXPECT_EQ(r.lParam, 8);
        }
    }
    EXPECT_TRUE(sawSent);
    EXPECT_TRUE(sawPing);
    window->Destroy();
}

TEST(WindowMessages, SendAndPostToAGoneWindowReturnAtOnce) {
    auto window = std::make_unique<RecordingWindow>();
    ASSERT_TRUE(window->Create(TopLevel({0, 0, 10, 10}, WS_POPUP)));
    const WindowHandle h = window->Handle();
    EXPECT_TRUE(IsWindowAlive(h));
    window->Destroy();
    EXPECT_FALSE(IsWindowAlive(h));
    EXPECT_EQ(window->Handle(), nullptr);

    std::thread other([h] {
        EXPECT_EQ(SendToWindow(h, kSent, 1, 2), 0);
        EXPECT_FALSE(PostToWindow(h, kPing));
    });
    other.join();
    EXPECT_EQ(SendToWindow(h, kSent), 0);
    EXPECT_FALSE(IsWindowAlive(nullptr));
    EXPECT_EQ(SendToWindow(nullptr, kSent), 0);

    // A new window never takes the old handle.
    RecordingWindow next;
    ASSERT_TRUE(next.Create(TopLevel({0, 0, 10, 10}, WS_POPUP)));
    EXPECT_NE(next.Handle(), h);
    EXPECT_FALSE(IsWindowAlive(h));
}

TEST(WindowMessages, WindowDestroyedWhileASendWaitsReleasesTheSender) {
    auto target = std::make_unique<RecordingWindow>();
    auto control = std::make_unique<RecordingWindow>();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> entered;
    control->m_hook = [&](unsigned m, WParam, LParam, LResult&) {
        if (m == kBlock) {
            entered.set_value();
            released.wait();
            target->Destroy();
            return true;
        }
        return false;
    };
    UiThread ui([&] {
        ASSERT_TRUE(target->Create(TopLevel({0, 0, 10, 10}, WS_POPUP)));
        ASSERT_TRUE(control->Create(TopLevel({0, 0, 10, 10}, WS_POPUP)));
    });
    const WindowHandle h = target->Handle();
    ASSERT_TRUE(control->Post(kBlock));
    entered.get_future().wait();
    std::promise<void> sending;
    LResult result = -1;
    std::thread sender([&] {
        sending.set_value();
        result = SendToWindow(h, kSent, 5, 0);
    });
    sending.get_future().wait();
    release.set_value();
    sender.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(target->Messages({kSent}).empty());
    ASSERT_TRUE(control->Post(kQuitLoop));
    ui.Join();
    control->Destroy();
}

TEST(WindowMessages, WindowsOfAnEndedThreadTakeNothing) {
    auto window = std::make_unique<RecordingWindow>();
    std::thread owner([&] { ASSERT_TRUE(window->Create(TopLevel({0, 0, 10, 10}, WS_POPUP))); });
    owner.join();
    const WindowHandle h = window->Handle();
    EXPECT_FALSE(IsWindowAlive(h));
    EXPECT_EQ(SendToWindow(h, kSent), 0);
    EXPECT_FALSE(PostToWindow(h, kPing));
    window->Destroy();
    EXPECT_EQ(window->Handle(), nullptr);
}

TEST(WindowMessages, SenderStillAnswersSendsToItsOwnWindows) {
    // The owner of A sends to B on another thread, whose handler sends back to A: no deadlock.
    RecordingWindow a;
    ASSERT_TRUE(a.Create(TopLevel({0, 0, 10, 10}, WS_POPUP)));
    const WindowHandle ha = a.Handle();
    a.m_hook = [](unsigned m, WParam, LParam, LResult& r) {
        if (m == kSent) {
            r = 5;
            return true;
        }
        return false;
    };
    auto b = std::make_unique<RecordingWindow>();
    b->m_hook = [ha](unsigned m, WParam, LParam, LResult& r) {
        if (m == kPing) {
            r = SendToWindow(ha, kSent) + 1;
            return true;
        }
        return false;
    };
    UiThread ui([&] { ASSERT_TRUE(b->Create(TopLevel({0, 0, 10, 10}, WS_POPUP))); });
    EXPECT_EQ(SendToWindow(b->Handle(), kPing), 6);
    ASSERT_TRUE(b->Post(kQuitLoop));
    ui.Join();
    b->Destroy();
}

TEST(WindowMessages, CreateAndDestroySequence) {
    struct Refusing : RecordingWindow {
        LResult WindowProc(unsigned m, WParam w, LParam l) override {
            RecordingWindow::WindowProc(m, w, l);
            return m == WM_CREATE ? -1 : 0;
        }
    };
    Refusing refusing;
    EXPECT_FALSE(refusing.Create(TopLevel({0, 0, 10, 10})));
    EXPECT_EQ(refusing.Handle(), nullptr);

    RecordingWindow parent, child;
    ASSERT_TRUE(parent.Create(TopLevel({5, 6, 105, 56}, WS_POPUP)));
    ASSERT_TRUE(child.Create(ChildOf(parent, {1, 2, 11, 12}, 42)));
    EXPECT_EQ(child.Parent(), &parent);
    EXPECT_EQ(parent.Child(42), &child);
    EXPECT_EQ(child.WindowRect(), (Rect{6, 8, 16, 18}));
    EXPECT_EQ(child.ClientRect(), (Rect{0, 0, 10, 10}));
    const auto first = child.All();
    ASSERT_GE(first.size(), 3u);
    EXPECT_EQ(first[0].message, WM_CREATE);
    EXPECT_EQ(first[1].message, WM_SIZE);
    EXPECT_EQ(first[1].lParam, PackPoint({10, 10}));
    EXPECT_EQ(first[2].message, WM_MOVE);

    // A child without a parent cannot be made.
    RecordingWindow orphan;
    WindowSpec desc = TopLevel({0, 0, 1, 1}, WS_CHILD);
    EXPECT_FALSE(orphan.Create(desc));

    parent.Clear();
    child.Clear();
    const WindowHandle hc = child.Handle();
    parent.Destroy();
    EXPECT_FALSE(IsWindowAlive(hc));
    EXPECT_EQ(child.Handle(), nullptr);
    EXPECT_EQ(parent.Messages({WM_DESTROY, WM_NCDESTROY}),
              (std::vector<unsigned>{WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(child.Messages({WM_DESTROY, WM_NCDESTROY}),
              (std::vector<unsigned>{WM_DESTROY, WM_NCDESTROY}));
}

TEST(WindowMessages, MoveSendsSizeOnlyWhenTheSizeChanges) {
    RecordingWindow w;
    ASSERT_TRUE(w.Create(TopLevel({0, 0, 385, 205}, WS_POPUP)));
    w.Clear();
    w.Move({0, 0, 385, 205});
    EXPECT_TRUE(w.Messages({WM_SIZE, WM_MOVE}).empty());
    w.Move({10, 0, 395, 205});
    EXPECT_EQ(w.Messages({WM_SIZE, WM_MOVE}), (std::vector<unsigned>{WM_MOVE}));
    w.Clear();
    w.Move({10, 0, 395, 322}, false);
    ASSERT_EQ(w.Messages({WM_SIZE, WM_MOVE}), (std::vector<unsigned>{WM_SIZE}));
    EXPECT_EQ(w.All().back().lParam, PackPoint({385, 322}));
    EXPECT_EQ(w.ClientRect(), (Rect{0, 0, 385, 322}));
}

// --- modal loops ---------------------------------------------------------------------------------

class TestDialog : public Dialog {
  public:
    TestDialog() : Dialog(DialogTemplate{L"test", WS_POPUP | WS_SYSMENU, 0, {120, 80}}) {}
    std::function<void(TestDialog&)> m_onInit;
    std::function<bool(Message&)> m_preTranslate;
    std::vector<unsigned> m_seen;
    bool m_keepOnOk = false;
    bool m_okCalled = false;

    bool OnInitDialog() override {
        Dialog::OnInitDialog();
        if (m_onInit)
            m_onInit(*this);
        return true;
    }
    void OnOK() override {
        m_okCalled = true;
        if (!m_keepOnOk)
            Dialog::OnOK();
    }
    bool PreTranslateMessage(Message& msg) override {
        if (m_preTranslate && m_preTranslate(msg))
            return true;
        return Dialog::PreTranslateMessage(msg);
    }
    LResult WindowProc(unsigned m, WParam w, LParam l) override {
        m_seen.push_back(m);
        if (m == kPing) {
            PostQuit(0);
            return 0;
        }
        return Dialog::WindowProc(m, w, l);
    }
};

TEST(ModalLoop, PostQuitEndsTheLoopAndTheWindowIsDestroyed) {
    TestDialog dialog;
    WindowHandle seenHandle = nullptr;
    dialog.m_onInit = [&](TestDialog& d) {
        seenHandle = d.Handle();
        d.Post(kPing);
    };
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_NE(seenHandle, nullptr);
    EXPECT_FALSE(IsWindowAlive(seenHandle));
    // The quit ended this dialog only: nothing is left queued for the thread.
    Message msg;
    bool quit = true;
    EXPECT_FALSE(TryNextMessage(msg, &quit));
    EXPECT_FALSE(quit);
    // The quit came before the loop was ever idle: the window was never shown.
    EXPECT_EQ(std::count(dialog.m_seen.begin(), dialog.m_seen.end(), unsigned{WM_SHOWWINDOW}), 0);
    EXPECT_EQ(std::count(dialog.m_seen.begin(), dialog.m_seen.end(), unsigned{WM_INITDIALOG}), 1);
}

TEST(ModalLoop, EnterAndEscapeReachOkAndCancel) {
    struct Case {
        unsigned key;
        bool keepOnOk;
        int result;
    };
    for (const Case c : {Case{VK_RETURN, false, IDOK}, Case{VK_ESCAPE, false, IDCANCEL},
                         Case{VK_RETURN, true, -1}}) {
        SCOPED_TRACE(c.key);
        TestDialog dialog;
        dialog.m_keepOnOk = c.keepOnOk;
        std::promise<WindowHandle> ready;
        dialog.m_onInit = [&](TestDialog& d) { ready.set_value(d.Handle()); };
        int result = 0;
        std::thread ui([&] { result = dialog.DoModal(); });
        const WindowHandle h = ready.get_future().get();
        input::WaitUntilIdle(h);
        EXPECT_EQ(input::ActiveWindow(), h);
        input::PressKey(c.key);
        if (c.keepOnOk) {
            EXPECT_TRUE(IsWindowAlive(h));
            PostToWindow(h, kPing);
        }
        ui.join();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(dialog.m_okCalled, c.key == VK_RETURN);
    }
}

TEST(ModalLoop, PreTranslateSeesQueuedMessagesOfChildrenFirst) {
    TestDialog dialog;
    RecordingWindow child;
    std::vector<unsigned> preTranslated;
    dialog.m_preTranslate = [&](Message& msg) {
        if (msg.window == child.Handle())
            preTranslated.push_back(msg.message);
        return msg.message == kSent;  // consumed: never reaches the child
    };
    dialog.m_onInit = [&](TestDialog& d) {
        ASSERT_TRUE(child.Create(ChildOf(d, {0, 0, 10, 10})));
        child.Post(kSent);
        child.Post(kBlock);
        d.Post(kPing);
    };
    dialog.DoModal();
    EXPECT_EQ(preTranslated, (std::vector<unsigned>{kSent, kBlock}));
    EXPECT_TRUE(child.Messages({kSent}).empty());
    EXPECT_EQ(child.Messages({kBlock}).size(), 1u);
}

TEST(ModalLoop, EndDialogDuringInitSkipsTheLoop) {
    TestDialog dialog;
    dialog.m_onInit = [](TestDialog& d) { d.EndDialog(7); };
    EXPECT_EQ(dialog.DoModal(), 7);
    // A second run of the same object works again.
    dialog.m_onInit = [](TestDialog& d) { d.EndDialog(8); };
    EXPECT_EQ(dialog.DoModal(), 8);
}

}  // namespace
