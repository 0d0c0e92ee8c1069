#pragma once

#include <atomic>
#include <cstdint>

namespace spinlorex {

struct Settings;

// The settings a deck follows while it plays, handed to it by the main thread when the deck
// is made and whenever one of them changes; the sound thread reads only the deck's copy.
struct DeckOptions {
    bool masterTempo = true;   // change speed without changing key
    bool highQuality = false;  // master tempo (and key shift) through the studio stretcher
    bool autoMix = false;      // start the other deck near the end of this one
    int32_t longMix = 0;       // hold ticks of an automatic mix (lengthens the start's lead)

    // Main thread: the options as the settings now hold them.
    static DeckOptions fromSettings(const Settings& settings);
};

// A deck's own copy of its options: written by the main thread, read by any thread.
class SharedDeckOptions {
public:
    // Main thread.
    void store(const DeckOptions& options) {
        masterTempo_.store(options.masterTempo, std::memory_order_relaxed);
        highQuality_.store(options.highQuality, std::memory_order_relaxed);
        autoMix_.store(options.autoMix, std::memory_order_relaxed);
        longMix_.store(options.longMix, std::memory_order_relaxed);
    }
    // Any thread.
    bool masterTempo() const { return masterTempo_.load(std::memory_order_relaxed); }
    bool highQuality() const { return highQuality_.load(std::memory_order_relaxed); }
    bool autoMix() const { return autoMix_.load(std::memory_order_relaxed); }
    int32_t longMix() const { return longMix_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> masterTempo_{DeckOptions{}.masterTempo};
    std::atomic<bool> highQuality_{DeckOptions{}.highQuality};
    std::atomic<bool> autoMix_{DeckOptions{}.autoMix};
    std::atomic<int32_t> longMix_{DeckOptions{}.longMix};
};

}  // namespace spinlorex
