#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "desk/JogTarget.h"

namespace spinlorex {

class DeckStream;

// The decks' jog wheels as a DJ uses them. Touching the top of a wheel and turning it
// scratches: the deck follows the wheel forwards and backwards, a turn being 1.8 s of
// audio (a 33 1/3 rpm record), and on release a playing deck returns to its tempo from
// where the wheel left it, a paused one stays there. Turning a playing deck's wheel
// untouched nudges it: the tempo bends in proportion to the wheel's speed and comes back
// when the wheel stops. Turning a paused deck's wheel untouched moves the play position
// finely, by exact frames (a turn is about one second); the displays follow it as after a
// seek.
//
// touch and turn run on any one thread at a time (the MIDI thread); the deck's requests
// they make may block until the sound thread served them.
class DeskJog : public JogTarget {
public:
    static constexpr int32_t kFineMoveFramesPerTurn = 44100;

    explicit DeskJog(std::array<DeckStream*, 2> decks) : decks_(decks) {}

    // Any one thread at a time (the MIDI thread): the top of deck `deck`'s wheel touched
    // (true) or released (false).
    void touch(int deck, bool touched) override;
    // Any one thread at a time (the MIDI thread): the wheel turned by `turns` full turns
    // since the last call (+ forwards/clockwise).
    void turn(int deck, double turns) override;

    // Main thread: the wheel nudged the deck since the last call (the desk's phase lock
    // then keeps the distance the hand made).
    bool takeNudge(int deck) { return wheels_[index(deck)].nudged.exchange(false); }

private:
    struct Wheel {
        bool touched = false;
        double fineFrames = 0.0;  // the part of a frame a fine move has not made yet
        std::atomic<bool> nudged{false};
    };
    static size_t index(int deck) { return deck == 1 ? 1 : 0; }

    std::array<DeckStream*, 2> decks_;
    std::array<Wheel, 2> wheels_;
};

}  // namespace spinlorex
