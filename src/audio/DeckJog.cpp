#include "audio/DeckJog.h"

#include <algorithm>
#include <cmath>

#include "audio/ScratchHistory.h"

namespace spinlorex {
namespace {

// The wheel's offset is low-passed with this time constant (frames)...
constexpr double kSmoothingFrames = 512.0;
// ... and the rate closes the distance to it within about this many frames. With chunks of
// 256 frames the two settle without overshoot.
constexpr double kFollowFrames = 768.0;

// Four-point cubic (Catmull-Rom) between y1 and y2 at t in [0, 1).
double cubic(double y0, double y1, double y2, double y3, double t) {
    return y1 + 0.5 * t *
                    (y2 - y0 +
                     t * (2.0 * y0 - 5.0 * y1 + 4.0 * y2 - y3 + t * (3.0 * (y1 - y2) + y3 - y0)));
}

int16_t toSample(double value) {
    return static_cast<int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
}

}  // namespace

void DeckJog::start(Mode mode, double position, double rate, double baseRate, double turns) {
    mode_ = mode;
    position_ = position;
    rate_ = rate;
    baseRate_ = baseRate;
    framesPerTurn_ = mode == Mode::Scratch ? kScratchFramesPerTurn : kBendFramesPerTurn;
    // Where the rate the deck has now comes to rest on its own: no way back to make up.
    base_ = position + (rate - baseRate) * kFollowFrames;
    turnsAtStart_ = turns;
    lastTurns_ = turns;
    smoothed_ = 0.0;
    stillFrames_ = 0;
}

void DeckJog::render(int16_t* out, int32_t frames, int32_t at, int32_t ringFrames, double turns,
                     ScratchHistory& history, TrackReader& reader, int64_t total) {
    const double n = frames;
    const auto end = static_cast<double>(total);
    stillFrames_ = turns == lastTurns_ ? stillFrames_ + frames : 0;
    lastTurns_ = turns;

    // Where the wheel wants the deck, kept within the track so that the hand is followed
    // again at once when it turns back from beyond an end.
    const double offset = (turns - turnsAtStart_) * framesPerTurn_;
    base_ = std::clamp(base_, -offset, end - offset);
    smoothed_ += (offset - smoothed_) * (1.0 - std::exp(-n / kSmoothingFrames));
    smoothed_ = std::clamp(smoothed_, -base_, end - base_);
    const double from = rate_;
    double to = std::clamp(baseRate_ + (base_ + smoothed_ - position_) / kFollowFrames, -kMaxRate,
                           kMaxRate);
    base_ += baseRate_ * n;

    // The rate ramps from `from` to `to`: position(k) = p + from k + (to - from) k^2 / 2n.
    const double p = position_;
    const double bend = (to - from) / (2.0 * n);
    double next = p + n * (from + to) * 0.5;
    if (next <= 0.0 || next >= end) {
        next = std::clamp(next, 0.0, end);
        to = 0.0;
    }
    const double reach = std::max(std::abs(from), std::abs(to)) * n;
    const auto low = static_cast<int64_t>(std::floor(std::min(p, next) - reach)) - 2;
    const auto high = static_cast<int64_t>(std::ceil(std::max(p, next) + reach)) + 3;
    history.fetch(reader, low, high, total);

    auto sample = [&](int64_t frame, int channel) -> double {
        if (frame < 0 || frame >= total || !history.holds(frame, frame + 1)) return 0.0;
        return history.frame(frame)[channel];
    };
    for (int32_t k = 0; k < frames; ++k) {
        const double x = std::clamp(p + (from + bend * k) * k, 0.0, end);
        const double whole = std::floor(x);
        const double t = x - whole;
        const auto f = static_cast<int64_t>(whole);
        for (int c = 0; c < 2; ++c)
            out[2 * k + c] = toSample(
                cubic(sample(f - 1, c), sample(f, c), sample(f + 1, c), sample(f + 2, c), t));
    }

    lastChunk_ = (lastChunk_ + 1) % static_cast<int32_t>(chunks_.size());
    chunks_[static_cast<size_t>(lastChunk_)] = {at % ringFrames, frames, p, from, to};
    position_ = next;
    rate_ = to;
}

double DeckJog::heardAt(int32_t index, int32_t ringFrames) const {
    if (lastChunk_ < 0) return position_;
    const auto count = static_cast<int32_t>(chunks_.size());
    for (int32_t i = 0; i < count; ++i) {
        const Chunk& c = chunks_[static_cast<size_t>((lastChunk_ - i + count) % count)];
        if (c.frames == 0) break;
        int32_t k = index - c.at;
        if (k < 0) k += ringFrames;
        if (k < c.frames)
            return c.position + (c.rateFrom + (c.rateTo - c.rateFrom) / (2.0 * c.frames) * k) * k;
    }
    return position_;
}

bool DeckJog::settled() const {
    return mode_ == Mode::Bend && stillFrames_ >= kBendSettleFrames &&
           std::abs(rate_ - baseRate_) < 1e-4 && std::abs(base_ + smoothed_ - position_) < 0.5;
}

}  // namespace spinlorex
