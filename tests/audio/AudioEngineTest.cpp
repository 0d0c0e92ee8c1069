// The audio engine and its two output devices on the null and WAV backends, driven pass by
// pass on a manual clock: what reaches the "sound card" is read back from the WAV file.

#include "audio/AudioEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "audio/DeckPair.h"
#include "audio/HardMixOutput.h"
#include "audio/SoftMixOutput.h"
#include "library/TrackDatabase.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "platform/sound/SoundBackends.h"
#include "platform/volume/SystemVolume.h"
#include "recorder/MixRecorder.h"
#include "support/ConstantReader.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/WavFile.h"

namespace spinlorex {
namespace {

class Desk : public DeskControl, public DeskNotifier {
public:
    DeckPair* decks = nullptr;
    std::atomic<int> ended{0};
    void setDeckPitch(int d, int32_t p) override { (*decks)[d].setPitch(p); }
    void setDeckLevel(int d, int32_t v) override { (*decks)[d].setLevel(v); }
    void setDeckStatus(int, uint32_t) override {}
    int32_t pitchMin() const override { return 2730; }
    int32_t pitchMax() const override { return 5462; }
    void post(int message, int) override {
        if (message == kMessageTrackEnded) ended++;
    }
};

// Two decks of constant frames, the engine on a WAV backend with a manual clock.
class EngineRig {
public:
    EngineRig(int outputMode, DeckStream::Readers deck1, DeckStream::Readers deck2)
        : clock_(std::make_shared<sound::ManualClock>()),
          path_(dir_.file("out.wav")),
          system_(sound::createWavSystem(path_, clock_)),
          decks_(database_, desk_, desk_, std::move(deck1), std::move(deck2)),
          engine_(decks_, *system_, nullptr) {
        desk_.decks = &decks_;
        set(settings().outputMode, outputMode);
        set(settings().multiInstance, 1);
        EXPECT_TRUE(engine_.start(AudioEngine::Threading::Manual));
    }

    // Runs a caller operation while this thread serves it, one 1 ms pass at a time.
    void call(const std::function<void()>& operation) {
        std::atomic<bool> done{false};
        std::thread caller([&] {
            operation();
            done = true;
        });
        while (!done) pass();
        caller.join();
    }
    void pass(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock_->advance(44);
            engine_.runPass();
        }
    }
    void load(int d) {
        call([&] {
            TrackEntry entry;
            entry.path = "track.wav";
            ASSERT_TRUE(decks_[d].loadTrack(entry));
        });
    }
    int64_t now() const { return clock_->elapsedFrames(); }
    // Stops everything and reads what was played.
    test::WavFile finish() {
        engine_.stop();
        system_.reset();
        return test::readWav(path_);
    }

    DeckStream& deck(int d) { return decks_[d]; }
    OutputDevice& output() { return *engine_.output(); }
    AudioEngine& engine() { return engine_; }

private:
    test::TempDir dir_;
    std::shared_ptr<sound::ManualClock> clock_;
    std::string path_;
    std::unique_ptr<sound::SoundSystem> system_;
    TrackDatabase database_;
    Desk desk_;
    DeckPair decks_;
    AudioEngine engine_;
};

// The frame played at `frame` (clock frames count from the system's start).
std::pair<int, int> frameAt(const test::WavFile& wav, int64_t frame) {
    return {wav.samples[static_cast<size_t>(2 * frame)],
            wav.samples[static_cast<size_t>(2 * frame + 1)]};
}

class AudioEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().resetToDefaults();
        set(settings().autoBpm, 0);
        clearFatalError();
    }
    void TearDown() override {
        settings().resetToDefaults();
        clearFatalError();
    }
};

TEST_F(AudioEngineTest, TheSoftMixModesAloneMixInSoftwareAndRecord) {
    for (int mode = 0; mode <= 10; ++mode) {
        const bool soft = mode == 1 || mode >= 8;
        EngineRig rig(mode, test::constantReaders(0, 0), test::constantReaders(0, 0));
        EXPECT_EQ(rig.output().canRecord(), soft) << mode;
        EXPECT_EQ(dynamic_cast<SoftMixOutput*>(&rig.output()) != nullptr, soft) << mode;
    }
}

