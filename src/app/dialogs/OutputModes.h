#pragma once

// The sound configurations the program knows: a kind of sound card, what is plugged into
// it and who mixes the two decks. Each valid combination has a fixed number, the value of
// the "Output mode" setting. Qt-free, so the table is checked headless.

#include <array>
#include <cstddef>
#include <cstdint>

namespace spinlorex {

enum CardKind : int32_t { kOneCard = 0, kThreeDCard = 1, kTwoCards = 2 };
enum OutputKind : int32_t { kSpeakers = 0, kSpeakersAndHeadphones = 1, kExternalMixer = 2 };

struct SoundCombination {
    int32_t cardKind = kOneCard;
    int32_t outputKind = kSpeakers;
    bool soft = false;  // the program mixes (and can record); false: the card mixes
};

// In "Output mode" order: a row's index is the stored value.
inline constexpr std::array<SoundCombination, 11> kSoundCombinations = {{
    {kOneCard, kSpeakers, false},
    {kOneCard, kSpeakers, true},
    {kTwoCards, kExternalMixer, false},
    {kThreeDCard, kExternalMixer, false},
    {kTwoCards, kSpeakersAndHeadphones, false},
    {kThreeDCard, kSpeakersAndHeadphones, false},
    {kOneCard, kExternalMixer, false},
    {kOneCard, kSpeakersAndHeadphones, false},
    {kTwoCards, kSpeakersAndHeadphones, true},
    {kThreeDCard, kSpeakersAndHeadphones, true},
    {kOneCard, kSpeakersAndHeadphones, true},
}};

// The "Output mode" of a combination, or -1 when there is none. With the external mixer
// the decks leave the program separately, so the mix choice does not count there.
int32_t outputModeFor(int32_t cardKind, int32_t outputKind, bool soft);

// The combination of a stored "Output mode"; a value outside the table (a settings file
// edited by hand) opens as mode 0, the combination of a fresh installation.
SoundCombination combinationOf(int32_t outputMode);

}  // namespace spinlorex
