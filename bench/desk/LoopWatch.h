#pragma once

// The desk benchmarks' measure of how well the desk answers: turns of its Qt event loop,
// timed, and the longest stretch without one.

#include <QtCore/QObject>
#include <QtCore/QTimer>

#include <algorithm>
#include <chrono>

namespace spinlorex::bench {

using Clock = std::chrono::steady_clock;

inline double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

class LoopWatch {
public:
    LoopWatch() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            longest_ = std::max(longest_, ms(now - last_));
            last_ = now;
        });
    }
    void start() {
        last_ = Clock::now();
        longest_ = 0;
        timer_.start();
    }
    // The longest stretch since start(), the one still running included.
    double stop() {
        timer_.stop();
        return std::max(longest_, ms(Clock::now() - last_));
    }

private:
    QTimer timer_;
    Clock::time_point last_;
    double longest_ = 0;
};

}  // namespace spinlorex::bench
