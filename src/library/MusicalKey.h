#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace spinlorex {

// A musical key: its tonic as a pitch class (0 C, 1 C#/Db, ... 11 B) and its mode. The
// wheel that DJs mix by (Camelot: 1A..12A minor, 1B..12B major; Open Key: 1m..12m minor,
// 1d..12d major) puts keys a fifth apart side by side and a minor key beside its relative
// major. Any thread: plain values.
struct MusicalKey {
    int8_t tonic = 0;  // 0..11
    bool minor = false;
    bool operator==(const MusicalKey&) const = default;

    // 1..12: the key's place on the wheel (Camelot's number).
    int wheelNumber() const;
    // The key at `number` (1..12, any integer is taken round the wheel) of the wheel.
    static MusicalKey atWheel(int number, bool minor);
    // The same key moved by `semitones` (negative: down).
    MusicalKey transposed(int semitones) const;
};

enum class KeyNotation : int8_t { Camelot = 0, OpenKey = 1, Musical = 2 };

// "8A", "1d", "A minor" / "C major" (sharps for tonics off the white keys, "F# minor",
// "Eb major" as musicians write them).
std::string keyText(MusicalKey key, KeyNotation notation);

// Reads a key in any of the notations, case aside, plus the short forms "Am", "C", "F#m",
// "Bbm", "Ebmin" that tags carry; none for anything else (an empty text, "13A", "H").
std::optional<MusicalKey> parseKey(std::string_view text);

// Mixes well after `a`: the same key, a neighbour on the wheel (a fifth up or down in the
// same mode), or its relative major or minor.
bool keysCompatible(MusicalKey a, MusicalKey b);

// The key a deck sounds in when it plays a track of `key` at `pitch` (4096 = normal speed)
// without master tempo: the speed ratio in semitones, rounded to the nearest one (+6 % is
// one semitone up).
MusicalKey keyAtPitch(MusicalKey key, int32_t pitch);

// The key code analysers store: 0 none, 1..12 C..B major, 13..24 C..B minor.
inline constexpr int kNoKeyCode = 0;
std::optional<MusicalKey> keyOfCode(int code);
int codeOfKey(MusicalKey key);

}  // namespace spinlorex
