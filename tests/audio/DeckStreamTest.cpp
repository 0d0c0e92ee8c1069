#include "audio/DeckStream.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/settings/Settings.h"
#include "support/DeckHarness.h"
#include "support/Wait.h"

namespace spinlorex {
namespace {

using test::DeckHarness;
using test::FakeReader;
using test::waitFor;

constexpr int32_t kTrackFrames = 44100 * 20;

class DeckStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().resetToDefaults();
        set(settings().masterTempo, 0);
    }
    void TearDown() override { settings().resetToDefaults(); }

    // The index of the source frame held by captured frame i.
    static int32_t sourceFrame(const std::vector<int16_t>& captured, size_t i) {
        return FakeReader::decode(&captured[2 * i]);
    }
};

TEST_F(DeckStreamTest, RequestsFromTwoCallerThreadsAreServedOneAtATime) {
    DeckHarness h;
    h.startSoundThread();
    ASSERT_TRUE(h.load(0));
    DeckStream& deck = h.deck(0);
    // The main thread and a second caller (as the rhythm window would) hammer one deck.
    std::thread other([&] {
        for (int i = 0; i < 300; ++i) deck.nudge(i % 2 == 0 ? 64 : -64);
    });
    for (int i = 0; i < 300; ++i) deck.setPitch(4000 + i % 50);
    other.join();
    EXPECT_EQ(deck.pitch(), 4000 + 299 % 50);
    deck.play();
    EXPECT_TRUE(deck.playing());
    deck.pause();
    EXPECT_FALSE(deck.playing());
}

TEST_F(DeckStreamTest, LoadChoosesTheStartingPointFromTheStoredAnalysis) {
    DeckHarness h;
    h.call([&] { ASSERT_TRUE(h.load(0, "a.mp3")); });
    TrackRecord* record = h.deck(0).track()->record;
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->fileSize, 123456u);
    EXPECT_EQ(record->name, "a.mp3");
    EXPECT_FLOAT_EQ(h.deck(0).position(), 0.0f);
    EXPECT_EQ(h.deck(0).cueCycle(), 2);
    EXPECT_TRUE(h.deck(0).awaitingStart());
    EXPECT_EQ(h.desk.status[0], kStatusNormal);

    // Deck 2 takes a track whose stored values the test holds and sets before each load.
    TrackRecord* b = h.database.findOrAdd("b.mp3", 123456);
    TrackAnalysis* stored = h.database.acquireAnalysis(b);
    auto loadB = [&](float cue, float firstBeat) {
        stored->cuePoint = cue;
        stored->firstStrongBeat = firstBeat;
        h.call([&] { ASSERT_TRUE(h.load(1, "b.mp3")); });
    };
    loadB(0.3f, 0.4f);
    EXPECT_FLOAT_EQ(h.deck(1).position(), 0.3f);
    EXPECT_EQ(h.deck(1).cueCycle(), 1);
    EXPECT_EQ(b->refCount, 2);

    // With automatic mixing the deck starts no earlier than the first strong beat.
    set(settings().autoMix, 1);
    loadB(0.3f, 0.4f);
    EXPECT_FLOAT_EQ(h.deck(1).position(), 0.4f);
    EXPECT_EQ(h.deck(1).cueCycle(), 0);

    // A point in the second half is ignored: the deck opens at the start.
    set(settings().autoMix, 0);
    loadB(0.5f, 0.1f);
    EXPECT_FLOAT_EQ(h.deck(1).position(), 0.0f);
    EXPECT_EQ(h.deck(1).cueCycle(), 1);
    h.database.releaseAnalysis(b);
}

