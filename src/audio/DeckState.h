#pragma once

#include <atomic>
#include <cstdint>

namespace spinlorex {

// What a deck publishes to every thread: whether it plays, where the listener is, its pitch,
// level and length, and the marks the desk's mixing reads. The deck writes these (the sound
// thread or the caller thread, as each operation says); any thread reads them.
class DeckState {
public:
    // Any thread.
    int deckIndex() const { return deckIndex_; }
    bool playing() const { return playing_.load(std::memory_order_relaxed); }
    // The heard position, a fraction of the track; negative without one.
    float position() const { return position_.load(std::memory_order_relaxed); }
    int32_t pitch() const { return pitch_.load(std::memory_order_relaxed); }
    // A few pitch units on top of the pitch that keep the deck's beats on the other deck's
    // (the phase lock); the pitch shown and matched leaves it out.
    int32_t pitchTrim() const { return pitchTrim_.load(std::memory_order_relaxed); }
    // Semitones the deck's key is shifted (-6..+6), kept until the next load.
    int32_t keyShift() const { return keyShift_.load(std::memory_order_relaxed); }
    int32_t level() const { return level_.load(std::memory_order_relaxed); }
    // Seconds; negative without a track.
    int32_t duration() const { return duration_.load(std::memory_order_relaxed); }
    // The track's length in decoded frames (44100 a second); 0 without a track.
    int64_t trackFrames() const { return trackFrames_.load(std::memory_order_relaxed); }
    bool mixedOut() const { return mixedOut_.load(std::memory_order_relaxed); }
    void setMixedOut(bool value) { mixedOut_.store(value, std::memory_order_relaxed); }
    bool awaitingStart() const { return awaitingStart_.load(std::memory_order_relaxed); }
    int32_t cueCycle() const { return cueCycle_.load(std::memory_order_relaxed); }
    // A track's file is being opened for the deck (elsewhere than on the caller's thread):
    // the deck holds no position yet.
    bool loading() const { return loading_.load(std::memory_order_relaxed); }
    // The loop the deck plays round: its first frame and length in frames; a start of -1
    // while the deck plays straight on.
    int64_t loopStart() const { return loopStart_.load(std::memory_order_relaxed); }
    double loopLength() const { return loopLength_.load(std::memory_order_relaxed); }
    bool looping() const { return loopStart() >= 0; }
    // A hand holds the deck's jog wheel: the deck follows the wheel, not its own pitch.
    bool scratching() const { return scratching_.load(std::memory_order_relaxed); }

protected:
    explicit DeckState(int deckIndex);
    ~DeckState() = default;
    DeckState(const DeckState&) = delete;
    DeckState& operator=(const DeckState&) = delete;

    const int deckIndex_;
    std::atomic<bool> playing_{false};
    std::atomic<int32_t> pitch_;
    std::atomic<int32_t> level_;
    std::atomic<float> position_{-1.0f};
    std::atomic<bool> mixedOut_{false};
    std::atomic<bool> awaitingStart_{false};
    std::atomic<int32_t> duration_{-1};
    std::atomic<int64_t> trackFrames_{0};
    std::atomic<int32_t> pitchTrim_{0};
    std::atomic<int32_t> keyShift_{0};
    std::atomic<int32_t> cueCycle_{0};
    std::atomic<bool> loading_{false};
    std::atomic<int64_t> loopStart_{-1};
    std::atomic<double> loopLength_{0.0};
    std::atomic<bool> scratching_{false};
};

}  // namespace spinlorex
