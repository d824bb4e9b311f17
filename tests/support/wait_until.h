#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace veltrin::testing {

// Polls done until it holds or the limit has passed; whether it held.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace veltrin::testing
