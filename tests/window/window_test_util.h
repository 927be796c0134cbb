// Test windows shared by the window-layer tests: a window that records what reaches its
// procedure, and a thread that owns windows and runs a message loop.
#pragma once

#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/window.h"

namespace window_test {

inline constexpr unsigned kQuitLoop = WM_USER + 100;

struct Received {
    unsigned message;
    platform::WParam wParam;
    platform::LParam lParam;
    std::thread::id thread;
};

class RecordingWindow : public platform::Window {
  public:
    platform::LResult WindowProc(unsigned message, platform::WParam wParam,
                                 platform::LParam lParam) override {
        Record(message, wParam, lParam);
        if (message == kQuitLoop) {
            platform::PostQuit(0);
            return 0;
        }
        if (m_hook) {
            platform::LResult result = 0;
            if (m_hook(message, wParam, lParam, result))
                return result;
        }
        return DefaultProc(message, wParam, lParam);
    }

    std::vector<Received> All() const {
        std::lock_guard lock(m_mutex);
        return m_received;
    }
    // The message numbers received, without the ones the layer itself sends for bookkeeping.
    std::vector<unsigned> Messages(const std::vector<unsigned>& only) const {
        std::lock_guard lock(m_mutex);
        std::vector<unsigned> out;
        for (const auto& r : m_received) {
            for (unsigned m : only) {
                if (r.message == m)
                    out.push_back(r.message);
            }
        }
        return out;
    }
    void Record(unsigned message, platform::WParam wParam, platform::LParam lParam) {
        std::lock_guard lock(m_mutex);
        m_received.push_back({message, wParam, lParam, std::this_thread::get_id()});
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_received.clear();
    }

    // Answers true to handle the message itself (result set); false for the default handling.
    std::function<bool(unsigned, platform::WParam, platform::LParam, platform::LResult&)> m_hook;

  private:
    mutable std::mutex m_mutex;
    std::vector<Received> m_received;
};

// A thread that creates windows through setup, publishes their handles, runs its message loop
// until kQuitLoop reaches one of its recording windows, and destroys the windows.
class UiThread {
  public:
    explicit UiThread(std::function<void()> setup) {
        std::promise<void> ready;
        auto started = ready.get_future();
        m_thread = std::thread([this, setup = std::move(setup), &ready] {
            setup();
            ready.set_value();
            platform::RunMessageLoop();
            if (m_teardown)
                m_teardown();
        });
        started.wait();
    }
    ~UiThread() {
        if (m_thread.joinable())
            m_thread.join();
    }
    void Join() { m_thread.join(); }
    std::thread::id Id() const { return m_thread.get_id(); }
    std::function<void()> m_teardown;

  private:
    std::thread m_thread;
};

inline platform::WindowSpec TopLevel(platform::Rect rect, uint32_t style = WS_POPUP | WS_VISIBLE) {
    platform::WindowSpec desc;
    desc.rect = rect;
    desc.style = style;
    return desc;
}

inline platform::WindowSpec ChildOf(platform::Window& parent, platform::Rect rect, int id = 0,
                                    uint32_t style = WS_CHILD | WS_VISIBLE) {
    platform::WindowSpec desc;
    desc.rect = rect;
    desc.style = style;
    desc.parent = &parent;
    desc.id = id;
    return desc;
}

}  // namespace window_test
