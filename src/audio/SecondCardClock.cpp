#include "audio/SecondCardClock.h"

#include <algorithm>
#include <cmath>

#include "audio/RingCopy.h"

namespace spinlorex {

void SecondCardClock::update(const Cursors& first, const Cursors& second) {
    if (!started_) {
        started_ = true;
        lastFirstWrite_ = first.write;
        lastSecondWrite_ = second.write;
    }
    // Passes come far more often than once a buffer length, so each step is the short way
    // round the buffer.
    first_ += ringDistance(first.write, lastFirstWrite_, first.frames);
    second_ += ringDistance(second.write, lastSecondWrite_, second.frames);
    lastFirstWrite_ = first.write;
    lastSecondWrite_ = second.write;
    latencyDifference_ = ringDistance(second.write, second.play, second.frames) -
                         ringDistance(first.write, first.play, first.frames);

    windowSum_ += static_cast<double>(second_ - first_);
    windowAtSum_ += static_cast<double>(first_);
    ++windowSamples_;
    if (first_ - windowStart_ < kWindowFrames) return;
    history_[static_cast<size_t>(averages_ % kHistory)] = {windowAtSum_ / windowSamples_,
                                                           windowSum_ / windowSamples_};
    ++averages_;
    windowStart_ = first_;
    windowSum_ = windowAtSum_ = 0;
    windowSamples_ = 0;
}

int64_t SecondCardClock::offset() const {
    if (averages_ == 0) {
        if (windowSamples_ > 0) return std::llround(windowSum_ / windowSamples_);
        return second_ - first_;
    }
    const Average& newest = history_[static_cast<size_t>((averages_ - 1) % kHistory)];
    const Average& oldest =
        history_[static_cast<size_t>(std::max(0, averages_ - kHistory) % kHistory)];
    const double span = newest.at - oldest.at;
    const double slope = span > 0 ? (newest.mean - oldest.mean) / span : 0.0;
    return std::llround(newest.mean + slope * (static_cast<double>(first_) - newest.at));
}

int32_t SecondCardClock::placement() const {
    return static_cast<int32_t>(second_ - first_ - offset()) + latencyDifference_;
}

}  // namespace spinlorex
