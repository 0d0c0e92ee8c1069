#include "audio/DeckStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <thread>
#include <tuple>

#include "audio/AutomaticStart.h"
#include "audio/PitchRender.h"
#include "platform/settings/Settings.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/ToneFit.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::DeckHarness;
using test::FakeReader;
using test::sourceFrame;
using test::waitFor;

constexpr int32_t kTrackFrames = 44100 * 20;

class DeckStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().resetToDefaults();
        set(settings().masterTempo, 0);
    }
    void TearDown() override { settings().resetToDefaults(); }
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
    // (The free-running loop may play the fake track to its end before the check.)
    EXPECT_TRUE(deck.playing() || h.ended[0] > 0);
    deck.pause();
    EXPECT_FALSE(deck.playing());
}

TEST_F(DeckStreamTest, LoadMatchesTheOtherDeckAndStartsWhereTheStoredAnalysisSays) {
    // Passes run only to serve requests, so the decks decode a few blocks at most, and the
    // tempi are marked as set by hand: the analyser leaves the test's values alone.
    DeckHarness h;
    h.call([&] { ASSERT_TRUE(h.load(0, "a.mp3")); });
    TrackRecord* a = h.deck(0).track()->record;
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->fileSize, 123456u);
    EXPECT_EQ(a->name, "a.mp3");
    EXPECT_TRUE(h.deck(0).awaitingStart());
    EXPECT_EQ(h.status[0], kStatusNormal);
    a->bpm = 128.0f;
    h.deck(0).analysis()->bpmConfidence = TrackAnalysis::kHandSetConfidence;
    h.deck(0).analysis()->loudnessPeak = 1000;

    // Deck 2 takes a track whose stored values the test sets before each load.
    TrackRecord* b = h.database.findOrAdd("b.mp3", 123456);
    TrackAnalysis* own = h.database.acquireAnalysis(b);
    own->bpmConfidence = TrackAnalysis::kHandSetConfidence;
    auto loadB = [&](float cue = 0.0f, float firstBeat = 0.0f) {
        own->cuePoint = cue;
        own->firstStrongBeat = firstBeat;
        h.call([&] { ASSERT_TRUE(h.load(1, "b.mp3")); });
    };
    b->bpm = 65.0f;  // about half tempo counts as a match: 128 against 65 folds to 0.985
    loadB();
    EXPECT_EQ(h.deck(1).pitch(), 4032);
    EXPECT_EQ(b->refCount, 2);
    b->bpm = 100.0f;  // +28 %: reachable in the wide range only
    loadB();
    EXPECT_EQ(h.deck(1).pitch(), 5242);
    h.limitPitch = true;
    loadB();
    EXPECT_EQ(h.deck(1).pitch(), 4096);
    h.limitPitch = false;
    a->bpm = 0.0f;  // the other deck without a tempo: back to normal speed
    loadB();
    EXPECT_EQ(h.deck(1).pitch(), 4096);

    // Level: the other deck's loudness x level over this track's loudness.
    set(settings().autoLevel, 1);
    h.call([&] { h.deck(0).setLevel(200); });
    own->loudnessPeak = 2000;
    loadB();
    EXPECT_EQ(h.deck(1).level(), 100);
    own->loudnessPeak = 0;
    loadB();
    EXPECT_EQ(h.deck(1).level(), 256);

    // The starting point: the cue point (the start without one), with automatic mixing no
    // earlier than the first strong beat, and the start when the point lies in the second half.
    for (const auto& [autoMix, cue, firstBeat, start, cycle] : {std::tuple{0, 0.0f, 0.0f, 0.0f, 2},
                                                                {0, 0.3f, 0.4f, 0.3f, 1},
                                                                {1, 0.3f, 0.4f, 0.4f, 0},
                                                                {0, 0.5f, 0.1f, 0.0f, 1}}) {
        set(settings().autoMix, autoMix);
        loadB(cue, firstBeat);
        EXPECT_FLOAT_EQ(h.deck(1).position(), start) << cue;
        EXPECT_EQ(h.deck(1).cueCycle(), cycle) << cue;
    }

    // A ratio of exactly 1.5 or 0.75 is not folded, and a pitch exactly at either end of the
    // range is reached (138.25/128 = 4424/4096 and 117.75/128 = 3768/4096, exact in binary).
    for (const auto& [own, other, narrow, pitch] : {std::tuple{100.0f, 150.0f, false, 4096},
                                                    {100.0f, 75.0f, false, 3072},
                                                    {128.0f, 138.25f, true, 4424},
                                                    {128.0f, 117.75f, true, 3768}}) {
        a->bpm = other;
        b->bpm = own;
        h.limitPitch = narrow;
        loadB();
        EXPECT_EQ(h.deck(1).pitch(), pitch) << other << " against " << own;
    }
    h.limitPitch = false;
    h.database.releaseAnalysis(b);
}

