#pragma once

// The sound configurations the program knows: a kind of sound card, what is plugged into
// it and who mixes the two decks. Each valid combination has a fixed number, the value of
// the "Output mode" setting, and a plan of what leaves the program where. Any thread.

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/sound/SoundSystem.h"

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

// What one output of a configuration carries.
enum class Feed {
    Mix,        // both decks through the crossfader, at their levels (the speakers)
    PreListen,  // the selected deck alone at its level, no crossfader (the headphones)
    Deck1,      // one deck at its level, no crossfader (a channel of an external mixer)
    Deck2,
};

// Where an output goes: the first or the second sound card, and which of its channels.
struct OutputRoute {
    Feed feed = Feed::Mix;
    int32_t card = 0;
    sound::ChannelRoute channels;
};

// What leaves the program in one configuration: one or two outputs, on one or two cards.
// Speakers take the mix; headphones add the pre-listen; an external mixer takes each deck
// alone. The second output goes to the second card, to channels 3-4 of a four-channel
// card, or, on one stereo card, to its right side while the first takes the left (both in
// mono).
struct OutputPlan {
    bool soft = false;     // the program mixes (and the mix can be recorded)
    int32_t channels = 2;  // of the first card
    bool twoCards = false;
    std::array<OutputRoute, 2> outputs{};
    int32_t outputCount = 1;
};

// The plan of a stored "Output mode" (a value outside the table as mode 0).
OutputPlan outputPlanFor(int32_t outputMode);

}  // namespace spinlorex
