#include "audio/Crossfader.h"

#include <gtest/gtest.h>

#include "platform/settings/Settings.h"

namespace spinlorex {
namespace {

struct Curve : ::testing::Test {
    void TearDown() override { settings().resetToDefaults(); }
    static CrossfaderGains at(int curve, int32_t position) {
        set(settings().crossfader, curve);
        return crossfaderGains(position);
    }
};

TEST_F(Curve, EveryCurveGivesFullSidesAtTheEnds) {
    for (int curve = 0; curve < 3; ++curve) {
        EXPECT_EQ(at(curve, 0).left, 256) << curve;
        EXPECT_EQ(at(curve, 0).right, 0) << curve;
        EXPECT_EQ(at(curve, 384).left, 0) << curve;
        EXPECT_EQ(at(curve, 384).right, 256) << curve;
    }
}

TEST_F(Curve, TheMiddleDiffersByCurve) {
    EXPECT_EQ(at(0, 192).left, 192);  // smooth
    EXPECT_EQ(at(0, 192).right, 192);
    EXPECT_EQ(at(1, 192).left, 256);  // full
    EXPECT_EQ(at(1, 192).right, 256);
    EXPECT_EQ(at(2, 192).left, 256);  // cut: both at full exactly in the middle
    EXPECT_EQ(at(2, 192).right, 256);
    EXPECT_EQ(at(2, 191).right, 0);
    EXPECT_EQ(at(2, 193).left, 0);
    EXPECT_EQ(at(1, 96).left, 256);
    EXPECT_EQ(at(1, 96).right, 128);
    EXPECT_EQ(at(0, 100).left, 256);
    EXPECT_EQ(at(0, 100).right, 100);
}

TEST_F(Curve, AnUnknownCurveIsSilentAndResetToSmooth) {
    const CrossfaderGains g = at(7, 192);
    EXPECT_EQ(g.left, 0);
    EXPECT_EQ(g.right, 0);
    EXPECT_EQ(get(settings().crossfader), 0);
}

TEST(Volume, HundredthsOfADecibel) {
    EXPECT_EQ(toHundredthsDb(65536), 0);
    EXPECT_EQ(toHundredthsDb(32768), -602);  // half: -6.02 dB
    EXPECT_EQ(toHundredthsDb(11), -7550);
    EXPECT_EQ(toHundredthsDb(10), -10000);  // below 11 is silence
    EXPECT_EQ(toHundredthsDb(0), -10000);
    EXPECT_EQ(toHundredthsDb(0 * 256), -10000);  // level 0 silences a hard-mix buffer
}

}  // namespace
}  // namespace spinlorex