// Real files through the WAV and MP3 readers, analysed and remembered in the database.
TEST_F(DeckStreamTest, OnRealFilesAnAnalysedMp3IsRememberedAndBadFilesGiveAStatus) {
    test::TempDir home;
    const std::string mp3 = test::makeMp3({.bpm = 124, .seconds = 60, .introBeats = 16});
    {
        DeckHarness h(DeckHarness::RealReaders{});
        ASSERT_TRUE(h.database.open(home.path().string()));
        h.startSoundThread();
        ASSERT_TRUE(h.load(0, mp3));
        h.deck(0).seekAndPlay(0.0f);
        ASSERT_TRUE(waitFor([&] { return h.ended[0] > 0; }, 60));
        EXPECT_EQ(h.status[0], kStatusNormal);
        EXPECT_NEAR(h.deck(0).track()->record->currentBpm(), 124.0, 0.5);
        // The kick comes in after 16 beats (7.7 s of 60): the deck tells where each block lies
        // (the mark is a kick of the first bar; their strength varies with the chords).
        EXPECT_GT(h.deck(0).analysis()->firstStrongBeat, 16 * 60.0 / 124 / 60 - 0.002);
        EXPECT_LT(h.deck(0).analysis()->firstStrongBeat, 20 * 60.0 / 124 / 60);
        h.deck(0).analysis()->cuePoint = 0.25f;
    }  // the database is closed: the held analysis is written

    DeckHarness h(DeckHarness::RealReaders{});
    ASSERT_TRUE(h.database.open(home.path().string()));
    h.startSoundThread();
    ASSERT_TRUE(h.load(1, mp3));
    EXPECT_NEAR(h.deck(1).track()->record->currentBpm(), 124.0, 0.5);
    EXPECT_FLOAT_EQ(h.deck(1).position(), 0.25f);  // opens at the stored cue point

    // A file that cannot be opened leaves the deck empty; transport on it does nothing
    // (and does not block).
    EXPECT_FALSE(h.load(1, home.file("missing.mp3")));
    EXPECT_EQ(h.status[1], kStatusCannotOpen);
    EXPECT_EQ(h.deck(1).duration(), -1);
    EXPECT_FLOAT_EQ(h.deck(1).position(), -1.0f);
    h.deck(1).play();
    h.deck(1).cycleCue();
    h.deck(1).shift(-1000);
    EXPECT_FALSE(h.deck(1).playing());
}

// A FLAC file goes to the libsndfile reader, is keyed by name and size like any track, and
// a damaged one gives the deck its status.
TEST_F(DeckStreamTest, OnRealFilesAFlacIsKeyedByNameAndSizeAndDamageGivesItsStatus) {
    test::TempDir home;
    const std::string flac = home.file("Artist - Title.flac");
    ASSERT_TRUE(
        synth::writeSndfile(flac, synth::render({.seconds = 8, .sampleRate = 48000}), 48000, 2));
    DeckHarness h(DeckHarness::RealReaders{});
    ASSERT_TRUE(h.database.open(home.path().string()));
    h.startSoundThread();
    ASSERT_TRUE(h.load(0, flac));
    EXPECT_EQ(h.status[0], kStatusNormal);
    EXPECT_EQ(h.deck(0).duration(), 8);
    const TrackRecord* record = h.deck(0).track()->record;
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->name, "Artist - Title.flac");
    EXPECT_EQ(record->fileSize, std::filesystem::file_size(flac));
    EXPECT_EQ(h.database.findOrAdd("Artist - Title.flac", record->fileSize), record);

    // Zeros over the middle third: it plays up to the damage, then stops with the error.
    test::Bytes damaged = test::readFile(flac);
    std::fill(damaged.begin() + static_cast<long>(damaged.size() / 3),
              damaged.begin() + static_cast<long>(damaged.size() * 2 / 3), 0);
    const std::string broken = test::writeFile(home.file("broken.flac"), damaged);
    ASSERT_TRUE(h.load(1, broken));
    h.deck(1).seekAndPlay(0.0f);
    ASSERT_TRUE(waitFor([&] { return h.ended[1] > 0; }, 60));
    EXPECT_EQ(h.status[1], kStatusDecodeError);
    EXPECT_FALSE(h.load(1, test::writeFile(home.file("empty.ogg"), test::Bytes(100, 0))));
    EXPECT_EQ(h.status[1], kStatusCannotOpen);
}

