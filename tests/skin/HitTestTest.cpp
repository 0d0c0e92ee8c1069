#include <gtest/gtest.h>

#include <climits>

#include "skin/SkinModel.h"

namespace spinlorex {
namespace {

SkinModel defaultSkin() {
    SkinModel m;
    m.controls = defaultSkinControls();
    return m;
}

// A skin with nothing in it but the given controls.
SkinModel emptySkin() {
    SkinModel m;
    for (auto& c : m.controls) c = SkinControl::absent(kMaskAlways);
    return m;
}

SkinControl circle(int32_t cx, int32_t cy, int32_t r, int32_t mask = kMaskAlways) {
    SkinControl c = SkinControl::absent(mask);
    c.hitLeft = cx, c.hitTop = cy, c.radius = r;
    return c;
}

SkinControl rect(int32_t l, int32_t t, int32_t r, int32_t b, int32_t mask = kMaskAlways) {
    SkinControl c = SkinControl::absent(mask);
    c.hitLeft = l, c.hitTop = t, c.hitRight = r, c.hitBottom = b;
    return c;
}

TEST(HitTest, LowerIdWinsWhereControlsShareAPlace) {
    const SkinModel skin = defaultSkin();
    EXPECT_EQ(hitTest(skin, 238, 326, 0, 1), ctl::Play1);  // pause1 sits on the same circle
    EXPECT_EQ(hitTest(skin, 561, 326, 0, 1), ctl::Play2);
}

TEST(HitTest, PanelMasksDecideWhatIsLive) {
    const SkinModel skin = defaultSkin();
    const int32_t saveX = 60, saveY = 580;  // the "Save" button's place
    EXPECT_EQ(hitTest(skin, saveX, saveY, 2, 1), ctl::Save);
    EXPECT_EQ(hitTest(skin, saveX, saveY, 4, 1), ctl::Save);
    // In the search panel the results area lies there instead.
    EXPECT_EQ(hitTest(skin, saveX, saveY, 1, 1), ctl::SearchArea);
    EXPECT_EQ(hitTest(skin, saveX, saveY, 3, 1), ctl::None);
    // Before the first panel only the always-live controls answer.
    EXPECT_EQ(hitTest(skin, saveX, saveY, -1, 1), ctl::None);
    EXPECT_EQ(hitTest(skin, 765, 5, -1, 1), ctl::Close);
    // "mix" belongs to the playlist panel unless the skin widens its mask.
    EXPECT_EQ(hitTest(skin, 400, 330, 2, 1), ctl::Mix);
    EXPECT_EQ(hitTest(skin, 400, 330, 0, 1), ctl::None);
    // "files window" is never live, whatever the panel.
    for (int32_t panel = -1; panel <= 5; ++panel)
        EXPECT_NE(hitTest(skin, 700, 360, panel, 1), ctl::FilesWindow);
}

TEST(HitTest, FaderModeChoosesTheSliderSet) {
    const SkinModel skin = defaultSkin();
    EXPECT_EQ(hitTest(skin, 220, 200, 0, 1), ctl::Level1);
    EXPECT_EQ(hitTest(skin, 220, 200, 0, 0), ctl::Pitch1);
    EXPECT_EQ(hitTest(skin, 220, 200, 0, -1), ctl::Pitch1);
    EXPECT_EQ(hitTest(skin, 170, 150, 0, 1), ctl::None);  // "menu level1": pitch set only
    EXPECT_EQ(hitTest(skin, 170, 150, 0, 0), ctl::MenuLevel1);
    EXPECT_EQ(hitTest(skin, 170, 180, 0, 1), ctl::MenuPitch1);
    EXPECT_EQ(hitTest(skin, 170, 180, 0, 0), ctl::None);
}

TEST(HitTest, CirclesIncludeTheirRimAndRectanglesOnlyTheirLeftAndTopEdges) {
    SkinModel skin = emptySkin();
    skin.controls[1] = circle(100, 100, 5);
    skin.controls[2] = rect(200, 200, 210, 220);
    skin.controls[3] = circle(300, 300, 0);  // radius 0: never hit

    EXPECT_EQ(hitTest(skin, 105, 100, 0, 0), 1);
    EXPECT_EQ(hitTest(skin, 100, 95, 0, 0), 1);
    EXPECT_EQ(hitTest(skin, 103, 104, 0, 0), 1);  // 3-4-5: exactly on the rim
    EXPECT_EQ(hitTest(skin, 106, 100, 0, 0), ctl::None);
    EXPECT_EQ(hitTest(skin, 104, 104, 0, 0), ctl::None);

    EXPECT_EQ(hitTest(skin, 200, 200, 0, 0), 2);
    EXPECT_EQ(hitTest(skin, 209, 219, 0, 0), 2);
    EXPECT_EQ(hitTest(skin, 210, 205, 0, 0), ctl::None);
    EXPECT_EQ(hitTest(skin, 205, 220, 0, 0), ctl::None);
    EXPECT_EQ(hitTest(skin, 199, 205, 0, 0), ctl::None);

    EXPECT_EQ(hitTest(skin, 300, 300, 0, 0), ctl::None);
}

TEST(HitTest, ExtremeValuesFromASkinFileStayExact) {
    SkinModel skin = emptySkin();
    skin.controls[1] = circle(0, 0, INT_MAX);
    EXPECT_EQ(hitTest(skin, INT_MAX, 0, 0, 0), 1);
    EXPECT_EQ(hitTest(skin, INT_MAX, 1, 0, 0), ctl::None);
    skin.controls[1] = circle(INT_MIN, INT_MIN, INT_MAX);
    EXPECT_EQ(hitTest(skin, INT_MAX, INT_MAX, 0, 0), ctl::None);
    EXPECT_EQ(hitTest(skin, INT_MIN + 3, INT_MIN + 4, 0, 0), 1);
}

TEST(HitTest, LivenessOfTheSpecialMasks) {
    // Only the exact values 256 and 512 follow the fader mode; other masks follow the panel.
    EXPECT_TRUE(isLive(SkinControl::absent(kMaskPitchSet), 0, -1));
    EXPECT_FALSE(isLive(SkinControl::absent(kMaskPitchSet), 0, 1));
    EXPECT_TRUE(isLive(SkinControl::absent(kMaskVolumeSet), 3, 1));
    EXPECT_FALSE(isLive(SkinControl::absent(kMaskVolumeSet), 3, 0));
    EXPECT_FALSE(isLive(SkinControl::absent(kMaskPitchSet | 1), 1, 0));
    EXPECT_TRUE(isLive(SkinControl::absent(INT_MIN), -1, 0));  // panel -1 asks for bit 31
    EXPECT_TRUE(isLive(SkinControl::absent(1 << 2), 34, 0));   // the panel counts mod 32
}

TEST(ControlTable, LookupIsCaseBlindFirstMatchAndIdsOutsideTheTableReadAsAbsent) {
    EXPECT_EQ(findControl("PLAY1"), ctl::Play1);
    EXPECT_EQ(findControl("reserved"), ctl::Reserved1);
    EXPECT_EQ(findControl(""), ctl::Unused);
    EXPECT_EQ(findControl("play"), ctl::None);
    EXPECT_EQ(controlName(kControlCount), "");
    EXPECT_EQ(controlPanelMask(-2), kMaskNever);
    const SkinModel skin = defaultSkin();
    EXPECT_EQ(skin.control(kControlCount), SkinControl::absent(kMaskNever));
    EXPECT_EQ(skin.control(-1), SkinControl::absent(kMaskNever));
}

}  // namespace
}  // namespace spinlorex
