#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "audio/LoopedSource.h"

namespace spinlorex {

class DeckStream;
struct BeatGrid;

// Each deck's loops as a DJ drives them: a beat loop of 1/8 to 32 beats from the beat of
// the track's grid nearest the heard point, loop in and out by hand (snapped to the grid's
// beats when the track has one), halving, doubling, moving by the loop's length, reloop
// and exit. Remembers per deck the size a beat loop takes and the last loop, for reloop.
//
// Main thread only; the deck's calls block until the sound thread served them.
class DeskLoops {
public:
    static constexpr double kFewestBeats = 0.125;
    static constexpr double kMostBeats = 32.0;
    static constexpr double kDefaultBeats = 4.0;

    explicit DeskLoops(std::array<DeckStream*, 2> decks) : decks_(decks) {}

    // A beat loop of the chosen size, or out of the loop when the deck loops. Nothing
    // without a track whose tempo is known (with a tempo but no grid, from the heard point).
    void beatLoop(int deck);
    // Halves or doubles the loop the deck plays (keeping its start), else the size the
    // next beat loop takes.
    void halve(int deck) { resize(deck, 0.5); }
    void doubleSize(int deck) { resize(deck, 2.0); }
    // Moves the loop by its length, the heard point with it; -1 back, +1 forward.
    void move(int deck, int direction);
    // The loop's start by hand at the heard point.
    void loopIn(int deck);
    // The loop's end by hand at the heard point: the deck loops from the loop in on.
    void loopOut(int deck);
    // Out of the loop, or back into the last one (to its start when the deck is past it).
    void reloop(int deck);
    void exit(int deck);

    // The size the next beat loop takes, in beats.
    double chosenBeats(int deck) const { return state(deck).beats; }
    // The loop the deck plays, in beats of its track's tempo; 0 when it does not loop or
    // its tempo is unknown.
    double loopBeats(int deck) const;

private:
    struct State {
        double beats = kDefaultBeats;
        LoopSpan last;                // for reloop
        int64_t in = -1;              // a loop in set by hand
        const void* track = nullptr;  // the record `last` and `in` belong to
    };
    // The deck's state, forgotten when the deck holds another track since.
    State& current(int deck);
    State& state(int deck) { return states_[deck == 1 ? 1 : 0]; }
    const State& state(int deck) const { return states_[deck == 1 ? 1 : 0]; }
    DeckStream& deck(int d) const { return *decks_[d == 1 ? 1 : 0]; }
    void resize(int deck, double factor);
    void play(int deck, const LoopSpan& loop, int entry);
    // One beat of the deck's track in frames; 0 when its tempo is unknown.
    double beatFrames(int deck) const;

    std::array<DeckStream*, 2> decks_;
    std::array<State, 2> states_{};
};

// The heard frame of a deck; nothing without a position.
std::optional<int64_t> heardFrame(const DeckStream& deck);
// The frame of the grid's beat nearest `frame`, or `frame` itself without a grid there.
int64_t snapToBeat(const BeatGrid* grid, int64_t frame);

}  // namespace spinlorex
