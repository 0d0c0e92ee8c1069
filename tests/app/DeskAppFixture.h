#pragma once

// The desk program's suites: a temporary home and settings folder, the null sound
// backend, one window at a time, and a generated track to load.

#include <gtest/gtest.h>

#include <QtWidgets/QApplication>

#include <cstdlib>
#include <string>

#include "desk/MixingDesk.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/QtApp.h"
#include "tools/synth/Synth.h"

namespace spinlorex::test {

// Runs the event loop until `condition` holds or `seconds` pass.
template <typename Condition>
bool processUntil(Condition condition, double seconds = 10) {
    return waitFor(
        [&] {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            return condition();
        },
        seconds);
}

// Runs the event loop until neither deck is opening a file (a load's file opens on a
// thread of its own; its answer comes back through the loop).
inline bool waitForLoads(const MixingDesk& desk, double seconds = 10) {
    return processUntil(
        [&] {
            return desk.deckInfo(0).status != kStatusLoading &&
                   desk.deckInfo(1).status != kStatusLoading;
        },
        seconds);
}

class DeskAppFixture : public ::testing::Test {
protected:
    // The track written into the home folder, as "Artist - Title.wav" names go.
    DeskAppFixture(std::string trackName, int seconds)
        : trackName_(std::move(trackName)), seconds_(seconds) {}

    void SetUp() override {
        qtApp();
        ::setenv("SPINLOREX_AUDIO", "null", 1);
        ::setenv("SPINLOREX_CONFIG_DIR", config_.path().c_str(), 1);
        settings().resetToDefaults();
        settings().homeFolder = home_.path().string();
        set(settings().maximized, 0);
        set(settings().multiInstance, 1);
        clearFatalError();
        synth::Params p;
        p.seconds = seconds_;
        track_ = home_.file(trackName_);
        synth::writeWav(track_, synth::render(p), 44100, 2, 16);
    }
    void TearDown() override {
        settings().resetToDefaults();
        clearFatalError();
    }

    TempDir home_;
    TempDir config_;
    std::string track_;

private:
    std::string trackName_;
    int seconds_;
};

}  // namespace spinlorex::test
