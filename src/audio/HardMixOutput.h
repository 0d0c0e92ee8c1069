#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/OutputDevice.h"
#include "platform/sound/SoundSystem.h"

namespace spinlorex {

class DeckPair;

// The sound card mixes: one looping device buffer of 88200 frames per deck, fed from the
// deck's output ring; levels and the crossfader act through the buffers' volumes. Cannot
// record.
class HardMixOutput : public OutputDevice {
public:
    static constexpr int32_t kBufferFrames = 88200;

    // Main thread. Null (with `error` set) when a buffer cannot be made.
    static std::unique_ptr<HardMixOutput> create(DeckPair& decks,
                                                 std::unique_ptr<sound::SoundDevice> device,
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
    bool isAudible(int deck) const override;

private:
    HardMixOutput(DeckPair& decks, std::unique_ptr<sound::SoundDevice> device);

    struct Channel {
        std::unique_ptr<sound::SoundBuffer> buffer;
        int32_t copiedTo = 0;      // deck output-ring index up to which audio was copied
        int32_t bufferWrite = 0;   // where the next copy goes in the device buffer
        int32_t writeCursor = 0;   // from the last cursor query
        int32_t playCursor = 0;
        int32_t silenceLeft = 0;   // silent frames still to write after a stop
        std::atomic<bool> running{false};
        std::atomic<int32_t> level{256};
        std::atomic<int32_t> gain{0};
    };

    void applyVolume(int deck);
    // Copies `frames` frames of the deck's output ring from `from` into the device buffer at
    // `at` (both rings wrap); null source = silence.
    void copyToBuffer(int deck, const int16_t* ring, int32_t from, int32_t at, int32_t frames);
    void copyPending(int deck);

    DeckPair& decks_;
    std::unique_ptr<sound::SoundDevice> device_;
    std::array<Channel, 2> channels_;
};

}  // namespace spinlorex
