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

TEST(DerivedLayout, PlacesTheLibraryControlsFromTheFilesWindow) {
    ControlTable controls = withFilesWindow(100, 200, 700, 520);
    controls[ctl::RecordStatus].radius = 7;  // kept, like the masks
    deriveLibraryLayout(controls, 600);

    EXPECT_EQ(placement(controls[ctl::SearchText]), (Box{250, 203, 523, 227}));
    EXPECT_EQ(placement(controls[ctl::StartRecording]), (Box{304, 308, 496, 356}));
    const SkinControl& rec = controls[ctl::StartRecording];
    EXPECT_EQ(rec.x, 304);
    EXPECT_EQ(rec.width, 192);
    EXPECT_EQ(rec.height, 48);
    EXPECT_EQ((Box{rec.hitLeft, rec.hitTop, rec.hitRight, rec.hitBottom}), placement(rec));
    EXPECT_EQ((std::pair{rec.offX, rec.offY}), (std::pair{288, 600}));
    EXPECT_EQ((std::pair{rec.onX, rec.onY}), (std::pair{480, 600}));

    const SkinControl& search = controls[ctl::SearchGo];  // strip cell: on look a row lower
    EXPECT_EQ((std::pair{search.offX, search.offY}), (std::pair{264, 600}));
    EXPECT_EQ((std::pair{search.onX, search.onY}), (std::pair{264, 624}));
    const SkinControl& text = controls[ctl::SearchText];  // own position
    EXPECT_EQ((std::pair{text.offX, text.offY}), (std::pair{250, 203}));

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
    EXPECT_EQ(placement(files), (Box{52, 355, 775, 590}));

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
