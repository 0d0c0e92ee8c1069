#pragma once

#include <array>
#include <memory>

#include "audio/DeckStream.h"
#include "audio/PreviewPlayer.h"
#include "audio/StudioStretch.h"

namespace spinlorex {

// The program's two decks, each knowing the other, and the preview player heard beside them
// in the headphones. Created at start-up on the main thread
// and kept for the program's life; the decks start with the options the settings hold then.
class DeckPair {
public:
    DeckPair(TrackDatabase& database, DeskControl& desk, DeskNotifier& notifier);
    // For tests: decks reading through the given readers.
    DeckPair(TrackDatabase& database, DeskControl& desk, DeskNotifier& notifier,
             DeckStream::Readers deck1Readers, DeckStream::Readers deck2Readers);

    DeckStream& operator[](int deck) { return *decks_[static_cast<size_t>(deck)]; }
    const DeckStream& operator[](int deck) const { return *decks_[static_cast<size_t>(deck)]; }

    PreviewPlayer& preview() { return preview_; }

    // Main thread, whenever a setting the decks follow changes: see DeckStream::setOptions.
    void setOptions(const DeckOptions& options);
    // Main thread, while the sound thread is stopped.
    void setOutput(OutputDevice* output);
    void setWake(std::binary_semaphore* wake);
    // Main thread, while no sound thread runs: see DeckStream::setServedInline.
    void setServedInline(bool inline_);
    // Sound thread, before the decks' pass: the next pass's share of stretching.
    void beginPass() { stretchTurns_.nextPass(); }

private:
    std::array<std::unique_ptr<DeckStream>, 2> decks_;
    StretchTurns stretchTurns_;
    PreviewPlayer preview_;
};

}  // namespace spinlorex
