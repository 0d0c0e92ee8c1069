// Loops and hot cues from the desk's keys: on the beats of the track's grid, the loop's
// size and place through halving, doubling, moving and reloop, hand loops on a track
// without a tempo, hot cues set, jumped to and deleted, and the automatic mix held off.

#include <cmath>
#include <memory>

#include "audio/AutomaticStart.h"
#include "auxwindows/DeckWave.h"
#include "auxwindows/WaveformPainter.h"
#include "desk/DeskHotCues.h"
#include "desk/DeskLoops.h"
#include "desk/DeskRig.h"

namespace spinlorex::test {
namespace {

constexpr int64_t kBeat = 22050;     // 120 BPM
constexpr int64_t kFirstBeat = 441;  // 0.01 s
constexpr int64_t kBeat10 = kFirstBeat + 10 * kBeat;

class DeskLoopKeys : public DeskTest {
protected:
    void SetUp() override {
        DeskTest::SetUp();
        r_.load(0, 120.0f);
        r_.deck(0).track()->record->grid =
            std::make_shared<BeatGrid>(BeatGrid{{{0.0, 0.01, 0.5}}, 1.0f});
        r_.desk.setHotCueKeeper([this](const TrackEntry&) { ++kept_; });
        at(kBeat10 + 3000);  // a little after a beat
    }
    void at(int64_t frame) {
        r_.call([&] { r_.deck(0).seekToFrame(frame); });
    }
    int64_t heard() {
        return std::llround(double{r_.deck(0).position()} * double(r_.deck(0).trackFrames()));
    }

