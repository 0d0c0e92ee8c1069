// Every output mode end to end: deck 1 plays 440 Hz, deck 2 1000 Hz, the engine runs on
// the WAV backend (whose second device stands for a second card and writes a file of its
// own) on a manual clock, and each channel of what the cards played is searched for the
// two tones. One suite per kind of card.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <iostream>
#include <numbers>
#include <thread>

#include "audio/AudioEngine.h"
#include "audio/DeckPair.h"
#include "library/TrackDatabase.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "platform/sound/SoundBackends.h"
#include "recorder/MixRecorder.h"
#include "support/ConstantReader.h"
#include "support/Files.h"
#include "support/ToneFit.h"
#include "support/WavFile.h"

namespace spinlorex {
namespace {

constexpr double kAmplitude = 8000;
constexpr int32_t kWindow = 4410;  // 0.1 s: whole periods of both tones

int16_t tone(double hz, int64_t frame) {
    return static_cast<int16_t>(
        std::lround(kAmplitude * std::sin(2 * std::numbers::pi * hz * frame / 44100)));
}

class Desk : public DeskControl, public DeskNotifier {
public:
    DeckPair* decks = nullptr;
    void setDeckPitch(int d, int32_t p) override { (*decks)[d].setPitch(p); }
    void setDeckLevel(int d, int32_t v) override { (*decks)[d].setLevel(v); }
    void setDeckStatus(int, uint32_t) override {}
    int32_t pitchMin() const override { return 2730; }
    int32_t pitchMax() const override { return 5462; }
    void post(int, int) override {}
};

double amplitudeOf(const test::WavFile& wav, int channel, double hz, int64_t from, int32_t count) {
    return test::toneAmplitude(wav.samples, wav.channels, channel, hz, from, count);
}

// Which tone a channel should carry: 440, 1000, or 0 for silence.
enum class Carries { Mix, PreListen, Deck1, Deck2 };

struct Layout {
    int mode;
    std::vector<Carries> card1;
    std::vector<Carries> card2;  // empty: no second card
};

// Both decks playing their tones through the mode's outputs.
class ModeRig {
public:
    // `secondCardMissing`: "Sound card 2 GUID" names a card that is not there.
    explicit ModeRig(int mode, bool secondCardMissing = false)
        : clock_(std::make_shared<sound::ManualClock>()),
          path_(dir_.file("card.wav")),
          system_(sound::createWavSystem(path_, clock_)),
          decks_(database_, desk_, desk_,
                 test::signalReaders([](int64_t n) { return tone(440, n); }, 60),
                 test::signalReaders([](int64_t n) { return tone(1000, n); }, 60)),
          engine_(decks_, *system_, nullptr) {
        desk_.decks = &decks_;
        set(settings().outputMode, mode);
        set(settings().multiInstance, 1);
        const auto devices = system_->devices();
        settings().soundCardGuid = devices.at(1).id;
        settings().soundCard2Guid =
            secondCardMissing ? sound::deviceIdFor("USB", "unplugged") : *devices.at(2).id;
        EXPECT_TRUE(engine_.start(AudioEngine::Threading::Manual));
        for (int d = 0; d < 2; ++d)
            call([&] {
                TrackEntry entry;
                entry.path = "tone.wav";
                ASSERT_TRUE(decks_[d].loadTrack(entry));
                decks_[d].play();
            });
    }