TEST_F(AudioEngineTest, SoftMixSumsBothDecksWithSaturationAndOneDeckByShift) {
    EngineRig rig(1, test::constantReaders(20000, -12000), test::constantReaders(30000, 25000));
    ASSERT_NE(dynamic_cast<SoftMixOutput*>(&rig.output()), nullptr);
    rig.load(0);
    rig.load(1);
    rig.call([&] {
        rig.deck(0).play();
        rig.deck(1).play();
    });
    rig.pass(200);
    // Middle of the smooth curve: 192 x 256 for each deck, halved, then >> 15.
    const int64_t both = rig.now() - 100;
    rig.call([&] { rig.deck(1).pause(); });
    rig.pass(200);
    const int64_t one = rig.now() - 100;
    const test::WavFile wav = rig.finish();
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(frameAt(wav, both), std::make_pair(32767, (25000 - 12000) * 3 / 4));
    EXPECT_EQ(frameAt(wav, one), std::make_pair(15000, -9000));  // (s x 49152) >> 16
}

TEST_F(AudioEngineTest, AMutedRunningDeckMovesInStepAndLevelsAreHeardAtOnce) {
    EngineRig rig(1, test::constantReaders(8000, 8000), test::constantReaders(4000, 4000));
    rig.load(0);
    rig.load(1);
    rig.output().applyCrossfader(0);  // deck 2 at zero gain
    rig.call([&] {
        rig.deck(0).play();
        rig.deck(1).play();
    });
    EXPECT_TRUE(rig.output().isAudible(0));
    EXPECT_FALSE(rig.output().isAudible(1));
    const float start = rig.deck(1).position();
    rig.pass(1000);                                                  // one second
    EXPECT_NEAR(rig.deck(1).position() - start, 1.0f / 60, 0.002f);  // heard in step while muted

    // A level change is heard after the write latency, not after the queued half second.
    rig.deck(0).setLevel(128);
    const int64_t changed = rig.now();
    rig.pass(40);
    const test::WavFile wav = rig.finish();
    EXPECT_EQ(frameAt(wav, changed - 50).first, 8000);
    EXPECT_EQ(frameAt(wav, changed + sound::kNullWriteLatency + 50).first, 4000);
}

TEST_F(AudioEngineTest, HardMixCopiesEachDeckAndGoesSilentAfterAStop) {
    EngineRig rig(0, test::constantReaders(16000, 16000), test::constantReaders(0, 0));
    ASSERT_NE(dynamic_cast<HardMixOutput*>(&rig.output()), nullptr);
    EXPECT_FALSE(rig.output().canRecord());
    rig.load(0);
    rig.output().applyCrossfader(0);  // deck 1 at full: 0 dB
    rig.call([&] { rig.deck(0).play(); });
    EXPECT_TRUE(rig.output().isAudible(0));
    rig.pass(300);
    const int64_t playing = rig.now() - 50;
    rig.call([&] { rig.deck(0).pause(); });
    EXPECT_FALSE(rig.output().isAudible(0));
    rig.pass(300);
    const int64_t stopped = rig.now() - 50;
    const test::WavFile wav = rig.finish();
    EXPECT_EQ(frameAt(wav, playing), std::make_pair(16000, 16000));
    EXPECT_EQ(frameAt(wav, stopped), std::make_pair(0, 0));
}

// In both mixing modes a deck started while the other plays, and both decks across a
// rebuilt engine, are heard from where they are: their positions move with the clock.
TEST_F(AudioEngineTest, HeardPositionsFollowTheClockWhenADeckJoinsAndAcrossARebuiltEngine) {
    constexpr float kSecond = 1.0f / 60;  // of the constant tracks
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        EngineRig rig(mode, test::constantReaders(8000, 8000), test::constantReaders(4000, 4000));
        rig.load(0);
        rig.load(1);
        rig.call([&] { rig.deck(0).play(); });
        rig.pass(1000);
        rig.call([&] { rig.deck(1).play(); });
        const float joined = rig.deck(1).position();
        rig.pass(1000);
        EXPECT_NEAR(rig.deck(1).position() - joined, kSecond, 0.002f);

        // The other mode's device, brought up to both playing decks before its thread runs.
        const float before0 = rig.deck(0).position(), before1 = rig.deck(1).position();
        rig.engine().stop();
        set(settings().outputMode, 1 - mode);
        ASSERT_TRUE(rig.engine().start(AudioEngine::Threading::Manual, [&](OutputDevice& output) {
            output.resyncDeck(-1);
            output.deckStarted(0);
            output.deckStarted(1);
        }));
        rig.pass(1000);
        EXPECT_NEAR(rig.deck(0).position() - before0, kSecond, 0.002f);
        EXPECT_NEAR(rig.deck(1).position() - before1, kSecond, 0.002f);
        EXPECT_TRUE(rig.deck(0).playing());
        EXPECT_TRUE(rig.deck(1).playing());
    }
}

