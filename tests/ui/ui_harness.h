// Windows of the user-interface tests on a thread of their own, as the update run has them: a
// test injects input from its own thread (the window layer returns once the window's thread is
// idle again), and reads or calls into the windows through OnUi, which runs a function on the
// window's thread by a sent message, so nothing is shared between threads unguarded.
#pragma once

#include <functional>
#include <future>
#include <optional>
#include <thread>
#include <type_traits>

#include <gtest/gtest.h>

#include "platform/window.h"
#include "platform/window_input.h"

namespace uitest {

// Outside the system's private message range.
inline constexpr unsigned kRunOnUi = WM_USER + 0x300;

using UiFunction = std::function<void()>;

// For the window procedures of test windows: runs a kRunOnUi function; true when it was one.
inline bool HandleRunOnUi(unsigned message, platform::LParam lParam) {
    if (message != kRunOnUi) {
        return false;
    }
    (*reinterpret_cast<UiFunction*>(lParam))();
    return true;
}

// Runs f on the thread of window and answers its result; when the window is gone, the test
// fails and a default value is answered.
template <class F>
auto OnUi(platform::WindowHandle window, F f) -> std::invoke_result_t<F> {
    using R = std::invoke_result_t<F>;
    if constexpr (std::is_void_v<R>) {
        bool ran = false;
        UiFunction fn = [&] {
            f();
            ran = true;
        };
        platform::SendToWindow(window, kRunOnUi, 0, reinterpret_cast<platform::LParam>(&fn));
        EXPECT_TRUE(ran) << "the window is gone";
    } else {
        std::optional<R> out;
        UiFunction fn = [&] { out.emplace(f()); };
        platform::SendToWindow(window, kRunOnUi, 0, reinterpret_cast<platform::LParam>(&fn));
        EXPECT_TRUE(out.has_value()) << "the window is gone";
        return out ? std::move(*out) : R{};
    }
}

}  // namespace uitest
