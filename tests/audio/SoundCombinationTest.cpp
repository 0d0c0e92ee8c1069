#include <gtest/gtest.h>

#include "audio/OutputModes.h"

namespace spinlorex {
namespace {

TEST(SoundCombinationTest, EveryModeIsFoundFromItsRowAndBack) {
    const struct { int32_t card, output; bool soft; } rows[] = {
        {0, 0, false}, {0, 0, true}, {2, 2, false}, {1, 2, false}, {2, 1, false}, {1, 1, false},
        {0, 2, false}, {0, 1, false}, {2, 1, true},  {1, 1, true},  {0, 1, true},
    };
    for (int32_t mode = 0; mode < 11; ++mode) {
        const auto& r = rows[mode];
        EXPECT_EQ(outputModeFor(r.card, r.output, r.soft), mode);
        const SoundCombination c = combinationOf(mode);
        EXPECT_EQ((std::tuple{c.cardKind, c.outputKind, c.soft}), (std::tuple{r.card, r.output, r.soft})) << mode;
    }
}

TEST(SoundCombinationTest, SpeakersNeedOneCardAndTheExternalMixerIgnoresTheMix) {
    for (int32_t card = 0; card < 3; ++card) {
        for (const bool soft : {false, true}) {
            // Speakers alone only make sense on one plain card.
            EXPECT_EQ(outputModeFor(card, kSpeakers, soft) < 0, card != kOneCard) << card << soft;
            EXPECT_EQ(outputModeFor(card, kExternalMixer, soft), outputModeFor(card, kExternalMixer, false));
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
