#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "library/TrackRecord.h"

namespace spinlorex {

// The question before a track dropped from the library replaces a playing one ("Baby
// secure" 1).
inline constexpr const char* kReplaceQuestion =
    "A song is playing on this desk.\nAre you sure you want to stop it?";

// The user's choices the library follows, as the desk holds them.
struct LibraryRules {
    bool autoMix = false;          // automatic mixing is on
    bool compatibleFirst = false;  // the next track from the playlist: a compatible one first
    int32_t babySecure = 0;        // a drop on a playing deck: 0 replaces, 1 asks, else keeps
};

// What the music library asks of the desk: the decks' state, loading a track, the
// program's yes/no question and the user's rules. The desk implements it; tests fake it.
// Main thread only.
class LibraryDecks {
public:
    virtual ~LibraryDecks() = default;

    // The deck holds a track: its position is 0 or more, or its file is being opened.
    virtual bool holdsTrack(int deck) const = 0;
    // The deck plays, or a track was loaded on it and it has not been started since.
    virtual bool isBusy(int deck) const = 0;
    // The deck is heard at an audible gain.
    virtual bool isAudible(int deck) const = 0;
    virtual int selectedDeck() const = 0;
    // Loads the track on the deck (the deck keeps its own copy).
    virtual void loadOntoDeck(int deck, const TrackEntry& entry) = 0;
    // The track the deck holds open (also after its end), or null.
    virtual const TrackEntry* openTrack(int deck) const = 0;
    virtual bool askYesNo(const std::string& question) = 0;
    // Tells the user `text` (a playlist file refused); nothing where no one can be told.
    virtual void tell(const std::string& text) { (void)text; }
    // A tempo typed by the user for a record a deck holds goes in through that deck (its
    // sound thread writes the block while it analyses); false when no deck holds it.
    virtual bool setTempoByHand(const TrackRecord* record, float bpm) {
        (void)record;
        (void)bpm;
        return false;
    }
    // The key the deck's track sounds in now (its pitch and key shift counted); none
    // without a track or a known key. The lists mark the rows that mix with it.
    virtual std::optional<MusicalKey> currentKey(int deck) const {
        (void)deck;
        return std::nullopt;
    }
    virtual LibraryRules rules() const = 0;
};

}  // namespace spinlorex