    // Runs a deck operation while this thread serves it, one 1 ms pass at a time.
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
    // Plays a while and returns where the last window of it starts.
    int64_t settle() {
        pass(300);
        return clock_->elapsedFrames() - kWindow;
    }
    OutputDevice& output() { return *engine_.output(); }
    AudioEngine& engine() { return engine_; }
    DeckPair& decks() { return decks_; }
    // Stops everything and reads what card 1 and card 2 played.
    std::pair<test::WavFile, test::WavFile> finish() {
        engine_.stop();
        system_.reset();
        return {test::readWav(path_), test::readWav(dir_.file("card-2.wav"))};
    }
    std::string file(const char* name) { return dir_.file(name); }

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

// Checks that each channel carries its tone alone at full amplitude, in the window from
// `from`: `mix` and `preListen` are the tones the mix and the pre-listen carry then.
void expectTones(const test::WavFile& wav, const std::vector<Carries>& channels, int64_t from,
                 double mix, double preListen, const std::string& what) {
    ASSERT_TRUE(wav.valid) << what;
    ASSERT_EQ(wav.channels, channels.size()) << what;
    for (size_t c = 0; c < channels.size(); ++c) {
        const double want = channels[c] == Carries::Mix         ? mix
                            : channels[c] == Carries::PreListen ? preListen
                            : channels[c] == Carries::Deck1     ? 440
                                                                : 1000;
        const double other = want == 440 ? 1000 : 440;
        const int ch = static_cast<int>(c);
        EXPECT_NEAR(amplitudeOf(wav, ch, want, from, kWindow), kAmplitude, kAmplitude * 0.03)
            << what << ", channel " << c + 1 << ", " << want << " Hz";
        EXPECT_LT(amplitudeOf(wav, ch, other, from, kWindow), kAmplitude * 0.01)
            << what << ", channel " << c + 1 << ", " << other << " Hz";
    }
}

// Two states: the crossfader on deck 1 with deck 2 selected, then the crossfader on deck 2
// with deck 1 selected (TAB). The mix follows the crossfader, the pre-listen the selection,
// and the decks of an external mixer follow neither.
void checkModes(const std::vector<Layout>& layouts) {
    for (const Layout& layout : layouts) {
        const std::string mode = "mode " + std::to_string(layout.mode);
        ModeRig rig(layout.mode);
        EXPECT_EQ(rig.engine().secondCardMessage(), nullptr) << mode;
        rig.output().applyCrossfader(0);
        rig.output().deckSelected(1);
        const int64_t first = rig.settle();
        rig.output().applyCrossfader(384);
        rig.output().deckSelected(0);
        const int64_t second = rig.settle();
        const auto [card1, card2] = rig.finish();
        expectTones(card1, layout.card1, first, 440, 1000,
                    mode + " card 1, crossfader 0, deck 2 selected");
        expectTones(card1, layout.card1, second, 1000, 440,
                    mode + " card 1, crossfader 384, deck 1 selected");
        if (layout.card2.empty()) {
            EXPECT_FALSE(std::filesystem::exists(rig.file("card-2.wav"))) << mode;
            continue;
        }
        expectTones(card2, layout.card2, first, 440, 1000,
                    mode + " card 2, crossfader 0, deck 2 selected");
        expectTones(card2, layout.card2, second, 1000, 440,
                    mode + " card 2, crossfader 384, deck 1 selected");
    }
}

class OutputModesTest : public ::testing::Test {
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

using Carry = Carries;
using OneStereoCard = OutputModesTest;
using FourChannelCard = OutputModesTest;
using TwoCards = OutputModesTest;

TEST_F(OneStereoCard, SpeakersTakeTheMixAndEachSideInMonoTakesADeckOrThePreListen) {
    checkModes({{0, {Carry::Mix, Carry::Mix}, {}},
                {1, {Carry::Mix, Carry::Mix}, {}},
                {6, {Carry::Deck1, Carry::Deck2}, {}},
                {7, {Carry::Mix, Carry::PreListen}, {}},
                {10, {Carry::Mix, Carry::PreListen}, {}}});
}

TEST_F(FourChannelCard, ChannelsOneAndTwoTakeDeck1OrTheMixAndThreeAndFourDeck2OrThePreListen) {
    checkModes({{3, {Carry::Deck1, Carry::Deck1, Carry::Deck2, Carry::Deck2}, {}},
                {5, {Carry::Mix, Carry::Mix, Carry::PreListen, Carry::PreListen}, {}},
                {9, {Carry::Mix, Carry::Mix, Carry::PreListen, Carry::PreListen}, {}}});
}

TEST_F(TwoCards, TheFirstTakesDeck1OrTheMixAndTheSecondDeck2OrThePreListen) {
    checkModes({{2, {Carry::Deck1, Carry::Deck1}, {Carry::Deck2, Carry::Deck2}},
                {4, {Carry::Mix, Carry::Mix}, {Carry::PreListen, Carry::PreListen}},
                {8, {Carry::Mix, Carry::Mix}, {Carry::PreListen, Carry::PreListen}}});
}

TEST_F(TwoCards, AMissingSecondCardLeavesTheFirstPlayingTheMixAndSaysSo) {
    for (int mode : {2, 4, 8}) {
        ModeRig rig(mode, /*secondCardMissing=*/true);
        EXPECT_STREQ(rig.engine().secondCardMessage(), "Error in the sound driver of DirectX")
            << mode;
        // Its default device is the first card: what belongs to the second card goes nowhere
        // rather than into the speakers.
        EXPECT_TRUE(rig.engine().secondCardSilent()) << mode;
        rig.output().applyCrossfader(0);
        rig.output().deckSelected(1);
        const int64_t from = rig.settle();
        const auto [card1, card2] = rig.finish();
        expectTones(card1,
                    {mode == 2 ? Carry::Deck1 : Carry::Mix, mode == 2 ? Carry::Deck1 : Carry::Mix},
                    from, 440, 1000, "mode " + std::to_string(mode) + " without its second card");
        EXPECT_FALSE(std::filesystem::exists(rig.file("card-2.wav"))) << mode;
    }
}

// Modes 8-10 mix in software like mode 1: what the audience hears is recorded, not what
// the DJ pre-listens to.
TEST_F(OutputModesTest, TheHeadphoneModesMixedInSoftwareRecordTheMixAlone) {
    for (int mode : {8, 9, 10}) {
        ModeRig rig(mode);
        const std::string path = rig.file("recorded.wav");
        rig.output().attachRecorder(std::make_unique<MixRecorder>(path));
        ASSERT_TRUE(rig.output().recording()) << mode;
        rig.output().applyCrossfader(0);
        rig.output().deckSelected(1);
        rig.pass(500);
        rig.finish();
        const test::WavFile recorded = test::readWav(path);
        ASSERT_TRUE(recorded.valid) << mode;
        const auto frames = static_cast<int64_t>(recorded.samples.size() / 2);
        ASSERT_GT(frames, 3 * kWindow) << mode;
        expectTones(recorded, {Carry::Mix, Carry::Mix}, frames - 2 * kWindow, 440, 1000,
                    "recording of mode " + std::to_string(mode));
    }
}

// A preview (3000 Hz) takes the selected deck's place in the headphones and never reaches
// the speakers; once stopped the selected deck is heard there again. Modes 7 and 5 are
// mixed by the card, 10 and 9 in software.
TEST_F(OutputModesTest, APreviewReplacesTheSelectedDeckInThePreListenAlone) {
    for (int mode : {7, 10, 5, 9}) {
        const std::string what = "mode " + std::to_string(mode);
        ModeRig rig(mode);
        rig.output().applyCrossfader(0);
        rig.output().deckSelected(1);
        rig.pass(50);
        auto reader =
            std::make_unique<test::SignalReader>([](int64_t n) { return tone(3000, n); }, 60);
        reader->open("preview.wav");
        PreviewPlayer& preview = rig.decks().preview();
        preview.play(std::move(reader), 44100);
        while (preview.buffered() < PreviewPlayer::kRingFrames / 2) std::this_thread::yield();
        const int64_t during = rig.settle();
        preview.stop();
        const int64_t after = rig.settle();
        const test::WavFile card = rig.finish().first;
        ASSERT_TRUE(card.valid) << what;
        const int speakers = 0;
        const int headphones = card.channels - 1;
        EXPECT_NEAR(amplitudeOf(card, headphones, 3000, during, kWindow), kAmplitude,
                    kAmplitude * 0.03)
            << what;
        EXPECT_LT(amplitudeOf(card, headphones, 1000, during, kWindow), kAmplitude * 0.01) << what;
        EXPECT_NEAR(amplitudeOf(card, speakers, 440, during, kWindow), kAmplitude,
                    kAmplitude * 0.03)
            << what;
        EXPECT_LT(amplitudeOf(card, speakers, 3000, during, kWindow), kAmplitude * 0.01) << what;
        EXPECT_NEAR(amplitudeOf(card, headphones, 1000, after, kWindow), kAmplitude,
                    kAmplitude * 0.03)
            << what;
        EXPECT_LT(amplitudeOf(card, headphones, 3000, after, kWindow), kAmplitude * 0.01) << what;
    }
}

// Two cards on two clocks: a null system for each, behind one system that lists both. Every
// buffer keeps a copy of what was written into it, so that a test can read the frame each
// card is playing.
class TwoClockSystem : public sound::SoundSystem {
public:
    std::shared_ptr<sound::ManualClock> clocks[2] = {std::make_shared<sound::ManualClock>(),
                                                     std::make_shared<sound::ManualClock>()};
    std::unique_ptr<sound::SoundSystem> cards[2] = {sound::createNullSystem(clocks[0]),
                                                    sound::createNullSystem(clocks[1])};
    const sound::DeviceId ids[2] = {sound::deviceIdFor("test", "card 1"),
                                    sound::deviceIdFor("test", "card 2")};

