#pragma once

#include <cstdint>

namespace spinlorex {

// The one current sound output: turns the two decks' rendered audio into sound. The
// sound thread calls beginPass, endPass, resyncDeck, deckStarted, deckStopped and preview;
// the main thread calls applyDeckLevel, applyCrossfader, deckSelected and isAudible. No
// operation may allocate, lock or wait.
class OutputDevice {
public:
    virtual ~OutputDevice() = default;

    // Main thread. level 0..256.
    virtual void applyDeckLevel(int deck, int32_t level) = 0;
    // Main thread. position 0..384, 0 = deck 1 only.
    virtual void applyCrossfader(int32_t position) = 0;
    // Sound thread: restart the deck's output from its heard index.
    virtual void resyncDeck(int deck) = 0;
    // Sound thread, after both decks were serviced: copy or mix what they rendered.
    virtual void endPass() = 0;
    // Sound thread: play `frames` frames of a paused deck's output ring at `index` once.
    virtual bool preview(int deck, int32_t index, int32_t frames) = 0;
    // Sound thread, before the decks are serviced: read the cursors and tell each deck
    // which of its frames is being heard.
    virtual void beginPass() = 0;
    // Sound thread.
    virtual void deckStarted(int deck) = 0;
    virtual void deckStopped(int deck) = 0;
    // Main thread: the desk selected this deck.
    virtual void deckSelected(int deck) = 0;
    // Main thread: the deck runs at an audible gain.
    virtual bool isAudible(int deck) const = 0;
};

}  // namespace spinlorex
