#pragma once

#include <array>
#include <cstdint>

#include "audio/AudioFormat.h"

namespace spinlorex {

// What a deck's information panel shows, read by the desk every refresh.
struct DeckInfo {
    uint32_t status = 157;   // 0 normal; 153, 156, 157 show their message instead
    int32_t duration = -1;   // whole seconds
    float position = -1.0f;  // fraction, negative when there is none
    int32_t pitch = kNormalPitch;
    int32_t level = 256;     // the desk's copy, 0..256
    float trackBpm = 0.0f;   // the record's tempo
    float localBpm = 0.0f;   // the analyser's current estimate
    int32_t localLevel = 0;  // the analyser's last loudness window
    float cuePoint = 0.0f;
    float firstStrongBeat = 0.0f;
    float lastStrongBeat = 0.0f;
    int32_t loudnessPeak = 0;
    bool extended = false;     // the info toggle: the alternate template
    float loopBeats = 0.0f;    // the loop played, in beats; 0 without a loop or a tempo
    float loopSeconds = 0.0f;  // its length in track seconds; 0 without a loop
    float nextHotCue = -1.0f;  // fraction of the next hot cue ahead; negative: none
    // The key heard, as the "KeyNotation" setting writes it ("8A", "A minor"); empty when
    // none is known. Zero-terminated.
    std::array<char, 12> key{};

    bool operator==(const DeckInfo&) const = default;
};

}  // namespace spinlorex