TEST_F(DeckStreamTest, AFileThatCannotBeOpenedLeavesTheDeckEmpty) {
    FakeReader::Script broken;
    broken.failOpen = true;
    DeckHarness h(broken);
    h.startSoundThread();
    EXPECT_FALSE(h.load(0));
    EXPECT_EQ(h.desk.status[0], kStatusCannotOpen);
    EXPECT_EQ(h.deck(0).duration(), -1);
    EXPECT_FLOAT_EQ(h.deck(0).position(), -1.0f);
    EXPECT_TRUE(h.deck(0).awaitingStart());
    // Transport on an empty deck does nothing (and does not block).
    h.deck(0).play();
    h.deck(0).cycleCue();
    h.deck(0).shift(-1000);
    EXPECT_FALSE(h.deck(0).playing());
}

TEST_F(DeckStreamTest, LoadMatchesPitchAndLevelToTheOtherDeck) {
    // Passes run only to serve requests, so the decks decode a few blocks at most, and the
    // tempi are marked as set by hand: the analyser leaves the test's values alone.
    DeckHarness h;
    h.call([&] { ASSERT_TRUE(h.load(0, "a.mp3")); });
    TrackRecord* a = h.deck(0).track()->record;
    a->bpm = 128.0f;
    h.deck(0).analysis()->bpmConfidence = TrackAnalysis::kHandSetConfidence;
    h.deck(0).analysis()->loudnessPeak = 1000;

    TrackRecord* b = h.database.findOrAdd("b.mp3", 123456);
    TrackAnalysis* own = h.database.acquireAnalysis(b);
    own->bpmConfidence = TrackAnalysis::kHandSetConfidence;
    const TrackEntry entry{"", "", "b.mp3", b};
    auto loadB = [&] { h.call([&] { ASSERT_TRUE(h.deck(1).loadTrack(entry)); }); };

    // Half tempo counts as a match: 128 against 64 folds to 4096.
    b->bpm = 64.0f;
    loadB();
    EXPECT_EQ(h.desk.lastPitchAsked[1], 4096);

    // 100 against 128 needs +28 %: reachable in the wide range only.
    b->bpm = 100.0f;
    loadB();
    EXPECT_EQ(h.deck(1).pitch(), 5242);
    h.desk.limitPitch = true;
    loadB();
    EXPECT_EQ(h.deck(1).pitch(), 4096);

    // The other deck without a tempo: back to normal speed.
    h.desk.limitPitch = false;
    a->bpm = 0.0f;
    loadB();
    EXPECT_EQ(h.deck(1).pitch(), 4096);

    // Level: the other deck's loudness x level over this track's loudness.
    set(settings().autoLevel, 1);
    h.call([&] { h.deck(0).setLevel(200); });
    own->loudnessPeak = 2000;
    loadB();
    EXPECT_EQ(h.deck(1).level(), 100);  // 1000 * 200 / 2000
    own->loudnessPeak = 0;
    loadB();
    EXPECT_EQ(h.deck(1).level(), 256);
    h.database.releaseAnalysis(b);
}

TEST_F(DeckStreamTest, CueButtonCyclesCuePointStartAndFirstStrongBeat) {
    DeckHarness h;
    h.call([&] { ASSERT_TRUE(h.load(0)); });
    DeckStream& deck = h.deck(0);
    TrackAnalysis* a = deck.analysis();
    h.call([&] { deck.play(); });
    h.runPasses(20);
    ASSERT_GT(deck.position(), 0.0f);
    ASSERT_TRUE(deck.playing());

    // The analyser keeps refining the first strong beat; the test sets it before each press.
    auto press = [&](float cue, float firstBeat) {
        a->cuePoint = cue;
        a->firstStrongBeat = firstBeat;
        h.call([&] { deck.cycleCue(); });
        return deck.position();
    };
    EXPECT_FLOAT_EQ(press(0.25f, 0.1f), 0.25f);  // pauses and goes to the cue point
    EXPECT_FALSE(deck.playing());
    EXPECT_FLOAT_EQ(press(0.25f, 0.1f), 0.0f);
    EXPECT_FLOAT_EQ(press(0.25f, 0.1f), 0.1f);
    EXPECT_FLOAT_EQ(press(0.25f, 0.1f), 0.25f);
    // With the cue point at the start, the start step is left out.
    EXPECT_FLOAT_EQ(press(0.0f, 0.1f), 0.0f);
    EXPECT_FLOAT_EQ(press(0.0f, 0.1f), 0.1f);
    EXPECT_FLOAT_EQ(press(0.0f, 0.1f), 0.0f);
    EXPECT_FLOAT_EQ(press(0.0f, 0.1f), 0.1f);

    // storeCue takes the heard position.
    h.call([&] { deck.seekAndPlay(0.6f); });
    h.runPasses(10);
    h.call([&] { deck.pause(); });
    deck.storeCue();
    EXPECT_GT(deck.position(), 0.6f);
    EXPECT_FLOAT_EQ(a->cuePoint, deck.position());
}