    class Buffer : public sound::SoundBuffer {
    public:
        explicit Buffer(std::unique_ptr<sound::SoundBuffer> inner)
            : inner_(std::move(inner)), copy_(2 * static_cast<size_t>(inner_->frames())) {}
        int32_t frames() const override { return inner_->frames(); }
        bool cursors(int32_t& play, int32_t& write) override {
            return inner_->cursors(play, write);
        }
        bool lock(int32_t offset, int32_t frames, Region& region) override {
            lockedAt_ = offset;
            return inner_->lock(offset, frames, region);
        }
        void unlock(const Region& region) override {
            std::copy_n(region.first, 2 * region.firstFrames, copy_.begin() + 2 * lockedAt_);
            if (region.second != nullptr)
                std::copy_n(region.second, 2 * region.secondFrames, copy_.begin());
            inner_->unlock(region);
        }
        bool setVolume(int32_t v) override { return inner_->setVolume(v); }
        int32_t volume() const override { return inner_->volume(); }
        bool play() override { return inner_->play(); }
        bool stop() override { return inner_->stop(); }
        bool setRoute(sound::ChannelRoute route) override { return inner_->setRoute(route); }
        // The left sample of the frame being played.
        int16_t playing() {
            int32_t play = 0, write = 0;
            inner_->cursors(play, write);
            return copy_[2 * static_cast<size_t>(play)];
        }

