#include <gtest/gtest.h>

#include "skin/SkinModel.h"

namespace spinlorex {
namespace {

ControlTable withFilesWindow(int32_t l, int32_t t, int32_t r, int32_t b) {
    ControlTable controls{};
    for (int32_t id = 0; id < kControlCount; ++id)
        controls[static_cast<size_t>(id)] = SkinControl::absent(controlPanelMask(id));
    SkinControl& files = controls[ctl::FilesWindow];
    files.left = l, files.top = t, files.right = r, files.bottom = b;
    return controls;
}

struct Box {
    int32_t left, top, right, bottom;
    bool operator==(const Box&) const = default;
};
Box placement(const SkinControl& c) { return {c.left, c.top, c.right, c.bottom}; }

// Every library control lies inside the files window; the option lines stand in two
// columns in their order, each line right under the one before, the columns side by side
// and centred on the window's middle; strip buttons show "on" a row lower in the strip.
TEST(DerivedLayout, PlacesTheLibraryControlsInsideTheFilesWindowInTheirOrder) {
    ControlTable controls = withFilesWindow(100, 200, 700, 520);
    controls[ctl::RecordStatus].radius = 7;  // kept, like the masks
    deriveLibraryLayout(controls, 600);
    for (int32_t id = kFirstDerivedControl; id <= kLastDerivedControl; ++id) {
        const SkinControl& c = controls[static_cast<size_t>(id)];
        EXPECT_TRUE(c.left >= 100 && c.right <= 700 && c.top >= 200 && c.bottom <= 520) << id;
        EXPECT_TRUE(c.left < c.right && c.top < c.bottom) << id;
        EXPECT_EQ((Box{c.hitLeft, c.hitTop, c.hitRight, c.hitBottom}), placement(c)) << id;
    }
    const int32_t left[] = {ctl::OptAutoPitch,   ctl::OptAutoReset,  ctl::OptAutoLevel,
                            ctl::OptMasterTempo, ctl::OptPitchRange, ctl::OptMixLength,
                            ctl::OptCrossfader,  ctl::OptSoundConfig};
    const int32_t right[] = {ctl::OptSecurity, ctl::OptToolTip, ctl::OptMultiInstance,
                             ctl::OptSkin,     ctl::OptPlugins, ctl::OptShortcuts,
                             ctl::OptAbout};
    const auto column = [&](const auto& ids) {
        const SkinControl& first = controls[static_cast<size_t>(ids[0])];
        for (size_t i = 1; i < std::size(ids); ++i) {
            const SkinControl& above = controls[static_cast<size_t>(ids[i - 1])];
            const SkinControl& c = controls[static_cast<size_t>(ids[i])];
            EXPECT_EQ(c.top, above.bottom) << ids[i];
            EXPECT_EQ(c.left, first.left) << ids[i];
            EXPECT_EQ(c.right, first.right) << ids[i];
        }
        const SkinControl& bottom = controls[static_cast<size_t>(ids[std::size(ids) - 1])];
        EXPECT_EQ(first.top + bottom.bottom, 200 + 520) << "centred on the middle";
        return first;
    };
    const SkinControl l = column(left), r = column(right);
    EXPECT_EQ(l.left, 100);
    EXPECT_EQ(l.right, r.left);
    EXPECT_EQ(r.right, 700);

    const SkinControl& search = controls[ctl::SearchGo];
    EXPECT_EQ(search.onX, search.offX);
    EXPECT_EQ(search.onY, search.offY + search.height);
    const SkinControl& text = controls[ctl::SearchText];  // its own look: where it stands
    EXPECT_EQ((std::pair{text.offX, text.offY}), (std::pair{text.left, text.top}));

    EXPECT_EQ(controls[ctl::RecordStatus].radius, 7);
    EXPECT_EQ(controls[ctl::Save].panelMask, (1 << 2) | (1 << 4));
    EXPECT_EQ(controls[ctl::Save].radius, -1);
    EXPECT_EQ(controls[ctl::WindowDrag], SkinControl::absent(kMaskAlways));  // beyond the range
}

TEST(DerivedLayout, HalvesAndQuartersRoundTowardZero) {
    ControlTable controls = withFilesWindow(-7, -3, 10, 4);
    deriveLibraryLayout(controls, 600);
    EXPECT_EQ(controls[ctl::SearchText].left, -2);    // (3 * -7 + 10) / 4 = -11 / 4
    EXPECT_EQ(controls[ctl::OptAutoPitch].top, -64);  // M = (-3 + 4) / 2 = 0
    EXPECT_EQ(controls[ctl::OptSecurity].left, 1);    // C = (-7 + 10) / 2

    ControlTable odd = withFilesWindow(-9, -9, 0, 0);
    deriveLibraryLayout(odd, 600);
    EXPECT_EQ(odd[ctl::OptSecurity].left, -4);  // -9 / 2, not -5
    EXPECT_EQ(odd[ctl::AutoMixSwitch].top, -4 - 24);
}

TEST(DefaultSkin, RecordsMatchTheDerivedLayoutAndTheTableMasks) {
    const ControlTable& stored = defaultSkinControls();
    const SkinControl& files = stored[ctl::FilesWindow];
    // The files window lies in the lower half of the 800 x 600 desk.
    EXPECT_TRUE(files.left >= 0 && files.left < files.right && files.right <= 800);
    EXPECT_TRUE(files.top >= 300 && files.top < files.bottom && files.bottom <= 600);

    ControlTable derived = stored;
    for (int32_t id = kFirstDerivedControl; id <= kLastDerivedControl; ++id)
        derived[static_cast<size_t>(id)] = SkinControl::absent(controlPanelMask(id));
    deriveLibraryLayout(derived, kDefaultSkinHeight);
    for (int32_t id = 0; id < kControlCount; ++id) {
        const SkinControl& c = stored[static_cast<size_t>(id)];
        EXPECT_EQ(c, derived[static_cast<size_t>(id)]) << "id " << id;
        EXPECT_EQ(c.panelMask, controlPanelMask(id)) << "id " << id;
        if (c.x != -1) {
            // A placement's rectangle is its position and size.
            EXPECT_EQ(c.right, c.x + c.width) << "id " << id;
            EXPECT_EQ(c.bottom, c.y + c.height) << "id " << id;
        }
    }
    for (const int32_t id : {0, 32, 33, 38, 43}) {
        EXPECT_EQ(stored[static_cast<size_t>(id)], SkinControl::absent(controlPanelMask(id)))
            << "id " << id;
    }
}

}  // namespace
}  // namespace spinlorex
