// The waveform band on Qt: the zoom it starts from and keeps in the settings.

#include <gtest/gtest.h>

#include "auxwindows/WaveformBand.h"
#include "platform/settings/Settings.h"
#include "support/DeckHarness.h"
#include "support/QtApp.h"

namespace spinlorex {
namespace {

// The zoom starts where the settings left it (within 2..32 s) and goes back into them.
TEST(WaveformBand, StartsFromTheStoredZoomAndKeepsItsOwn) {
    test::qtApp();
    test::DeckHarness h({.frames = 44100}, {.frames = 44100});
    set(settings().waveformZoom, 4000);
    {
        WaveformBand band(h.decks(), {}, nullptr);
        EXPECT_DOUBLE_EQ(band.zoomSeconds(), 4.0);
        band.zoom(3);
        EXPECT_NEAR(band.zoomSeconds(), 11.31, 0.01);
        EXPECT_EQ(get(settings().waveformZoom), 11314);
        band.zoom(-10);
        EXPECT_EQ(get(settings().waveformZoom), 2000);
    }
    set(settings().waveformZoom, 999999);
    EXPECT_DOUBLE_EQ(WaveformBand(h.decks(), {}, nullptr).zoomSeconds(), WaveformBand::kMaxZoom);
    settings().resetToDefaults();
}

}  // namespace
}  // namespace spinlorex
