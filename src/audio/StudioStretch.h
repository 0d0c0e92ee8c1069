#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace spinlorex {

// Master tempo and key shift in quality "High": Rubber Band's real-time stretcher (its
// finer engine with the short window, which keeps a tone's rest under -55 dB at +8 % and
// costs about what the longer window of the faster engine does). The stretchers and every
// buffer are made in the constructor; then source is fed and stretched frames are taken
// without allocating or locking.
//
// Each channel has a stretcher of its own, fed step by step: a step feeds the channel that
// is behind just what its next hop needs, so one step costs one channel's hop (about a
// tenth of a millisecond) and a caller can spread the work over many short passes. Both
// are given the same source and ratios, so their hops fall on the same frames.
//
// Timing: after restart() the first frame taken is the stretch of the first frame fed
// (the stretchers' start pad is fed as silence and their start delay dropped), and every
// frame taken stands for `pitch / 4096` source frames, so the caller keeps the heard
// position exactly as for the standard method.
//
// Main thread for the constructor and destructor; the sound thread (or the caller's thread
// while no sound thread runs) for the rest.
class StudioStretch {
public:
    // Source frames one step feeds at most.
    static constexpr int32_t kFeedFrames = 1024;
    // Semitones a deck's key may be shifted either way.
    static constexpr int32_t kMaxKeyShift = 6;

    // The source the next step takes: `frames` frames, `offset` frames after the first
    // frame fed since the restart.
    struct Step {
        int64_t offset = 0;
        int32_t frames = 0;
    };

    StudioStretch();
    ~StudioStretch();
    StudioStretch(const StudioStretch&) = delete;
    StudioStretch& operator=(const StudioStretch&) = delete;

    // Starts afresh: `pitch` (4096 = normal speed) sets the speed; with `keepKey` the key
    // stays (master tempo), else it follows the speed as on a turntable; `keyShift`
    // semitones go on top.
    void restart(int32_t pitch, bool keepKey, int32_t keyShift);
    // Stretched frames ready to be taken (on both channels).
    int32_t ready() const;
    // What the next step() takes.
    Step nextStep() const;
    // Feeds nextStep().frames interleaved stereo frames of source to the channel behind.
    void step(const int16_t* source);
    // Takes `frames` (at most ready()) stretched frames into `out`, interleaved stereo.
    void take(int16_t* out, int32_t frames);

private:
    int32_t laggingChannel() const { return fed_[1] < fed_[0] ? 1 : 0; }

    // Moves what channel `c`'s stretcher has made into held_[c] (a stretcher makes no more
    // until it is taken), dropping what is left of the start delay first.
    void drain(size_t c);

    std::array<std::unique_ptr<RubberBand::RubberBandStretcher>, 2> stretchers_;
    std::vector<float> in_;
    std::array<std::vector<float>, 2> held_;  // stretched frames of each channel, not yet taken
    std::array<int32_t, 2> heldFrames_{};
    std::array<int64_t, 2> fed_{};         // source frames fed to each channel since the restart
    std::array<int32_t, 2> dropFrames_{};  // of each channel's start delay, still to be dropped
    int32_t pitch_ = 0;
    bool keepKey_ = true;
    int32_t keyShift_ = 0;
};

inline int32_t StudioStretch::ready() const { return std::min(heldFrames_[0], heldFrames_[1]); }

// The sound thread's passes shared out between the decks' studio stretchers: a deck steps
// its stretcher in its own passes, so the two decks' hops never add up in one pass.
// Sound thread only.

class StretchTurns {
public:
    void nextPass() { ++pass_; }
    bool turnOf(int deck) const { return pass_ % 2 == deck; }

private:
    int64_t pass_ = 0;
};

}  // namespace spinlorex
