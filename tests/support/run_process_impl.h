#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

template <typename Predicate>
bool WaitFor(Predicate predicate, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace testing_support