    DeskRig r_;
    int kept_ = 0;
};

TEST_F(DeskLoopKeys, BeatLoopsStartOnTheNearestBeatAndHalveDoubleMoveAndReloop) {
    DeckStream& deck = r_.deck(0);
    EXPECT_TRUE(r_.key('B'));  // 4 beats from the beat just heard
    ASSERT_TRUE(deck.looping());
    EXPECT_EQ(deck.loopStart(), kBeat10);
    EXPECT_DOUBLE_EQ(deck.loopLength(), 4.0 * kBeat);
    EXPECT_DOUBLE_EQ(r_.desk.loops().loopBeats(0), 4.0);
    r_.key('J');
    EXPECT_DOUBLE_EQ(deck.loopLength(), 2.0 * kBeat);
    r_.key('K');
    r_.key('K');
    EXPECT_DOUBLE_EQ(deck.loopLength(), 8.0 * kBeat);
    r_.key('H');  // a loop forward, the heard point with it
    EXPECT_EQ(deck.loopStart(), kBeat10 + 8 * kBeat);
    EXPECT_EQ(heard(), kBeat10 + 8 * kBeat + 3000);
    r_.key('G');
    EXPECT_EQ(deck.loopStart(), kBeat10);
    r_.key('R');  // out
    EXPECT_FALSE(deck.looping());
    EXPECT_EQ(heard(), kBeat10 + 3000);
    at(kBeat10 + 20 * kBeat);
    r_.key('R');  // back into the last loop, at its start since the deck is past it
    EXPECT_TRUE(deck.looping());
    EXPECT_EQ(heard(), kBeat10);
    // The next beat loop takes the size last chosen; the sizes stop at 1/8 and 32 beats.
    r_.key('B');
    for (int i = 0; i < 10; ++i) r_.key('J');
    r_.key('B');
    EXPECT_DOUBLE_EQ(deck.loopLength(), kBeat / 8.0);
    EXPECT_EQ(deck.loopStart(), kBeat10);
    r_.key('B');
    for (int i = 0; i < 10; ++i) r_.key('K');
    EXPECT_DOUBLE_EQ(r_.desk.loops().chosenBeats(0), 32.0);
}

TEST_F(DeskLoopKeys, ATrackWithoutATempoLoopsOnlyByHandToTheFrame) {
    r_.load(1, 0.0f);  // no tempo, no grid
    DeckStream& deck = r_.deck(1);
    r_.call([&] { r_.desk.panels().selectDeck(1); });
    r_.call([&] { deck.seekToFrame(100001); });
    r_.key('B');
    EXPECT_FALSE(deck.looping());
    r_.key('I');
    r_.call([&] { deck.seekToFrame(150003); });
    r_.key('O');
    ASSERT_TRUE(deck.looping());
    EXPECT_EQ(deck.loopStart(), 100001);
    EXPECT_DOUBLE_EQ(deck.loopLength(), 50002.0);
    // Another track: its loop in is not the last one's.
    r_.load(1, 0.0f);
    r_.key('O');
    EXPECT_FALSE(deck.looping());
}

TEST_F(DeskLoopKeys, HotCuesSetOnTheBeatJumpPlayingOrPausedAndDelete) {
    DeckStream& deck = r_.deck(0);
    r_.key('3');  // slot 3 set on the nearest beat
    const HotCueSet& cues = r_.desk.hotCues().cues(0);
    EXPECT_EQ(cues.cues[2].frame, kBeat10);
    EXPECT_EQ(cues.cues[2].colour, hotCueColour(2));
    EXPECT_EQ(kept_, 1);
    at(kBeat10 + 15 * kBeat);
    r_.key('3');  // a paused deck waits at the hot cue
    EXPECT_EQ(heard(), kBeat10);
    EXPECT_FALSE(deck.playing());
    at(kBeat10 + 20 * kBeat);
    r_.key('4');
    r_.key('3');
    r_.call([&] { deck.play(); });
    r_.play(500);
    r_.key('3');  // a playing deck plays on from it
    EXPECT_TRUE(deck.playing());
    EXPECT_NEAR(static_cast<double>(heard()), kBeat10, 2 * 1152);
    EXPECT_EQ(r_.desk.hotCues().nextCue(0), 3);
    r_.key('D');
    r_.key('4');
    EXPECT_FALSE(r_.desk.hotCues().cues(0).cues[3].set());
    EXPECT_TRUE(r_.desk.hotCues().cues(0).cues[2].set());
    EXPECT_EQ(kept_, 3);
    EXPECT_EQ(r_.desk.hotCues().nextCue(0), -1);
}

// The waveform and the overview show each hot cue in its colour where it is and the loop
// as a tinted stretch; a click on a cue's line or flag finds its slot, beside it none.
TEST_F(DeskLoopKeys, HotCuesAndTheLoopShowOnTheWaveformsWhereAClickFindsThem) {
    r_.key('2');  // on kBeat10
    at(kBeat10 + 8 * kBeat + 100);
    r_.key('5');  // on kBeat10 + 8 beats
    r_.key('B');  // a 4-beat loop from there
    const DeckWave wave = readDeckWave(r_.deck(0), nullptr);
    ASSERT_DOUBLE_EQ(wave.loopStartSeconds, (kBeat10 + 8 * kBeat) / 44100.0);
    ASSERT_DOUBLE_EQ(wave.loopEndSeconds, (kBeat10 + 12 * kBeat) / 44100.0);
    constexpr int32_t kW = 800, kH = 40;
    std::vector<uint32_t> pixels(kW * kH);
    const Canvas canvas{pixels.data(), kW, kH, kW};
    const ScrollWindow window = scrollWindow(wave.heardSeconds, wave.speed, 16.0, kW);
    const auto xOf = [&](double s) { return window.xOf(s); };
    drawScrolling(canvas, WaveView{}, window,
                  {.grid = nullptr,
                   .other = {},
                   .cueSeconds = -1,
                   .track = {&wave.hotCues, wave.loopStartSeconds, wave.loopEndSeconds}});
    const auto columnOf = [&](int64_t frame) {
        return static_cast<int32_t>(std::floor(xOf(double(frame) / 44100.0)));
    };
    const int32_t cue2 = columnOf(kBeat10);
    EXPECT_EQ(canvas.at(cue2, kH - 1), 0xFF000000 | hotCueColour(1));
    EXPECT_EQ(canvas.at(cue2 + kHotCueFlagWidth - 1, 0), 0xFF000000 | hotCueColour(1));
    EXPECT_EQ(canvas.at(cue2 + kHotCueFlagWidth, 0), kWaveColours.back);
    const int32_t loopFrom = columnOf(kBeat10 + 8 * kBeat), loopTo = columnOf(kBeat10 + 12 * kBeat);
    EXPECT_EQ(canvas.at(loopFrom - 1, kH / 2), kWaveColours.back);
    EXPECT_EQ(canvas.at(loopFrom + kHotCueFlagWidth + 2, kH - 1), kWaveColours.loopBack);
    EXPECT_EQ(canvas.at(loopTo, kH / 2), kWaveColours.loop);
    EXPECT_EQ(canvas.at(loopTo + 1, kH / 2), kWaveColours.back);

    EXPECT_EQ(hotCueAt(wave.hotCues, xOf, cue2 + 0.5, 3.0), 1);
    EXPECT_EQ(hotCueAt(wave.hotCues, xOf, cue2 - 3.0, 3.0), 1);
    EXPECT_EQ(hotCueAt(wave.hotCues, xOf, cue2 - 4.0, 3.0), -1);
    EXPECT_EQ(hotCueAt(wave.hotCues, xOf, cue2 + kHotCueFlagWidth + 2.5, 3.0), 1);
    EXPECT_EQ(hotCueAt(wave.hotCues, xOf, cue2 + kHotCueFlagWidth + 3.0, 3.0), -1);
    EXPECT_EQ(hotCueAt(wave.hotCues, xOf, columnOf(kBeat10 + 8 * kBeat), 3.0), 4);

    // The overview puts them at their share of the track.
    drawOverview(canvas, WaveView{}, wave.trackFrames, -1, -1,
                 {&wave.hotCues, wave.loopStartSeconds, wave.loopEndSeconds});
    const int32_t at2 = static_cast<int32_t>(double(kBeat10) / double(wave.trackFrames) * kW);
    EXPECT_EQ(canvas.at(at2, kH - 1), 0xFF000000 | hotCueColour(1));
    EXPECT_EQ(
        hotCueAt(
            wave.hotCues, [&](double s) { return overviewX(s, wave.trackFrames, kW); }, at2, 3.0),
        1);
}

TEST_F(DeskLoopKeys, NoAutomaticMixStartsWhileADeckLoopsAndMixNowEndsTheLoop) {
    AutomaticStartCheck check;
    check.autoMix = check.playing = true;
    check.heard = 0.99f;
    check.seconds = 200;
    ASSERT_TRUE(automaticStartDue(check));
    check.looping = true;
    EXPECT_FALSE(automaticStartDue(check));

    r_.load(1, 120.0f);
    r_.call([&] {
        r_.desk.panels().selectDeck(0);
        r_.deck(0).play();
    });
    r_.key('B');
    ASSERT_TRUE(r_.deck(0).looping());
    r_.call([&] { r_.desk.mix().onStartDeck(1); });  // a late request: held off
    EXPECT_FALSE(r_.deck(1).playing());
    r_.call([&] { r_.desk.mix().mixNow(); });
    EXPECT_FALSE(r_.deck(0).looping());
    EXPECT_TRUE(r_.deck(1).playing());
}

}  // namespace
}  // namespace spinlorex::test
