// Reading a beat grid (the section and phase at a time, the main tempo) and the tempo a DJ
// is shown from the analyser's tempo and the grid.

#include <gtest/gtest.h>

#include "library/BeatGrid.h"
#include "library/ShownTempo.h"

namespace spinlorex {
namespace {

// 120 BPM from 0.1 s, 128 BPM from 30 s (its first beat at 30.2 s).
const BeatGrid kTwoTempi{{{0.0, 0.1, 0.5}, {30.0, 30.2, 60.0 / 128}}, 0.95f};

TEST(BeatGrid, SectionPhaseAndMainTempoFollowTheSections) {
    EXPECT_EQ(kTwoTempi.sectionAt(0.0), &kTwoTempi.sections[0]);
    EXPECT_EQ(kTwoTempi.sectionAt(29.99), &kTwoTempi.sections[0]);
    EXPECT_EQ(kTwoTempi.sectionAt(30.0), &kTwoTempi.sections[1]);
    EXPECT_NEAR(kTwoTempi.phaseAt(0.1), 0.0, 1e-9);
    EXPECT_NEAR(kTwoTempi.phaseAt(0.05), 0.9, 1e-9);  // before the first beat
    EXPECT_NEAR(kTwoTempi.phaseAt(29.85), 0.5, 1e-9);
    EXPECT_NEAR(kTwoTempi.phaseAt(30.2 + 60.0 / 128 * 2.25), 0.25, 1e-9);
    EXPECT_NEAR(kTwoTempi.sections[1].nearestBeat(30.1), 30.2, 1e-9);
    // The last section runs to the end: the longer one's tempo is the track's.
    EXPECT_DOUBLE_EQ(kTwoTempi.mainBpm(50.0), 120.0);
    EXPECT_DOUBLE_EQ(kTwoTempi.mainBpm(70.0), 128.0);

    const BeatGrid none;
    EXPECT_EQ(none.sectionAt(1.0), nullptr);
    EXPECT_EQ(none.phaseAt(1.0), -1.0);
    EXPECT_EQ(none.mainBpm(60.0), 0.0);
}

TEST(ShownTempo, TheGridWinsWhereTheAnalyserMisreadItsBeat) {
    const BeatGrid dnb{{{0.0, 0.2, 60.0 / 170}}, 0.9f};
    for (float misread : {170.4f, 113.3f, 85.1f, 340.0f})
        EXPECT_FLOAT_EQ(shownTempo(misread, dnb, 300), 170.0f) << misread;
    // Swung drums: the analyser counts the triplets or the kicks' spacing.
    const BeatGrid swung{{{0.0, 0.2, 60.0 / 100}}, 0.9f};
    for (float misread : {148.5f, 133.3f, 120.1f, 75.2f})
        EXPECT_FLOAT_EQ(shownTempo(misread, swung, 300), 100.0f) << misread;
    EXPECT_EQ(shownTempo(146.0f, swung, 300), 146.0f);
    // Where the analyser found none, the grid's.
    EXPECT_FLOAT_EQ(shownTempo(0.0f, dnb, 300), 170.0f);
    // Another tempo altogether, a doubtful or empty grid: the analyser's.
    EXPECT_EQ(shownTempo(150.0f, dnb, 300), 150.0f);
    const BeatGrid doubtful{{{0.0, 0.2, 60.0 / 170}}, 0.55f};
    EXPECT_EQ(shownTempo(113.3f, doubtful, 300), 113.3f);
    EXPECT_EQ(shownTempo(113.3f, BeatGrid{}, 300), 113.3f);
    // The main section decides: a long body at 128 after a short intro at 120.
    EXPECT_FLOAT_EQ(shownTempo(85.4f, kTwoTempi, 300), 128.0f);
}

}  // namespace
}  // namespace spinlorex
