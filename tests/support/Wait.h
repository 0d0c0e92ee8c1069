#pragma once

#include <chrono>
#include <thread>

namespace spinlorex::test {

// Polls `condition` until it holds or `seconds` pass; returns whether it held.
template <typename Condition>
bool waitFor(Condition condition, double seconds = 20.0) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

}  // namespace spinlorex::test
