#pragma once

#include <cstddef>

#include "audio/AudioEngine.h"
#include "audio/DeckOptions.h"
#include "audio/DeckPair.h"
#include "desk/DeskLibrary.h"
#include "desk/DeskShell.h"
#include "desk/DeskTimers.h"
#include "desk/DeskView.h"
#include "platform/settings/Settings.h"
#include "skin/SkinModel.h"

namespace spinlorex {

class BackgroundAnalysis;
class OutputDevice;
class TrackOpener;

// What every part of the desk works with: the decks, the audio engine, the view, the timers,
// the window and the library, plus the current skin and the background analysis, which the
// window may replace at any time. Owned by MixingDesk and handed to its parts by reference.
// Main thread only.
struct DeskContext {
    struct Links {
        DeckPair& decks;
        AudioEngine& engine;  // its current output device may change (sound configuration)
        DeskView& view;
        DeskTimers& timers;
        DeskShell& shell;
        DeskLibrary& library;
    };

    explicit DeskContext(Links l) : links(l) {}

    DeckStream& deck(int d) const { return links.decks[d == 1 ? 1 : 0]; }
    // The output device now in use; null without one.
    OutputDevice* output() const { return links.engine.output(); }
    // One of the settings the decks follow on the sound thread changed: they get the new
    // values (the sound thread never reads the settings itself).
    void handOverDeckOptions() const {
        links.decks.setOptions(DeckOptions::fromSettings(settings()));
    }
    // A control of the current skin; an absent one without a skin.
    const SkinControl& control(int id) const {
        static const SkinControl kAbsent = SkinControl::absent(kMaskNever);
        return skin != nullptr ? skin->control(id) : kAbsent;
    }

    Links links;
    const SkinModel* skin = nullptr;         // without a skin the mouse does nothing
    BackgroundAnalysis* analysis = nullptr;  // null: no analysis in the background
    TrackOpener* opener = nullptr;           // null: tracks open on the main thread
};

// Per-deck arrays are indexed 0 and 1; any other deck number is taken as the first.
inline size_t deckIndex(int deck) { return deck == 1 ? 1 : 0; }

}  // namespace spinlorex
