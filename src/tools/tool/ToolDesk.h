#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "audio/DeckLinks.h"

namespace spinlorex {
class DeckPair;
}

namespace spinlorex::tool {

// The desk's part as the tool's decks need it: pitches clamped into the range the
// "LimitPitch" setting gives, levels passed to the decks, status codes kept, and the sound
// thread's messages counted so the tool can wait for the end of a track.
class ToolDesk : public DeskControl, public DeskNotifier {
public:
    void attach(DeckPair& decks) { decks_ = &decks; }

    void setDeckPitch(int deck, int32_t pitch) override;
    void setDeckLevel(int deck, int32_t level) override;
    void setDeckStatus(int deck, uint32_t status) override;
    int32_t pitchMin() const override;
    int32_t pitchMax() const override;
    void post(int message, int deck) override;

    uint32_t status(int deck) const {
        return status_[static_cast<size_t>(deck)].load(std::memory_order_relaxed);
    }
    // Times the deck reached the end of its track; waiters use wait()/notify on it.
    std::atomic<int>& ended(int deck) { return ended_[static_cast<size_t>(deck)]; }

private:
    DeckPair* decks_ = nullptr;
    std::array<std::atomic<uint32_t>, 2> status_{kStatusEmpty, kStatusEmpty};
    std::array<std::atomic<int>, 2> ended_{0, 0};
};

}  // namespace spinlorex::tool
