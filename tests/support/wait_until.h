#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace veltrin::testing {

// Polls done, every so often, until it holds or the limit has passed; whether it held.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                      std::chrono::milliseconds every = std::chrono::milliseconds(5)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(every);
    }
    return true;
}

} // namespace veltrin::testing