TEST_F(DeckStreamTest, SeekingLandsOnTheExactFrameAndRendersFromThere) {
    DeckHarness h;
    h.startSoundThread();
    ASSERT_TRUE(h.load(0));
    DeckStream& deck = h.deck(0);
    for (float f : {0.0f, 0.5f, 0.123f, 0.95f}) {
        deck.pause();
        h.takeCaptured(0);
        deck.seekAndPlay(f);
        ASSERT_TRUE(waitFor([&] { return h.capturedFrames(0) > 10000 || !deck.playing(); }));
        const auto captured = h.takeCaptured(0);
        ASSERT_FALSE(captured.empty()) << f;
        const auto expected = static_cast<int32_t>(static_cast<double>(f) * kTrackFrames);
        EXPECT_NEAR(sourceFrame(captured, 0), expected, 1) << f;
        // At normal pitch every following frame is the next source frame.
        for (size_t i = 1; i < std::min<size_t>(captured.size() / 2, 5000); ++i)
            ASSERT_EQ(sourceFrame(captured, i), sourceFrame(captured, 0) + static_cast<int32_t>(i));
    }
    // Seeking to the very end stops the deck with no position.
    deck.seekAndPlay(0.2f);
    deck.finish();
    EXPECT_FALSE(deck.playing());
    EXPECT_FLOAT_EQ(deck.position(), -1.0f);
}

TEST_F(DeckStreamTest, VarispeedAndMasterTempoAtNormalPitchAreBitIdentical) {
    std::array<std::vector<int16_t>, 2> rendered;
    for (int masterTempo = 0; masterTempo < 2; ++masterTempo) {
        set(settings().masterTempo, masterTempo);
        DeckHarness h;
        h.startSoundThread();
        ASSERT_TRUE(h.load(0));
        h.deck(0).seekAndPlay(0.3f);
        ASSERT_TRUE(waitFor([&] { return h.capturedFrames(0) > 44100 * 3; }));
        h.deck(0).pause();
        rendered[static_cast<size_t>(masterTempo)] = h.takeCaptured(0);
        rendered[static_cast<size_t>(masterTempo)].resize(44100 * 3 * 2);
    }
    // Master tempo fades in from silence over its first 512 frames after a restart.
    EXPECT_TRUE(std::equal(rendered[0].begin() + 1024, rendered[0].end(), rendered[1].begin() + 1024));
}

TEST_F(DeckStreamTest, PitchedPlaybackConsumesTheSourceAtThePitchRatio) {
    for (int masterTempo = 0; masterTempo < 2; ++masterTempo) {
        set(settings().masterTempo, masterTempo);
        DeckHarness h;
        h.call([&] {
            ASSERT_TRUE(h.load(0));
            h.deck(0).setPitch(5462);
            h.deck(0).seekAndPlay(0.1f);
        });
        while (h.capturedFrames(0) < 44100 * 9) h.runPasses(1);
        const auto captured = h.takeCaptured(0);
        ASSERT_GT(captured.size() / 2, 44100u * 8);
        const size_t frames = 44100 * 8;
        const int32_t first = sourceFrame(captured, 1000);
        const int32_t last = sourceFrame(captured, frames - 1);
        EXPECT_NEAR(static_cast<double>(last - first) / static_cast<double>(frames - 1001),
                    5462.0 / 4096.0, 0.01)
            << "master tempo " << masterTempo;
    }
}