TEST_F(AudioEngineTest, HardMixPreviewPlaysAPausedDeckOnce) {
    EngineRig rig(0, test::constantReaders(12000, 12000), test::constantReaders(0, 0));
    rig.load(0);
    rig.output().applyCrossfader(0);
    rig.pass(100);
    const int64_t before = rig.now();
    rig.call([&] { rig.deck(0).nudge(600); });  // scrubbing a paused deck
    rig.pass(200);
    const test::WavFile wav = rig.finish();
    int64_t loud = 0;
    for (int64_t f = before; f < static_cast<int64_t>(wav.samples.size() / 2); ++f)
        if (frameAt(wav, f).first == 12000) ++loud;
    EXPECT_EQ(loud, 1152);  // one block, once
}

TEST_F(AudioEngineTest, ARecordingGetsExactlyWhatWasPlayed) {
    test::TempDir dir;
    test::FakeReader::Script script;
    DeckStream::Readers indexed;
    indexed.wav = std::make_unique<test::FakeReader>(script);
    indexed.mp3 = std::make_unique<test::FakeReader>(script);
    EngineRig rig(1, std::move(indexed), test::constantReaders(0, 0));
    rig.load(0);
    rig.output().applyCrossfader(0);  // deck 1 alone at full gain: the mix is its frames
    rig.call([&] { rig.deck(0).play(); });
    rig.pass(100);
    auto owned = std::make_unique<MixRecorder>(dir.file("mix.wav"), std::chrono::milliseconds(1));
    const MixRecorder& recorder = *owned;
    rig.output().attachRecorder(std::move(owned));
    EXPECT_TRUE(rig.output().recording());
    for (int i = 1; i <= 2000; ++i) {
        rig.pass();
        // Each pass hands over the 44 frames played; the writer is let catch up, so the
        // ring of half a second never fills however slow the machine.
        if (i % 100 == 0) {
            ASSERT_TRUE(test::waitFor([&] { return recorder.framesWritten() >= 44 * i - 4400; }));
        }
    }
    EXPECT_EQ(recorder.framesLost(), 0);
    rig.output().requestStopRecording();
    rig.pass();
    EXPECT_FALSE(rig.output().recording());
    rig.output().collectRetiredRecorder();  // finishes the file
    const test::WavFile played = rig.finish();
    const test::WavFile recorded = test::readWav(dir.file("mix.wav"));
    ASSERT_TRUE(recorded.valid);
    ASSERT_GT(recorded.samples.size(), 44100u * 2 * 3 / 2);
    // The recording is one stretch of what was played, frame for frame.
    const auto start = std::search(played.samples.begin(), played.samples.end(),
                                   recorded.samples.begin(), recorded.samples.begin() + 64);
    ASSERT_NE(start, played.samples.end());
    ASSERT_LE(static_cast<size_t>(played.samples.end() - start), played.samples.size());
    EXPECT_TRUE(std::equal(recorded.samples.begin(), recorded.samples.end(), start));
}

TEST_F(AudioEngineTest, TheSoundThreadRunsATrackToItsEnd) {
    TrackDatabase database;
    Desk desk;
    DeckPair decks(database, desk, desk, test::constantReaders(1000, 1000, 1),
                   test::constantReaders(0, 0));
    desk.decks = &decks;
    std::unique_ptr<sound::SoundSystem> system = sound::createNullSystem();  // wall clock
    set(settings().multiInstance, 1);
    AudioEngine engine(decks, *system, nullptr);
    ASSERT_TRUE(engine.start());
    TrackEntry entry;
    entry.path = "short.wav";
    ASSERT_TRUE(decks[0].loadTrack(entry));
    decks[0].play();
    EXPECT_TRUE(test::waitFor([&] { return desk.ended > 0; }, 10));
    EXPECT_FALSE(decks[0].playing());
    engine.stop();  // joins the thread
    EXPECT_FALSE(engine.running());
}

