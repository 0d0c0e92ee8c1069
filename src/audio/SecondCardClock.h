#pragma once

#include <array>
#include <cstdint>

namespace spinlorex {

// The first sound card's clock as a second card sees it. Two cards run on two crystals
// that never agree exactly (0.1 % apart is 44 frames a second), so what a deck plays on
// the second card slowly runs ahead of or behind what the first card plays. This follows
// how far the second card has run against the first: each pass it counts the frames both
// have taken (their write cursors, unwrapped) and averages the difference over half a
// second of the first card, which smooths out the cards' callback steps; a line through
// the last averages extends it to the present.
//
// A deck placed on the second card is placed where the first card has it (placement()),
// and the output notes offset() then; once offset() has moved by more than kRealignFrames
// since, the deck has drifted that far and is placed again. Heard positions of decks that
// play only on the second card are counted on the first card's clock (firstWritten()).
//
// Sound thread only; never allocates.
class SecondCardClock {
public:
    // Frames of the first card over which the difference is averaged.
    static constexpr int32_t kWindowFrames = 22050;
    // How far (2.5 ms) a deck on the second card may drift before it is placed again.
    static constexpr int32_t kRealignFrames = 110;

    struct Cursors {
        int32_t play = 0;
        int32_t write = 0;
        int32_t frames = 1;  // of the buffer they belong to
    };

    // Each pass, with the cursors of one playing buffer of each card.
    void update(const Cursors& first, const Cursors& second);
    // Both cards have been read at least once.
    bool running() const { return started_; }

    // Frames the second card has taken beyond the first since they started, smoothed.
    int64_t offset() const;
    // Frames the first card has taken since it started (its write cursor, unwrapped).
    int64_t firstWritten() const { return first_; }
    // Deck frames to add to the deck frame at the first card's write cursor to have the
    // one that belongs at the second card's write cursor now, so that both are heard at
    // once: the cards' current steps against their average, and the difference of their
    // latencies.
    int32_t placement() const;

private:
    struct Average {
        double at = 0;    // the first card's count at the window's middle
        double mean = 0;  // the second card's count minus the first's, averaged
    };
    static constexpr int kHistory = 16;

    bool started_ = false;
    int32_t lastFirstWrite_ = 0;
    int32_t lastSecondWrite_ = 0;
    int64_t first_ = 0;
    int64_t second_ = 0;
    int32_t latencyDifference_ = 0;

    int64_t windowStart_ = 0;
    double windowSum_ = 0;
    double windowAtSum_ = 0;
    int32_t windowSamples_ = 0;

    std::array<Average, kHistory> history_{};
    int32_t averages_ = 0;  // made so far (the last kHistory are kept)
};

}  // namespace spinlorex