TEST_F(DeckStreamTest, PlayingToTheEndStopsTheDeckAndTellsTheDesk) {
    FakeReader::Script shortTrack;
    shortTrack.frames = 44100 * 3;
    DeckHarness h(shortTrack);
    h.startSoundThread();
    ASSERT_TRUE(h.load(0));
    h.deck(0).play();
    ASSERT_TRUE(waitFor([&] { return h.notifier.ended[0] > 0; }));
    EXPECT_FALSE(h.deck(0).playing());
    EXPECT_LT(h.deck(0).position(), 0.0f);
    EXPECT_EQ(h.deck(0).cueCycle(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(h.notifier.ended[0], 1);
    // Everything up to the last whole block was heard, in order.
    const auto captured = h.takeCaptured(0);
    ASSERT_GE(captured.size() / 2, static_cast<size_t>(44100 * 3 - 1152));
    EXPECT_EQ(sourceFrame(captured, 44100 * 3 - 1153), 44100 * 3 - 1153);
    // The cue button brings an ended track back.
    h.deck(0).cycleCue();
    EXPECT_GE(h.deck(0).position(), 0.0f);
}

TEST_F(DeckStreamTest, DecodeErrorsEndTheTrackWithTheDecodeStatus) {
    FakeReader::Script midway;
    midway.errorAtBlock = 100;
    DeckHarness h(midway);
    h.startSoundThread();
    ASSERT_TRUE(h.load(0));
    h.deck(0).play();
    ASSERT_TRUE(waitFor([&] { return h.notifier.ended[0] > 0; }));
    EXPECT_EQ(h.desk.status[0], kStatusDecodeError);
    EXPECT_GE(h.capturedFrames(0), static_cast<size_t>(99 * 1152));

    // An error on the very first block after a seek stops the deck at once.
    FakeReader::Script atSeek;
    atSeek.errorAtBlock = 200;
    DeckHarness g(atSeek);
    g.startSoundThread();
    ASSERT_TRUE(g.load(0));
    g.deck(0).analysis()->cuePoint = 200.5f * 1152 / kTrackFrames;
    g.deck(0).goToCue();
    EXPECT_FALSE(g.deck(0).playing());
    EXPECT_EQ(g.desk.status[0], kStatusDecodeError);
    EXPECT_LT(g.deck(0).position(), 0.0f);
}

TEST_F(DeckStreamTest, NudgeNeverLeavesRenderedAudioButShiftPlaysSilence) {
    DeckHarness h;
    h.call([&] { ASSERT_TRUE(h.load(0)); });
    DeckStream& deck = h.deck(0);
    deck.analysis()->cuePoint = 0.5f;
    h.call([&] { deck.goToCue(); });
    // Freshly sought: no history behind the heard point.
    const float before = deck.position();
    h.call([&] { deck.nudge(-2000); });
    EXPECT_FLOAT_EQ(deck.position(), before);

    // A backward shift by the same amount moves into never-written frames: silence.
    h.call([&] {
        deck.shift(-2000);
        deck.play();
    });
    h.runPasses(3);
    const auto captured = h.takeCaptured(0);
    ASSERT_GT(captured.size(), 4000u * 2);
    for (int i = 0; i < 2000 * 2; ++i) ASSERT_EQ(captured[static_cast<size_t>(i)], 0) << i;
    EXPECT_EQ(test::FakeReader::decode(&captured[2001 * 2]) + 2001,
              test::FakeReader::decode(&captured[4001 * 2]) + 1);

    // Forward moves stay inside what is rendered; back again through real history.
    h.runPasses(20);
    h.call([&] {
        deck.pause();
        deck.nudge(256);
    });
    const float ahead = deck.position();
    h.call([&] { deck.nudge(-256); });
    EXPECT_NEAR(deck.position(), ahead - 256.0f / kTrackFrames, 1e-5);
}

TEST_F(DeckStreamTest, AutomaticStartWaitsForTheMixWindowToReachTheLastStrongBeat) {
    FakeReader::Script track;
    track.frames = 44100 * 60;
    DeckHarness h(track, track);
    set(settings().autoMix, 1);
    h.call([&] {
        ASSERT_TRUE(h.load(0));
        ASSERT_TRUE(h.load(1));
    });
    DeckStream& deck = h.deck(0);
    // A short mix takes 32 ticks of 0.2 s: 6.4 s, 0.1067 of this one-minute track. With the
    // last strong beat at 0.95 the deck asks for the other one from 0.8433 on.
    deck.analysis()->lastStrongBeat = 0.95f;
    deck.analysis()->lastStrongBeatLevel = 1 << 30;  // so the analyser keeps this mark
    h.call([&] { deck.seekAndPlay(0.81f); });
    while (h.notifier.startDeck[1] == 0 && deck.position() < 0.9f) h.runPasses(1);
    ASSERT_EQ(h.notifier.startDeck[1], 1);
    EXPECT_NEAR(deck.position(), 0.95f - 6.4f / 60, 0.002f);
    // The request repeats on every update until a mix marks the deck mixed out.
    h.runPasses(3);
    EXPECT_GT(h.notifier.startDeck[1], 1);
    deck.setMixedOut(true);
    const int asked = h.notifier.startDeck[1];
    h.runPasses(10);
    EXPECT_EQ(h.notifier.startDeck[1], asked);
    EXPECT_EQ(h.notifier.startDeck[0], 0);
}

// An effect that doubles each chunk (every frame twice) and counts calls after its end.
class DoublingEffect : public DspHook {
public:
    explicit DoublingEffect(std::atomic<int>& callsAfterDestruction, std::atomic<bool>& destroyed)
        : callsAfter_(callsAfterDestruction), destroyed_(destroyed) {}
    ~DoublingEffect() override { destroyed_ = true; }
    int32_t modifySamples(int16_t* samples, int32_t frames) override {
        if (destroyed_) callsAfter_++;
        for (int32_t i = frames - 1; i >= 0; --i) {
            samples[4 * i + 2] = samples[4 * i] = samples[2 * i];
            samples[4 * i + 3] = samples[4 * i + 1] = samples[2 * i + 1];
        }
        return claim_ ? claim_ : frames * 2;
    }
    int32_t claim_ = 0;

private:
    std::atomic<int>& callsAfter_;
    std::atomic<bool>& destroyed_;
};

TEST_F(DeckStreamTest, EffectsMayLengthenChunksButNeverWritePastTheRing) {
    DeckHarness h;
    std::atomic<int> callsAfter{0};
    std::atomic<bool> firstGone{false}, secondGone{false};
    h.call([&] {
        ASSERT_TRUE(h.load(0));
        h.deck(0).setDspPlugin(std::make_unique<DoublingEffect>(callsAfter, firstGone));
        h.deck(0).seekAndPlay(0.2f);
    });
    h.runPasses(30);
    // Doubled frames (after the chunk rendered while the seek was being served).
    const auto captured = h.takeCaptured(0);
    ASSERT_GT(captured.size() / 2, 30u * 6176);
    EXPECT_EQ(sourceFrame(captured, 20000), sourceFrame(captured, 20001));
    EXPECT_EQ(sourceFrame(captured, 20002), sourceFrame(captured, 20000) + 1);

    // A replacement that claims far more frames than it was given is clamped to the
    // overflow space; the ring stays intact (the sanitizers watch the writes).
    auto second = std::make_unique<DoublingEffect>(callsAfter, secondGone);
    second->claim_ = 1 << 20;
    h.call([&] { h.deck(0).setDspPlugin(std::move(second)); });
    EXPECT_TRUE(firstGone);
    h.runPasses(30);
    EXPECT_GT(h.capturedFrames(0), 0u);
    h.call([&] { h.deck(0).setDspPlugin(nullptr); });
    EXPECT_TRUE(secondGone);
    h.runPasses(5);
    EXPECT_EQ(callsAfter, 0);
}

}  // namespace
}  // namespace spinlorex
