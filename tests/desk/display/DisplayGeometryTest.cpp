#include <gtest/gtest.h>

#include "desk/display/DeskGeometry.h"
#include "desk/display/OptionLines.h"

namespace spinlorex::display {
namespace {

constexpr int32_t R = 70;
constexpr Point kCentre{90, 210};

TEST(DisplayGeometryTest, HandTurnsClockwiseFromTwelve) {
    EXPECT_EQ(handEnd(0.0f, R), (Point{0, -R}));
    EXPECT_EQ(handEnd(0.25f, R), (Point{R, 0}));
    EXPECT_EQ(handEnd(0.5f, R), (Point{0, R}));
    EXPECT_EQ(handEnd(0.75f, R), (Point{-R, 0}));
    EXPECT_EQ(handEnd(0.125f, R), (Point{49, -49}));  // trunc(sin(pi/4) * 70)
    EXPECT_EQ(handEnd(-1.0f, R), (Point{0, 0}));      // no position: no hand
}

TEST(DisplayGeometryTest, EraseBoxHoldsCentreAndBothHands) {
    EXPECT_EQ(handEraseRect(kCentre, {0, -R}, {R, 0}), (Rect{90, 140, 161, 211}));
    EXPECT_EQ(handEraseRect(kCentre, {-3, 5}, {0, 0}), (Rect{87, 210, 91, 216}));
}

TEST(DisplayGeometryTest, CueMarkIsTheOuterEighth) {
    const CueMark atStart = cueMark(kCentre, 0.0f, R);
    EXPECT_EQ(atStart.inner, (Point{90, 210 - 61}));  // 70 * 7 / 8 = 61
    EXPECT_EQ(atStart.outer, (Point{90, 140}));
    const CueMark left = cueMark(kCentre, 0.75f, R);
    EXPECT_EQ(left.inner, (Point{90 - 61, 210}));

    // A hand sweeping the upper right quarter touches the mark at 12; one in the lower
    // half does not.
    EXPECT_TRUE(cueMarkTouched(atStart, handEraseRect(kCentre, {0, -R}, {R, 0})));
    EXPECT_FALSE(cueMarkTouched(atStart, handEraseRect(kCentre, {R, 0}, {0, R})));
}

TEST(DisplayGeometryTest, BarLineAndStrip) {
    const Rect bar{100, 20, 300, 40};
    EXPECT_EQ(barLine(bar.left, bar.right, -1.0f), 0);
    EXPECT_EQ(barLine(bar.left, bar.right, 0.0f), 1);
    EXPECT_EQ(barLine(bar.left, bar.right, 0.5f), 101);
    EXPECT_EQ(barStrip(bar, 1, 101), (Rect{100, 20, 201, 40}));  // both lines included
    EXPECT_EQ(barStrip(bar, 101, 0), (Rect{200, 20, 201, 40}));
    EXPECT_TRUE(barStrip(bar, 0, 0).empty());
    EXPECT_EQ(barCueX(bar.left, bar.right, 0.25f), 150);
}

TEST(DisplayGeometryTest, Knobs) {
    // The default skin's crossfader: track 273..529, a 23-pixel knob.
    EXPECT_EQ(crossfaderKnobX(273, 529, 23, 0), 273);
    EXPECT_EQ(crossfaderKnobX(273, 529, 23, 192), 273 + (529 - 23 - 273) / 2);
    EXPECT_EQ(crossfaderKnobX(273, 529, 23, 384), 529 - 23);
    // Its pitch slider: track 125..271, a 20-pixel knob; position 128 centres the knob.
    const int32_t y = sliderKnobY(125, 271, 20, 128);
    EXPECT_EQ(y + 20 / 2, (125 + 271) / 2);
    EXPECT_EQ(sliderKnobY(125, 271, 20, 0), 125);
    EXPECT_EQ(sliderKnobY(125, 271, 20, 256), 271 - 20);
}

class DisplayOptionsTest : public ::testing::Test {
protected:
    void TearDown() override { settings().resetToDefaults(); }
    Settings& s = settings();
};

TEST_F(DisplayOptionsTest, ValuesWithoutTextAreShownAsTheFirstAndReset) {
    set(s.crossfader, 7);
    set(s.longMix, 17);
    EXPECT_EQ(optionText(ctl::OptCrossfader, s).value, ": Smooth");
    EXPECT_EQ(optionText(ctl::OptMixLength, s).value, ": short");
    EXPECT_EQ(get(s.crossfader), 0);
    EXPECT_EQ(get(s.longMix), 0);
    set(s.longMix, 112);
    EXPECT_EQ(optionText(ctl::OptMixLength, s).value, ": 30s");
    set(s.babySecure, 5);  // every value past "Ask" reads "Always" and stays as it is
    EXPECT_EQ(optionText(ctl::OptSecurity, s).value, ": Always");
    EXPECT_EQ(get(s.babySecure), 5);
}

}  // namespace
}  // namespace spinlorex::display