TEST_F(AudioEngineTest, AnIdleSoundThreadSleepsUntilARequestOrAWakeComes) {
    TrackDatabase database;
    Desk desk;
    DeckPair decks(database, desk, desk, test::constantReaders(1000, 1000, 1),
                   test::constantReaders(0, 0));
    desk.decks = &decks;
    std::unique_ptr<sound::SoundSystem> system = sound::createNullSystem();  // wall clock
    set(settings().multiInstance, 1);
    AudioEngine engine(decks, *system, nullptr);
    ASSERT_TRUE(engine.start());
    // Asleep: no pass for a tenth of a second (within a few seconds of nothing to do).
    const auto fallsAsleep = [&] {
        return test::waitFor(
            [&] {
                const uint64_t before = engine.passCount();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return engine.passCount() == before;
            },
            10);
    };
    ASSERT_TRUE(fallsAsleep());
    const uint64_t asleep = engine.passCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(engine.passCount(), asleep);

    // A deck's request wakes it at once; so does one who waits for passes.
    TrackEntry entry;
    entry.path = "short.wav";
    ASSERT_TRUE(decks[0].loadTrack(entry));
    EXPECT_TRUE(test::waitFor([&] { return decks[0].duration() >= 0; }, 5));
    EXPECT_GT(engine.passCount(), asleep);
    ASSERT_TRUE(fallsAsleep());
    engine.waitForPasses(3);
    engine.stop();
}

// A sound system whose devices fail as told.
class FailingSystem : public sound::SoundSystem {
public:
    sound::SoundError failDefault = sound::SoundError::None;
    sound::SoundError failStored = sound::SoundError::Other;
    int opens = 0;
    std::unique_ptr<sound::SoundSystem> inner =
        sound::createNullSystem(std::make_shared<sound::ManualClock>());
    const char* backendName() const override { return "failing"; }
    std::vector<sound::DeviceInfo> devices() override { return inner->devices(); }
    std::unique_ptr<sound::SoundDevice> open(const std::optional<sound::DeviceId>& id,
                                             int32_t channels, bool exclusive,
                                             sound::SoundError& error) override {
        ++opens;
        error = id ? failStored : failDefault;
        if (error != sound::SoundError::None) return nullptr;
        return inner->open(std::nullopt, channels, exclusive, error);
    }
};

// A sound system whose devices can be unplugged: from then on every buffer's cursors fail,
// as the backends report a lost device.
class UnpluggableSystem : public sound::SoundSystem {
public:
    std::shared_ptr<sound::ManualClock> clock = std::make_shared<sound::ManualClock>();
    std::unique_ptr<sound::SoundSystem> inner = sound::createNullSystem(clock);
    std::shared_ptr<std::atomic<bool>> unplugged = std::make_shared<std::atomic<bool>>(false);

    class Buffer : public sound::SoundBuffer {
    public:
        Buffer(std::unique_ptr<sound::SoundBuffer> b, std::shared_ptr<std::atomic<bool>> gone)
            : inner_(std::move(b)), gone_(std::move(gone)) {}
        int32_t frames() const override { return inner_->frames(); }
        bool cursors(int32_t& play, int32_t& write) override {
            return !*gone_ && inner_->cursors(play, write);
        }
        bool lock(int32_t o, int32_t f, Region& r) override {
            return !*gone_ && inner_->lock(o, f, r);
        }
        void unlock(const Region& r) override { inner_->unlock(r); }
        bool setVolume(int32_t v) override { return inner_->setVolume(v); }
        int32_t volume() const override { return inner_->volume(); }
        bool play() override { return inner_->play(); }
        bool stop() override { return inner_->stop(); }
        bool setRoute(sound::ChannelRoute route) override { return inner_->setRoute(route); }

    private:
        std::unique_ptr<sound::SoundBuffer> inner_;
        std::shared_ptr<std::atomic<bool>> gone_;
    };
    class Device : public sound::SoundDevice {
    public:
        Device(std::unique_ptr<sound::SoundDevice> d, std::shared_ptr<std::atomic<bool>> gone)
            : inner_(std::move(d)), gone_(std::move(gone)) {}
        sound::SoundError setPrimaryFormat() override { return inner_->setPrimaryFormat(); }
        int32_t channels() const override { return inner_->channels(); }
        std::unique_ptr<sound::SoundBuffer> createBuffer(int32_t frames,
                                                         sound::SoundError& error) override {
            auto b = inner_->createBuffer(frames, error);
            return b ? std::make_unique<Buffer>(std::move(b), gone_) : nullptr;
        }

    private:
        std::unique_ptr<sound::SoundDevice> inner_;
        std::shared_ptr<std::atomic<bool>> gone_;
    };

    const char* backendName() const override { return "unpluggable"; }
    std::vector<sound::DeviceInfo> devices() override { return inner->devices(); }
    std::unique_ptr<sound::SoundDevice> open(const std::optional<sound::DeviceId>& id,
                                             int32_t channels, bool exclusive,
                                             sound::SoundError& error) override {
        auto d = inner->open(id, channels, exclusive, error);
        return d ? std::make_unique<Device>(std::move(d), unplugged) : nullptr;
    }
};

