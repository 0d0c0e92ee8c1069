#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/OutputDevice.h"
#include "platform/sound/SoundSystem.h"

namespace spinlorex {

class DeckPair;

// Spinlorex mixes: both decks are summed into one looping device buffer of half a second,
// levels and crossfader applied to the samples, so the mix can be recorded. At most half a
// second is queued, and any change of level, crossfader or deck re-mixes from the write
// cursor, so it is heard within the device's write latency.
class SoftMixOutput : public OutputDevice {
public:
    static constexpr int32_t kBufferFrames = 22050;

    // Main thread. Null (with `error` set) when the buffer cannot be made.
    static std::unique_ptr<SoftMixOutput> create(DeckPair& decks,
                                                 std::unique_ptr<sound::SoundDevice> device,
                                                 sound::SoundError& error);
    ~SoftMixOutput() override;

    void applyDeckLevel(int deck, int32_t level) override;
    void applyCrossfader(int32_t position) override;
    void resyncDeck(int deck) override;
    void endPass() override;
    bool preview(int, int32_t, int32_t) override { return true; }
    void beginPass() override;
    void deckStarted(int deck) override;
    void deckStopped(int deck) override;
    bool isAudible(int deck) const override;

    // For tests: the gain applied to a deck's samples (level x crossfader gain, 0..65536).
    int32_t effectiveGain(int deck) const {
        return effectiveGain_[static_cast<size_t>(deck)].load(std::memory_order_relaxed);
    }

private:
    SoftMixOutput(DeckPair& decks, std::unique_ptr<sound::SoundDevice> device);
    void updateGain(int deck);
    // Mixes `n` frames into mix_ at mixWrite_, advancing every read index in step.
    void mixFrames(int32_t n, bool deck1, bool deck2);

    DeckPair& decks_;
    std::unique_ptr<sound::SoundDevice> device_;
    std::unique_ptr<sound::SoundBuffer> buffer_;
    std::unique_ptr<int16_t[]> mix_;  // mirrors the device buffer position for position
    int32_t mixWrite_ = 0;
    int32_t writeCursor_ = 0;
    int32_t playCursor_ = 0;
    std::array<int32_t, 2> deckRead_{};
    std::atomic<bool> resync_{false};
    std::array<std::atomic<bool>, 2> running_{};
    std::array<std::atomic<int32_t>, 2> level_{};
    std::array<std::atomic<int32_t>, 2> gain_{};
    std::array<std::atomic<int32_t>, 2> effectiveGain_{};
};

}  // namespace spinlorex