    private:
        std::unique_ptr<sound::SoundBuffer> inner_;
        std::vector<int16_t> copy_;
        int32_t lockedAt_ = 0;
    };
    class Device : public sound::SoundDevice {
    public:
        Device(std::unique_ptr<sound::SoundDevice> inner, std::vector<Buffer*>& made)
            : inner_(std::move(inner)), made_(made) {}
        sound::SoundError setPrimaryFormat() override { return inner_->setPrimaryFormat(); }
        int32_t channels() const override { return inner_->channels(); }
        std::unique_ptr<sound::SoundBuffer> createBuffer(int32_t frames,
                                                         sound::SoundError& error) override {
            auto b = inner_->createBuffer(frames, error);
            if (!b) return nullptr;
            auto buffer = std::make_unique<Buffer>(std::move(b));
            made_.push_back(buffer.get());
            return buffer;
        }

    private:
        std::unique_ptr<sound::SoundDevice> inner_;
        std::vector<Buffer*>& made_;
    };

    std::vector<Buffer*> buffers[2];  // made on each card, in order

    const char* backendName() const override { return "two clocks"; }
    std::vector<sound::DeviceInfo> devices() override {
        return {{"Default device", std::nullopt, false, 2},
                {"card 1", ids[0], true, 2},
                {"card 2", ids[1], false, 2}};
    }
    std::unique_ptr<sound::SoundDevice> open(const std::optional<sound::DeviceId>& id,
                                             int32_t channels, bool exclusive,
                                             sound::SoundError& error) override {
        const int card = id == ids[1] ? 1 : 0;
        auto d = cards[card]->open(std::nullopt, channels, exclusive, error);
        return d ? std::make_unique<Device>(std::move(d), buffers[card]) : nullptr;
    }
};

// Deck 1 plays a ramp, so the sample heard tells the frame heard; the mix on card 1 and the
// pre-listen on card 2 both carry it, and card 2's clock runs 0.1 % fast or slow.
TEST_F(TwoCards, TwoClocksApartStayWithinFiveMillisecondsOverTenMinutes) {
    constexpr int64_t kRamp = 30000;
    // The hard mix with the second card fast, the soft mix with it slow.
    for (const auto& [mode, rate] : {std::pair{4, 1001}, {8, 999}}) {
        set(settings().outputMode, mode);
        set(settings().multiInstance, 1);
        TwoClockSystem system;
        settings().soundCardGuid = system.ids[0];
        settings().soundCard2Guid = system.ids[1];
        TrackDatabase database;
        Desk desk;
        DeckPair decks(
            database, desk, desk,
            test::signalReaders([](int64_t n) { return static_cast<int16_t>(n % kRamp); }, 700),
            test::constantReaders(0, 0));
        desk.decks = &decks;
        AudioEngine engine(decks, system, nullptr);
        ASSERT_TRUE(engine.start(AudioEngine::Threading::Manual));
        ASSERT_EQ(engine.secondCardMessage(), nullptr);
        engine.output()->applyCrossfader(0);
        engine.output()->deckSelected(0);

        int64_t first = 0;
        const auto step = [&] {  // 5 ms of the first card; the second takes 0.1 % more
            first += 220;
            system.clocks[0]->advance(220);
            system.clocks[1]->advance(first * rate / 1000 - system.clocks[1]->elapsedFrames());
            engine.runPass();
        };
        std::atomic<bool> done{false};
        std::thread caller([&] {
            TrackEntry entry;
            entry.path = "ramp.wav";
            EXPECT_TRUE(decks[0].loadTrack(entry));
            decks[0].play();
            done = true;
        });
        while (!done) step();
        caller.join();

        TwoClockSystem::Buffer& speakers = *system.buffers[0].at(0);
        TwoClockSystem::Buffer& headphones = *system.buffers[1].at(0);
        int64_t worst = 0;
        int compared = 0;
        for (int i = 0; i < 10 * 60 * 200; ++i) {
            step();
            if (i % 100 != 99) continue;
            const int64_t a = speakers.playing();
            const int64_t b = headphones.playing();
            // Frames near the ramp's wrap tell nothing.
            if (a < 1000 || a > kRamp - 1000) continue;
            worst = std::max(worst, std::abs(b - a));
            ++compared;
        }
        EXPECT_GT(compared, 400) << mode;
        std::cout << "[ drift    ] mode " << mode << ", second card at " << rate / 10.0
                  << " %: " << compared << " comparisons, at most " << worst << " frames ("
                  << worst * 1000.0 / 44100 << " ms) apart\n";
        EXPECT_LE(worst, 220) << "mode " << mode << ": the cards drifted more than 5 ms apart";
        engine.stop();
    }
}

}  // namespace
}  // namespace spinlorex
