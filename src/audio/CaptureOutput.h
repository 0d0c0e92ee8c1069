#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "audio/OutputDevice.h"

namespace spinlorex {

class DeckPair;

// Receives the audio a running deck renders, in order, as it leaves the output ring.
class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    // Sound thread.
    virtual void captured(int deck, const int16_t* frames, int32_t count) = 0;
};

// An output device for offline work: it hears each running deck's rendered audio the
// moment it is rendered, as an infinitely fast sound card would, and hands it to a sink.
// Each pass thus renders one chunk per running deck; nothing is mixed and levels are not
// applied (the sink gets what each deck renders).
class CaptureOutput : public OutputDevice {
public:
    CaptureOutput(DeckPair& decks, CaptureSink& sink);

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
    DeckPair& decks_;
    CaptureSink& sink_;
    std::array<std::atomic<bool>, 2> running_{};  // read by isAudible on the main thread
    std::array<int32_t, 2> copiedTo_{};           // output-ring index up to which audio was taken
    std::array<std::atomic<int32_t>, 2> level_{};
};

}  // namespace spinlorex
