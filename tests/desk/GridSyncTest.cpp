// Beat sync on beat grids, checked on the audio the sound card plays: deck 1's track
// clicks on the left channel only and deck 2's on the right, each click where its grid
// says, so the distance between the decks' beats is read off the recorded channels.

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "audio/Crossfader.h"
#include "desk/DeskRig.h"
#include "support/Files.h"
#include "support/PcmReader.h"
#include "support/WavFile.h"

namespace spinlorex::test {
namespace {

constexpr double kRate = 44100.0;

// A click on every beat of `grid`'s only section, on one channel: a short 2 kHz burst
// whose first peak lies a known time after the beat, at any fraction of a frame.
std::shared_ptr<const std::vector<int16_t>> clickTrack(const GridSection& grid, double seconds,
                                                       int channel) {
    auto pcm = std::make_shared<std::vector<int16_t>>(static_cast<size_t>(seconds * kRate) * 2,
                                                      int16_t{0});
    const auto frames = static_cast<int64_t>(pcm->size() / 2);
    for (double beat = grid.firstBeat; beat < seconds; beat += grid.beatLength) {
        const auto first = static_cast<int64_t>(std::ceil(beat * kRate));
        for (int64_t n = first; n < std::min(frames, first + 400); ++n) {
            const double t = static_cast<double>(n) / kRate - beat;
            const double v = std::sin(2.0 * std::numbers::pi * 2000.0 * t) * std::exp(-t / 0.002);
            (*pcm)[static_cast<size_t>(n * 2 + channel)] = static_cast<int16_t>(20000.0 * v);
        }
    }
    return pcm;
}

DeckStream::Readers readersOf(std::shared_ptr<const std::vector<int16_t>> pcm) {
    DeckStream::Readers r;
    r.wav = std::make_unique<PcmReader>(pcm);
    r.mp3 = std::make_unique<PcmReader>(pcm);
    r.sndfile = std::make_unique<PcmReader>(pcm);
    return r;
}

// Seconds at which each click of one channel of the recording is heard: where the burst
// first rises through a third of its height (between two samples).
std::vector<double> clicksHeard(const WavFile& wav, int channel) {
    std::vector<double> times;
    const size_t frames = wav.samples.size() / 2;
    constexpr int kThreshold = 3000;
    size_t quietUntil = 0;
    for (size_t n = 1; n < frames; ++n) {
        const int v = wav.samples[n * 2 + static_cast<size_t>(channel)];
        const int before = wav.samples[(n - 1) * 2 + static_cast<size_t>(channel)];
        if (n < quietUntil || v < kThreshold) continue;
        const double fraction = static_cast<double>(kThreshold - before) / (v - before);
        times.push_back((static_cast<double>(n - 1) + fraction) / kRate);
        quietUntil = n + static_cast<size_t>(0.1 * kRate);
    }
    return times;
}

// The largest distance (ms) from each click of `follower` heard between `from` and `to`
// seconds to the nearest click of `leader`, signed as the follower's lateness.
double worstDistanceMs(const std::vector<double>& follower, const std::vector<double>& leader,
                       double from, double to) {
    double worst = 0.0;
    for (double t : follower) {
        if (t < from || t > to) continue;
        double nearest = 1e9;
        for (double u : leader)
            if (std::fabs(t - u) < std::fabs(nearest)) nearest = t - u;
        if (std::fabs(nearest) > std::fabs(worst)) worst = nearest;
    }
    return worst * 1000.0;
}

class GridSync : public DeskTest {
protected:
    // Deck 1 at 123.37 BPM, deck 2 at 126.11 BPM, their first beats at odd fractions of a
    // frame; the grids and tempos known to the desk as an analysis would leave them.
    void SetUp() override {
        DeskTest::SetUp();
        set(settings().masterTempo, 0);  // varispeed: every beat where the pitch puts it
        const GridSection grid1{0.0, 0.012345, 60.0 / 123.37};
        const GridSection grid2{0.0, 0.307071, 60.0 / 126.11};
        rig_ =
            std::make_unique<DeskRig>(readersOf(clickTrack(grid1, 60.0, 0)),
                                      readersOf(clickTrack(grid2, 60.0, 1)), 1, false, recording_);
        rig_->load(0, 123.37f);
        rig_->load(1, 126.11f);
        rig_->deck(0).track()->record->grid = std::make_shared<BeatGrid>(BeatGrid{{grid1}, 1.0f});
        rig_->deck(1).track()->record->grid = std::make_shared<BeatGrid>(BeatGrid{{grid2}, 1.0f});
        rig_->call([&] { rig_->desk.faders().setCrossfader(kCrossfaderMiddle); });
    }
    // Plays on with the desk's timers running, as the window runs them.
    void run(int ms) {
        for (int t = 0; t < ms; t += 100) {
            rig_->play(100);
            rig_->tick(100);
        }
    }
    // The recording, complete once the desk is gone.
    WavFile finish() {
        rig_.reset();
        return readWav(recording_);
    }

