#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/OutputDevice.h"
#include "audio/OutputModes.h"
#include "audio/PreviewLane.h"
#include "audio/SecondCardClock.h"
#include "audio/SpliceFade.h"
#include "platform/sound/SoundSystem.h"

namespace spinlorex {

class DeckPair;

// Spinlorex mixes: both decks are summed into one looping device buffer of half a second,
// levels and crossfader applied to the samples, so the mix can be recorded. At most half a
// second is queued, and any change of level, crossfader or deck re-mixes from the write
// cursor, so it is heard within the device's write latency.
//
// With headphones a second programme, the pre-listen, is mixed the same way into a buffer
// of its own (on channels 3-4, the right side of a stereo card, or the second card): the
// selected deck alone at its level, without the crossfader. Only the mix is recorded, and
// heard positions come from the mix. On a second card the pre-listen is placed where the
// first card has the decks and placed again when it drifts (see SecondCardClock). While a
// preview sounds, the pre-listen carries it instead of the selected deck.
class SoftMixOutput : public OutputDevice {
public:
    static constexpr int32_t kBufferFrames = 22050;

    // Main thread. `second` is the second card of a two-card plan (null otherwise, or when
    // it cannot be had: its outputs are then left out). Null
    // (with `error` set) when a buffer cannot be made.
    static std::unique_ptr<SoftMixOutput> create(DeckPair& decks, const OutputPlan& plan,
                                                 std::unique_ptr<sound::SoundDevice> first,
                                                 std::unique_ptr<sound::SoundDevice> second,
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
    void deckSelected(int deck) override;
    bool isAudible(int deck) const override;

    // For tests: the gain applied to a deck's samples (level x crossfader gain, 0..65536).
    int32_t effectiveGain(int deck) const {
        return effectiveGain_[static_cast<size_t>(deck)].load(std::memory_order_relaxed);
    }

private:
    // One stream of mixed frames and the device buffer it goes to.
    struct Programme {
        std::unique_ptr<sound::SoundBuffer> buffer;
        std::unique_ptr<int16_t[]> ring;  // mirrors the device buffer position for position
        bool secondCard = false;
        bool cursorsRead = false;  // this pass
        int32_t mixWrite = 0;
        int32_t writeCursor = 0;
        int32_t playCursor = 0;
        std::array<int32_t, 2> deckRead{};
        int64_t placedOffset = 0;  // the second card's clock offset when placed
    };

    SoftMixOutput(DeckPair& decks, std::unique_ptr<sound::SoundDevice> first,
                  std::unique_ptr<sound::SoundDevice> second);
    void updateGain(int deck);
    // The gains of the programme's decks this pass (0..65536 each).
    std::array<int32_t, 2> gainsOf(int programme) const;
    // Restarts the programme from the decks' heard indexes at its write cursor.
    void place(Programme& p);
    // Mixes `n` frames into the programme's ring, advancing every read index in step.
    static void mixFrames(Programme& p, const DeckPair& decks, int32_t n,
                          std::array<int32_t, 2> gains, bool deck1, bool deck2);
    void fill(Programme& p, int programme);

    DeckPair& decks_;
    std::array<std::unique_ptr<sound::SoundDevice>, 2> devices_;
    std::array<Programme, 2> programmes_;
    int programmeCount_ = 0;
    SecondCardClock clock_;
    SpliceFade splice_;
    PreviewLane previewLane_;
    bool previewSounding_ = false;  // sound thread: the pre-listen gave way to the preview
    std::atomic<bool> resync_{false};
    std::atomic<int> selected_{0};
    std::array<std::atomic<bool>, 2> running_{};
    std::array<std::atomic<int32_t>, 2> level_{};
    std::array<std::atomic<int32_t>, 2> gain_{};
    std::array<std::atomic<int32_t>, 2> effectiveGain_{};
};

}  // namespace spinlorex