TEST_F(AudioEngineTest, ALostDeviceNeitherHangsNorCrashesTheSoundThread) {
    for (int mode : {0, 1}) {
        set(settings().outputMode, mode);
        set(settings().multiInstance, 1);
        TrackDatabase database;
        Desk desk;
        DeckPair decks(database, desk, desk, test::constantReaders(5000, 5000),
                       test::constantReaders(0, 0));
        desk.decks = &decks;
        UnpluggableSystem system;
        AudioEngine engine(decks, system, nullptr);
        ASSERT_TRUE(engine.start());  // the real sound thread
        TrackEntry entry;
        entry.path = "a.wav";
        ASSERT_TRUE(decks[0].loadTrack(entry));
        decks[0].play();
        // A second of playing, then one without the device. The clock moves as a card's
        // would, no more than the write lead at a time while the sound thread keeps up: a
        // clock that swallowed a second at once would read what the thread is writing.
        const auto play = [&](int steps) {
            for (int i = 0; i < steps; ++i) {
                system.clock->advance(sound::kNullWriteLatency);
                engine.waitForPasses(2);
            }
        };
        play(100);
        *system.unplugged = true;
        play(100);
        // The decks still answer: requests are served by a thread that keeps stepping.
        decks[0].setPitch(4200);
        decks[0].pause();
        EXPECT_EQ(decks[0].pitch(), 4200);
        EXPECT_FALSE(decks[0].playing());
        engine.stop();
    }
}

// Counts what the engine asks of the system volume.
class CountingMixer : public MixerAccess {
public:
    int* maximised;
    explicit CountingMixer(int* counter) : maximised(counter) {}
    std::vector<Control> controls() override { return {{"card", "Master"}}; }
    bool read(const Control&, std::vector<long>& v) override {
        v = {50};
        return true;
    }
    bool write(const Control&, const std::vector<long>&) override { return true; }
    bool maximise(const Control&) override {
        ++*maximised;
        return true;
    }
};

TEST_F(AudioEngineTest, DeviceFailuresGiveTheirMessagesAndAStoredDeviceFallsBack) {
    TrackDatabase database;
    Desk desk;
    DeckPair decks(database, desk, desk, test::constantReaders(0, 0), test::constantReaders(0, 0));
    FailingSystem system;
    int maximised = 0;
    SystemVolume volume(std::make_unique<CountingMixer>(&maximised));

    // A stored device that is gone: the default one is used, no message stays.
    settings().soundCardGuid = sound::DeviceId{1, 2, 3};
    {
        AudioEngine engine(decks, system, &volume);
        EXPECT_TRUE(engine.start(AudioEngine::Threading::Manual));
        EXPECT_EQ(fatalError(), nullptr);
        EXPECT_EQ(system.opens, 2);
        EXPECT_EQ(maximised, 1);  // the desk runs alone: the system volume is taken over
        EXPECT_TRUE(volume.saved());
    }
    EXPECT_FALSE(volume.saved());  // restored when the engine stopped

    // A busy card is reported as such; the stored device is not retried then.
    system.failStored = sound::SoundError::Busy;
    system.opens = 0;
    {
        AudioEngine engine(decks, system, &volume);
        EXPECT_FALSE(engine.start(AudioEngine::Threading::Manual));
        EXPECT_STREQ(fatalError(), "The sound card is already used by another application");
        EXPECT_EQ(system.opens, 1);
        EXPECT_EQ(engine.output(), nullptr);
    }
    clearFatalError();
    settings().soundCardGuid.reset();
    system.failDefault = sound::SoundError::OutOfMemory;
    {
        AudioEngine engine(decks, system, &volume);
        EXPECT_FALSE(engine.start(AudioEngine::Threading::Manual));
        EXPECT_STREQ(fatalError(), "Error in the sound card driver: not enough memory");
    }
    clearFatalError();
    system.failDefault = sound::SoundError::Other;
    set(settings().multiInstance, 1);
    maximised = 0;
    {
        AudioEngine engine(decks, system, &volume);
        EXPECT_FALSE(engine.start(AudioEngine::Threading::Manual));
        EXPECT_STREQ(fatalError(), "Error in the sound driver of DirectX");
        EXPECT_EQ(maximised, 0);  // several copies may run: volumes are left alone
    }
}