    TempDir dir_;
    std::string recording_ = dir_.file("heard.wav");
    std::unique_ptr<DeskRig> rig_;
};

TEST_F(GridSync, SyncedDecksStayWithinAMillisecondAndANudgeMovesWhatTheLockKeeps) {
    DeskRig& r = *rig_;
    r.call([&] { r.deck(0).play(); });
    run(2000);
    r.call([&] { r.desk.sync().magicSync(1); });  // pitch matched, started, beat synced
    EXPECT_EQ(r.desk.sync().phaseLock().follower(), 1);
    run(24000);
    // Deck 2 nudged back by hand (the key RIGHT): the lock keeps the new distance.
    r.call([&] { r.desk.panels().selectDeck(1); });
    EXPECT_TRUE(r.key(39));
    run(12000);
    r.call([&] { r.deck(1).pause(); });
    run(200);
    EXPECT_EQ(r.desk.sync().phaseLock().follower(), -1);  // a stopped deck ends the lock
    EXPECT_EQ(r.deck(1).pitchTrim(), 0);

    const WavFile heard = finish();
    ASSERT_TRUE(heard.valid);
    const std::vector<double> left = clicksHeard(heard, 0), right = clicksHeard(heard, 1);
    ASSERT_GT(left.size(), 70u);
    ASSERT_GT(right.size(), 70u);
    // Synced on the grids from the first beat and held there while deck 2 plays at a
    // pitch that matches deck 1's tempo only to the nearest step.
    EXPECT_LT(std::fabs(worstDistanceMs(right, left, 2.5, 26.0)), 1.0);
    // The nudge moved deck 2's beats 256 frames at its pitch (5.7 ms) later, and there
    // they stay.
    const double nudged = worstDistanceMs(right, left, 28.0, 38.0);
    EXPECT_NEAR(nudged, 256000.0 * 123.37 / 126.11 / kRate, 0.5);
}

TEST_F(GridSync, AnAutomaticMixMeetsTheBeatsFromItsFirstStepAndATrackWithoutAGridFallsBack) {
    DeskRig& r = *rig_;
    set(settings().autoBpm, 1);
    set(settings().longMix, 4);  // 16 steps in, 5 held, 16 out: 7.4 s
    r.call([&] { r.deck(0).play(); });
    run(3000);
    r.call([&] { r.desk.mix().mixNow(); });  // deck 2 comes in, pitch matched, beats synced
    EXPECT_TRUE(r.desk.mix().running());
    run(8000);
    EXPECT_FALSE(r.desk.mix().running());

    // Without deck 1's grid, the sync falls back to the analyser's onsets and no lock holds.
    r.deck(0).track()->record->grid.reset();
    r.call([&] { r.desk.sync().syncBeat(1); });
    EXPECT_EQ(r.desk.sync().phaseLock().follower(), -1);

    const WavFile heard = finish();
    const std::vector<double> left = clicksHeard(heard, 0), right = clicksHeard(heard, 1);
    // From the mix's fourth 200 ms step on, until deck 1 was faded out.
    EXPECT_LT(std::fabs(worstDistanceMs(right, left, 3.8, 9.0)), 1.0);
}

}  // namespace
}  // namespace spinlorex::test