TEST_F(DeckStreamTest, CueButtonCyclesCuePointStartAndFirstStrongBeat) {
    DeckHarness h;
    h.call([&] { ASSERT_TRUE(h.load(0)); });
    DeckStream& deck = h.deck(0);
    TrackAnalysis* a = deck.analysis();
    h.call([&] { deck.play(); });
    h.runPasses(20);
    ASSERT_GT(deck.position(), 0.0f);

    // The analyser keeps refining the first strong beat; the test sets it before each press.
    auto press = [&](float cue, float firstBeat) {
        a->cuePoint = cue;
        a->firstStrongBeat = firstBeat;
        h.call([&] { deck.cycleCue(); });
        return deck.position();
    };
    EXPECT_FLOAT_EQ(press(0.25f, 0.1f), 0.25f);  // pauses and goes to the cue point
    EXPECT_FALSE(deck.playing());
    for (float want : {0.0f, 0.1f, 0.25f}) EXPECT_FLOAT_EQ(press(0.25f, 0.1f), want);
    // With the cue point at the start, the start step is left out.
    for (float want : {0.0f, 0.1f, 0.0f, 0.1f}) EXPECT_FLOAT_EQ(press(0.0f, 0.1f), want);

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
        EXPECT_NEAR(sourceFrame(captured, 0), static_cast<int32_t>(double{f} * kTrackFrames), 1)
            << f;
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

TEST_F(DeckStreamTest, BothRenderersConsumeTheSourceAtThePitchRatioAndAgreeAtNormalPitch) {
    std::array<std::vector<int16_t>, 2> normal;
    for (int masterTempo = 0; masterTempo < 2; ++masterTempo) {
        set(settings().masterTempo, masterTempo);
        for (int32_t pitch : {4096, 5462}) {
            DeckHarness h;
            h.call([&] {
                ASSERT_TRUE(h.load(0));
                h.deck(0).setPitch(pitch);
                h.deck(0).seekAndPlay(0.1f);
            });
            while (h.capturedFrames(0) < 44100 * 8) h.runPasses(1);
            auto captured = h.takeCaptured(0);
            const size_t last = 44100 * 8 - 1;
            EXPECT_NEAR(double(sourceFrame(captured, last) - sourceFrame(captured, 1000)) /
                            double(last - 1000),
                        pitch / 4096.0, 0.01)
                << "master tempo " << masterTempo << ", pitch " << pitch;
            captured.resize(2 * (last + 1));
            if (pitch == 4096) normal[static_cast<size_t>(masterTempo)] = captured;
        }
    }
    // Bit-identical at normal pitch, once master tempo has faded in from silence over the
    // first 512 frames after a restart.
    EXPECT_TRUE(std::equal(normal[0].begin() + 1024, normal[0].end(), normal[1].begin() + 1024));
}

// The settings say varispeed (the fixture); the deck renders as the option it was handed
// says, and follows a changed one at the next refresh.
TEST_F(DeckStreamTest, TheRenderFollowsTheMasterTempoOptionHandedToTheDeck) {
    DeckHarness h;
    h.decks().setOptions({.masterTempo = true});
    // Of the last 20000 frames captured, how many hold the source frame after the one before.
    const auto consecutive = [&] {
        const std::vector<int16_t> captured = h.takeCaptured(0);
        int count = 0;
        for (size_t i = captured.size() / 2 - 20000; i < captured.size() / 2; ++i)
            count += sourceFrame(captured, i) == sourceFrame(captured, i - 1) + 1 ? 1 : 0;
        return count;
    };
    h.call([&] {
        ASSERT_TRUE(h.load(0));
        h.deck(0).setPitch(8192);
        h.deck(0).seekAndPlay(0.1f);
    });
    while (h.capturedFrames(0) < 44100) h.runPasses(1);
    // Master tempo copies the source in runs; varispeed at double speed takes every other.
    EXPECT_GT(consecutive(), 15000);
    h.decks().setOptions({.masterTempo = false});
    h.call([&] { h.deck(0).refresh(); });
    while (h.capturedFrames(0) < 44100) h.runPasses(1);
    EXPECT_EQ(consecutive(), 0);
}

// The options come from the settings as they are, except a mix length the options panel
// never offers, which the decks take as the short mix the panel shows.
TEST_F(DeckStreamTest, OptionsFromTheSettingsTakeAnUnofferedMixLengthAsTheShortMix) {
    Settings s;
    set(s.masterTempo, 1);
    set(s.autoMix, 1);
    for (const auto& [stored, taken] : {std::pair{40, 40}, {112, 112}, {41, 0}, {100000, 0}}) {
        set(s.longMix, stored);
        const DeckOptions o = DeckOptions::fromSettings(s);
        EXPECT_EQ(o.longMix, taken) << stored;
        EXPECT_TRUE(o.masterTempo && o.autoMix);
    }
}

TEST_F(DeckStreamTest, OnRealFilesASeekPlaysFromTheFrameTheFractionDesignates) {
    // What a deck plays after seekAndPlay(f) is what a play from the start plays from frame
    // f x length on: exactly at 44100 Hz, to the converter's rounding at other rates. The
    // tracks last 10.5 s, so no whole number of seconds stands in for their length.
    test::TempDir dir;
    const std::vector<float> music = synth::render({.bpm = 125, .seconds = 10.5, .seed = 3});
    struct Case {
        std::string name;
        int32_t rate;
        int maxDiff;
    };
    const Case cases[] = {{"a.wav", 44100, 0}, {"a.mp3", 44100, 0},  {"a.flac", 44100, 0},
                          {"b.mp3", 48000, 2}, {"b.flac", 96000, 2}, {"b.ogg", 44100, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        const std::vector<float> samples =
            c.rate == 44100
                ? music
                : synth::render({.bpm = 125, .seconds = 10.5, .sampleRate = c.rate, .seed = 3});
        const bool written =
            c.name.ends_with(".wav")   ? synth::writeWav(path, samples, c.rate, 2, 16)
            : c.name.ends_with(".mp3") ? synth::writeMp3(path, samples, c.rate, 2, 192)
                                       : synth::writeSndfile(path, samples, c.rate, 2, 16);
        ASSERT_TRUE(written);
        DeckHarness h(DeckHarness::RealReaders{});
        DeckStream& deck = h.deck(0);
        h.call([&] {
            ASSERT_TRUE(h.load(0, path));
            deck.seekAndPlay(0.0f);
        });
        while (h.ended[0] == 0) h.runPasses(1);
        const std::vector<int16_t> full = h.takeCaptured(0);
        const int64_t length = 441000 + 22050;  // 10.5 s at 44100 Hz
        for (const float f : {0.25f, 0.5f, 0.618f, 0.1f, 0.9f}) {
            h.call([&] { deck.pause(); });
            h.takeCaptured(0);
            h.call([&] { deck.seekAndPlay(f); });
            EXPECT_FLOAT_EQ(deck.position(), f);
            while (h.capturedFrames(0) < 20000) h.runPasses(1);
            const std::vector<int16_t> part = h.takeCaptured(0);
            const auto start =
                static_cast<size_t>(2 * std::llround(double{f} * static_cast<double>(length)));
            // The capture hears each chunk as it is rendered; the heard position is told at
            // the start of the pass that renders the next.
            EXPECT_NEAR(deck.position() * static_cast<double>(length),
                        static_cast<double>(start + part.size()) / 2 - kRenderFrames, 1.0);
            ASSERT_LE(start + 40000, full.size());
            int maxDiff = 0;
            for (size_t i = 0; i < 40000; ++i)
                maxDiff = std::max(maxDiff, std::abs(part[i] - full[start + i]));
            EXPECT_LE(maxDiff, c.maxDiff) << f;
        }
    }
}

TEST_F(DeckStreamTest, VarispeedKeepsAToneCleanAtEveryPitchThroughTheWholeRing) {
    // A 1 kHz tone comes out at 1000 x pitch / 4096 Hz with nothing else beside it, in
    // every second of twelve: across render passes, blocks and the wrap of the decoded ring.
    test::TempDir dir;
    const std::string tone = dir.file("tone.wav");
    ASSERT_TRUE(synth::writeWav(tone, synth::tone(1000.0, 20.0, 44100, 2, 0.5), 44100, 2, 16));
    for (const int32_t pitch : {3961, 4424, 5462}) {
        SCOPED_TRACE(pitch);
        DeckHarness h(DeckHarness::RealReaders{});
        h.call([&] {
            ASSERT_TRUE(h.load(0, tone));
            h.deck(0).setPitch(pitch);
            h.deck(0).seekAndPlay(0.0f);
        });
        while (h.capturedFrames(0) < 44100 * 12) h.runPasses(1);
        const std::vector<int16_t> out = h.takeCaptured(0);
        for (int second = 0; second < 12; ++second) {
            for (int channel : {0, 1}) {
                const test::ToneFit fit = test::fitTone(
                    test::channelOf(&out[static_cast<size_t>(2 * 44100 * second)], 44100, channel));
                EXPECT_NEAR(fit.hz(), 1000.0 * pitch / 4096, 1000.0 * pitch / 4096 * 1e-4)
                    << second;
                EXPECT_LT(fit.restDb, -70.0) << second;
            }
        }
    }
}

TEST_F(DeckStreamTest, EndOfTrackAndDecodeErrorsStopTheDeckAndTellTheDesk) {
    DeckHarness h({.frames = 44100 * 3});
    h.startSoundThread();
    ASSERT_TRUE(h.load(0));
    h.deck(0).play();
    ASSERT_TRUE(waitFor([&] { return h.ended[0] > 0; }));
    EXPECT_FALSE(h.deck(0).playing());
    EXPECT_LT(h.deck(0).position(), 0.0f);
    EXPECT_EQ(h.deck(0).cueCycle(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(h.ended[0], 1);
    // Everything up to the last whole block was heard, in order.
    const auto captured = h.takeCaptured(0);
    ASSERT_GE(captured.size() / 2, static_cast<size_t>(44100 * 3 - 1152));
    EXPECT_EQ(sourceFrame(captured, 44100 * 3 - 1153), 44100 * 3 - 1153);
    // The cue button brings an ended track back.
    h.deck(0).cycleCue();
    EXPECT_GE(h.deck(0).position(), 0.0f);

    // A decode error midway ends the track with the decode status.
    DeckHarness e({.errorAtBlock = 100});
    e.startSoundThread();
    ASSERT_TRUE(e.load(0));
    e.deck(0).play();
    ASSERT_TRUE(waitFor([&] { return e.ended[0] > 0; }));
    EXPECT_EQ(e.status[0], kStatusDecodeError);
    EXPECT_GE(e.capturedFrames(0), static_cast<size_t>(99 * 1152));

    // An error on the very first block after a seek stops the deck at once.
    DeckHarness g({.errorAtBlock = 200});
    g.startSoundThread();
    ASSERT_TRUE(g.load(0));
    g.deck(0).analysis()->cuePoint = 200.5f * 1152 / kTrackFrames;
    g.deck(0).goToCue();
    EXPECT_FALSE(g.deck(0).playing());
    EXPECT_EQ(g.status[0], kStatusDecodeError);
    EXPECT_LT(g.deck(0).position(), 0.0f);
}

TEST_F(DeckStreamTest, NudgeNeverLeavesRenderedAudioButShiftPlaysSilence) {
    DeckHarness h;
    DeckStream& deck = h.deck(0);
    // Playing long enough fills the whole output ring with audio that a seek makes stale.
    h.call([&] {
        ASSERT_TRUE(h.load(0));
        deck.play();
    });
    h.runPasses(40);
    deck.analysis()->cuePoint = 0.5f;
    h.call([&] {
        deck.pause();
        deck.goToCue();
    });
    // Freshly sought: no history behind the heard point.
    const float before = deck.position();
    h.call([&] { deck.nudge(-2000); });
    EXPECT_FLOAT_EQ(deck.position(), before);

    // A backward shift by the same amount moves into frames not written since: silence.
    h.takeCaptured(0);
    h.call([&] {
        deck.shift(-2000);
        deck.play();
    });
    h.runPasses(3);
    const auto captured = h.takeCaptured(0);
    ASSERT_GT(captured.size(), 4000u * 2);
    for (int i = 0; i < 2000 * 2; ++i) ASSERT_EQ(captured[static_cast<size_t>(i)], 0) << i;
    EXPECT_EQ(sourceFrame(captured, 2001) + 2000, sourceFrame(captured, 4001));

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
    set(settings().autoMix, 1);  // the decks are made with it
    DeckHarness h({.frames = 44100 * 60}, {.frames = 44100 * 60});
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
    while (h.startDeck[1] == 0 && deck.position() < 0.9f) h.runPasses(1);
    ASSERT_EQ(h.startDeck[1], 1);
    EXPECT_NEAR(deck.position(), 0.95f - 6.4f / 60, 0.002f);
    // The request repeats on every update until a mix marks the deck mixed out.
    h.runPasses(3);
    EXPECT_GT(h.startDeck[1], 1);
    deck.setMixedOut(true);
    const int asked = h.startDeck[1];
    h.runPasses(10);
    EXPECT_EQ(h.startDeck[1], asked);
    EXPECT_EQ(h.startDeck[0], 0);
}

// The rule's own bounds: 80 % heard starts the check, and a last strong beat exactly where
// the mix would end is close enough.
TEST_F(DeckStreamTest, AutomaticStartBoundsAreInclusive) {
    AutomaticStartCheck c{
        .heard = 0.8f, .autoMix = true, .playing = true, .seconds = 41, .pitch = 4100};
    EXPECT_TRUE(automaticStartDue(c));
    c.heard = std::nextafter(0.8f, 0.0f);
    EXPECT_FALSE(automaticStartDue(c));
    // 32 ticks of 0.2 s at 4100/4096 over 41 s: 5/32 of the track, all exact in binary.
    c.heard = 0.8125f;
    c.lastStrongBeat = 0.96875f;
    EXPECT_TRUE(automaticStartDue(c));
    c.lastStrongBeat = std::nextafter(0.96875f, 1.0f);
    EXPECT_FALSE(automaticStartDue(c));
    c.seconds = 0;  // no duration: at once
    EXPECT_TRUE(automaticStartDue(c));
}

// An effect that doubles each chunk (every frame twice), or claims `claim` frames, and
// counts the calls it gets after the deck let it go.
struct DoublingEffect : DspHook {
    DoublingEffect(std::atomic<int>& callsAfter, std::atomic<bool>& gone, int32_t claim = 0)
        : callsAfter(callsAfter), gone(gone), claim(claim) {}
    ~DoublingEffect() override { gone = true; }
    int32_t modifySamples(int16_t* samples, int32_t frames) override {
        if (gone) callsAfter++;
        for (int32_t i = frames - 1; i >= 0; --i) {
            samples[4 * i + 2] = samples[4 * i] = samples[2 * i];
            samples[4 * i + 3] = samples[4 * i + 1] = samples[2 * i + 1];
        }
        return claim ? claim : frames * 2;
    }
    std::atomic<int>& callsAfter;
    std::atomic<bool>& gone;
    int32_t claim;
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
    h.call([&] {
        h.deck(0).setDspPlugin(std::make_unique<DoublingEffect>(callsAfter, secondGone, 1 << 20));
    });
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