// Runs `operation` on a thread of its own; false when it has not returned within `seconds`
// (it is then left hanging, and the test fails rather than the suite).
bool returnsWithin(double seconds, std::function<void()> operation) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([operation = std::move(operation), done] {
        operation();
        done->store(true);
    }).detach();
    return test::waitFor([&] { return done->load(); }, seconds);
}

TEST_F(AudioEngineTest, AnEngineThatCannotStartLeavesDecksThatStillAnswer) {
    TrackDatabase database;
    Desk desk;
    DeckPair decks(database, desk, desk, test::constantReaders(0, 0), test::constantReaders(0, 0));
    desk.decks = &decks;
    FailingSystem system;
    system.failDefault = sound::SoundError::Busy;
    set(settings().multiInstance, 1);
    AudioEngine engine(decks, system, nullptr);
    EXPECT_FALSE(engine.start());
    EXPECT_STREQ(fatalError(), "The sound card is already used by another application");
    // No sound thread runs: every request is served on the caller's thread at once.
    EXPECT_TRUE(returnsWithin(10, [&] {
        TrackEntry entry;
        entry.path = "a.wav";
        decks[0].loadTrack(entry);
        decks[0].setPitch(4200);
        decks[0].play();
        decks[1].pause();
    }));
    EXPECT_EQ(decks[0].pitch(), 4200);
    EXPECT_TRUE(decks[0].playing());
    EXPECT_EQ(decks[0].duration(), 60);
}

TEST_F(AudioEngineTest, ARefusedDeviceFallsBackToTheDefaultOneThenToSilenceAndPlaysOn) {
    TrackDatabase database;
    Desk desk;
    DeckPair decks(database, desk, desk, test::constantReaders(1000, 1000),
                   test::constantReaders(0, 0));
    desk.decks = &decks;
    FailingSystem system;
    set(settings().multiInstance, 1);
    settings().soundCardGuid = sound::DeviceId{1, 2, 3};
    system.failStored = sound::SoundError::Busy;
    {
        AudioEngine engine(decks, system, nullptr);
        ASSERT_TRUE(
            engine.start(AudioEngine::Threading::Manual, {}, AudioEngine::OnFailure::FallBack));
        EXPECT_STREQ(engine.fallbackMessage(),
                     "The sound card is already used by another application");
        EXPECT_FALSE(engine.silent());
        EXPECT_EQ(system.opens, 2);
        EXPECT_EQ(fatalError(), nullptr);
    }

    // The default device is busy too: the desk plays on without sound, its decks moving.
    system.failDefault = sound::SoundError::Busy;
    AudioEngine engine(decks, system, nullptr);
    ASSERT_TRUE(engine.start(AudioEngine::Threading::Thread, {}, AudioEngine::OnFailure::FallBack));
    EXPECT_TRUE(engine.silent());
    EXPECT_EQ(fatalError(), nullptr);
    EXPECT_TRUE(returnsWithin(10, [&] {
        TrackEntry entry;
        entry.path = "a.wav";
        decks[0].loadTrack(entry);
        decks[0].play();
    }));
    EXPECT_TRUE(test::waitFor([&] { return decks[0].position() > 0.01f; }));
    engine.stop();
}

TEST_F(AudioEngineTest, ARecordingCanBeHandedFromOneDeviceToTheNext) {
    EngineRig rig(1, test::constantReaders(1000, 1000), test::constantReaders(0, 0));
    struct Sink : SampleSink {
        std::atomic<int64_t> frames{0};
        void write(const int16_t*, int32_t count) override { frames += count; }
        std::string describe() const override { return "sink"; }
    };
    auto owned = std::make_unique<Sink>();
    Sink& sink = *owned;
    rig.output().attachRecorder(std::move(owned));
    rig.pass(20);
    std::unique_ptr<SampleSink> kept;
    rig.engine().stop(&kept);
    ASSERT_EQ(kept.get(), &sink);  // not finished with the device
    ASSERT_TRUE(rig.engine().start(AudioEngine::Threading::Manual, [&](OutputDevice& output) {
        output.attachRecorder(std::move(kept));
    }));
    const int64_t before = sink.frames;
    rig.pass(20);
    EXPECT_GT(sink.frames, before);  // the same recording goes on
    EXPECT_EQ(rig.output().recorder(), &sink);

    // A recording asked to stop ends with its device.
    rig.output().requestStopRecording();
    rig.engine().stop(&kept);
    EXPECT_EQ(kept, nullptr);
}

}  // namespace
}  // namespace spinlorex
