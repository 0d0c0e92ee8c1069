#include "desk/DeskJog.h"

#include <cmath>

#include "audio/DeckStream.h"

namespace spinlorex {

void DeskJog::touch(int deck, bool touched) {
    Wheel& wheel = wheels_[index(deck)];
    if (wheel.touched == touched) return;
    wheel.touched = touched;
    wheel.fineFrames = 0.0;
    decks_[index(deck)]->touchWheel(touched);
}

void DeskJog::turn(int deck, double turns) {
    if (!std::isfinite(turns) || turns == 0.0) return;
    Wheel& wheel = wheels_[index(deck)];
    DeckStream& ds = *decks_[index(deck)];
    // The sound thread reads the total: it scratches while touched, nudges a playing deck
    // and leaves a paused one alone.
    ds.turnWheel(turns);
    if (wheel.touched) return;
    if (ds.playing()) {
        wheel.nudged.store(true);
        return;
    }
    wheel.fineFrames += turns * kFineMoveFramesPerTurn;
    const double whole = std::trunc(wheel.fineFrames);
    if (whole == 0.0) return;
    wheel.fineFrames -= whole;
    ds.moveFinely(static_cast<int64_t>(whole));
}

}  // namespace spinlorex
