#pragma once

#include <cstdint>

namespace spinlorex {

// What a playing deck knows when it decides whether the other deck should start: automatic
// mixing starts the other deck once this one is 80 % through and close enough to its last
// strong beat for a whole mix to end there.
struct AutomaticStartCheck {
    float heard = 0.0f;           // the heard position, a fraction of the track
    bool autoMix = false;         // automatic mixing is on
    int32_t longMix = 0;          // hold ticks of the mix
    bool mixedOut = false;        // this deck was already mixed out
    bool playing = false;         // this deck plays
    bool otherPlaying = false;    // the other deck plays (or there is none)
    int32_t seconds = 0;          // the track's duration
    float lastStrongBeat = 0.0f;  // a fraction of the track; 0 when unknown
    int32_t pitch = 0;            // this deck's pitch
    bool looping = false;         // this deck plays round a loop: no mix starts
};

// Any thread (the sound thread calls it with every new heard position); pure.
bool automaticStartDue(const AutomaticStartCheck& check);

}  // namespace spinlorex
