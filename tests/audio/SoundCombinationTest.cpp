#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "audio/OutputModes.h"

namespace spinlorex {
namespace {

TEST(SoundCombinationTest, EveryModeHasItsOwnCombinationAndIsFoundFromIt) {
    std::set<std::tuple<int32_t, int32_t, bool>> seen;
    for (int32_t mode = 0; mode < 11; ++mode) {
        const SoundCombination c = combinationOf(mode);
        EXPECT_EQ(outputModeFor(c.cardKind, c.outputKind, c.soft), mode);
        seen.insert({c.cardKind, c.outputKind, c.soft});
    }
    EXPECT_EQ(seen.size(), 11u);
    EXPECT_FALSE(combinationOf(0).soft);
    EXPECT_TRUE(combinationOf(1).soft);  // the one mode that mixes in software
}

TEST(SoundCombinationTest, SpeakersNeedOneCardAndTheExternalMixerIgnoresTheMix) {
    for (int32_t card = 0; card < 3; ++card) {
        for (const bool soft : {false, true}) {
            // Speakers alone only make sense on one plain card.
            EXPECT_EQ(outputModeFor(card, kSpeakers, soft) < 0, card != kOneCard) << card << soft;
            EXPECT_EQ(outputModeFor(card, kExternalMixer, soft),
                      outputModeFor(card, kExternalMixer, false));
            EXPECT_GE(outputModeFor(card, kSpeakersAndHeadphones, soft), 0);
        }
    }
    EXPECT_EQ(outputModeFor(kTwoCards, kExternalMixer, true), 2);
    // Nothing selected in a list.
    EXPECT_EQ(outputModeFor(-1, kSpeakers, false), -1);
    EXPECT_EQ(outputModeFor(kOneCard, -1, false), -1);
    // A stored mode outside the table opens as a fresh installation's.
    for (const int32_t stored : {-1, 11, 1000}) {
        const SoundCombination c = combinationOf(stored);
        EXPECT_EQ(outputModeFor(c.cardKind, c.outputKind, c.soft), 0) << stored;
    }
}

}  // namespace
}  // namespace spinlorex
