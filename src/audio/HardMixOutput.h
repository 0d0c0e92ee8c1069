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

// The sound card mixes: every output of the configuration takes each deck it carries in a
// looping device buffer of 88200 frames of its own, fed from the deck's output ring, and
// the buffers' volumes do the rest: the mix takes both decks at level x crossfader, an
// external mixer's channel one deck at its level, the pre-listen both decks with only the
// selected one at its level. Cannot record.
//
// Heard positions come from each deck's first buffer. On a second card, whose clock is not
// the first's, a deck is placed where the first card has it and placed again whenever it
// has drifted more than a few milliseconds; a deck heard only there (deck 2 on an external
// mixer) is heard on the first card's clock. While a preview sounds, the pre-listen's deck
// buffers are silenced and a buffer of its own carries the preview.
class HardMixOutput : public OutputDevice {
public:
    static constexpr int32_t kBufferFrames = 88200;

    // Main thread. `second` is the second card of a two-card plan (null otherwise, or when
    // it cannot be had: its outputs are then left out). Null
    // (with `error` set) when a buffer cannot be made.
    static std::unique_ptr<HardMixOutput> create(DeckPair& decks, const OutputPlan& plan,
                                                 std::unique_ptr<sound::SoundDevice> first,
                                                 std::unique_ptr<sound::SoundDevice> second,
                                                 sound::SoundError& error);
    ~HardMixOutput() override;

    void applyDeckLevel(int deck, int32_t level) override;
    void applyCrossfader(int32_t position) override;
    void resyncDeck(int deck) override;
    void endPass() override;
    bool preview(int deck, int32_t index, int32_t frames) override;
    void beginPass() override;
    void deckStarted(int deck) override;
    void deckStopped(int deck) override;
    void deckSelected(int deck) override;
    bool isAudible(int deck) const override;

    // For tests: the volume of the buffer that carries `feed`'s share of `deck` (-10000
    // when there is none).
    int32_t volumeOf(Feed feed, int deck) const;

private:
    HardMixOutput(DeckPair& decks, std::unique_ptr<sound::SoundDevice> first,
                  std::unique_ptr<sound::SoundDevice> second);

    struct Lane {
        Feed feed = Feed::Mix;
        int deck = 0;
        bool secondCard = false;
        bool reports = false;  // tells the deck which of its frames is heard
        std::unique_ptr<sound::SoundBuffer> buffer;
        int32_t copiedTo = 0;     // deck output-ring index up to which audio was copied
        int32_t bufferWrite = 0;  // where the next copy goes in the device buffer
        int32_t writeCursor = 0;  // from the last cursor query
        int32_t playCursor = 0;
        int32_t silenceLeft = 0;   // silent frames still to write after a stop
        bool cursorsRead = false;  // this pass
        // On the second card: the clock's offset when the deck was placed, and the deck
        // frame there minus the first card's count then.
        int64_t placedOffset = 0;
        int64_t heardBase = 0;
        bool realign = false;
    };

    int32_t gainOf(const Lane& lane) const;
    void applyVolume(Lane& lane);
    // Copies `frames` frames of the deck's output ring from `from` into the lane's buffer
    // at `at` (both rings wrap); null source = silence.
    void copyToBuffer(Lane& lane, const int16_t* ring, int32_t from, int32_t at, int32_t frames);
    void copyPending(Lane& lane);
    // Restarts the lane's output from the deck's heard index (where the first card has it).
    void place(Lane& lane);
    // Places a drifted lane again, the new audio fading in over the old.
    void realign(Lane& lane);

    DeckPair& decks_;
    std::array<std::unique_ptr<sound::SoundDevice>, 2> devices_;
    std::array<Lane, 4> lanes_;
    int laneCount_ = 0;
    int firstClockLane_ = -1;  // a lane of each card, whose cursors tell its clock
    int secondClockLane_ = -1;
    SecondCardClock clock_;
    SpliceFade splice_;
    PreviewLane previewLane_;
    std::atomic<bool> previewSounding_{false};  // written by the sound thread
    std::array<std::atomic<bool>, 2> running_{};
    std::array<std::atomic<int32_t>, 2> level_{};
    std::array<std::atomic<int32_t>, 2> gain_{};  // the crossfader's
    std::atomic<int> selected_{0};
};

}  // namespace spinlorex
