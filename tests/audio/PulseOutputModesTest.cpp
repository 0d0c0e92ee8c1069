// The output modes through the real sound path: the engine on PortAudio, ALSA's pulse
// plug-in and a PulseAudio daemon of the test's own, whose null sinks stand for a
// four-channel card and for two stereo cards (ALSA devices of their own, defined in the
// daemon's home). Deck 1 plays 440 Hz, deck 2 1000 Hz; parec records each sink.

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <optional>

#include "audio/AudioEngine.h"
#include "audio/DeckPair.h"
#include "library/TrackDatabase.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "platform/sound/PulseSupport.h"
#include "platform/sound/SoundTestSupport.h"
#include "support/ConstantReader.h"
#include "support/ToneFit.h"

namespace spinlorex::test {
namespace {

constexpr const char* kFourChannels = "front-left,front-right,rear-left,rear-right";

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

int16_t tone(double hz, int64_t frame) {
    return static_cast<int16_t>(
        std::lround(8000 * std::sin(2 * std::numbers::pi * hz * frame / 44100)));
}

// The daemon with a four-channel sink "quad" and two stereo sinks "card_a" and "card_b",
// each reachable as an ALSA device of the same name.
class PulseOutputs : public ::testing::Test {
protected:
    void SetUp() override {
        settings().resetToDefaults();
        set(settings().autoBpm, 0);
        set(settings().multiInstance, 1);
        clearFatalError();
        alarm(120);  // whatever hangs, the process ends (and the kernel ends its children)
        std::ofstream(dir_.file(".asoundrc")) << "pcm.quad { type pulse; device \"quad\" }\n"
                                                 "pcm.card_a { type pulse; device \"card_a\" }\n"
                                                 "pcm.card_b { type pulse; device \"card_b\" }\n";
        std::string why;
        server_ = startPulse(
            dir_, socket_,
            {"sink_name=quad rate=44100 channels=4 channel_map=" + std::string(kFourChannels),
             "sink_name=card_a rate=44100 channels=2", "sink_name=card_b rate=44100 channels=2"},
            why);
        if (!server_) GTEST_SKIP() << "PulseAudio cannot start here: " << why;
        home_.emplace("HOME", dir_.path().string());  // where ALSA finds the devices above
        pulse_.emplace("PULSE_SERVER", "unix:" + socket_);
        system_ = sound::createPortAudioSystem();
        for (const sound::DeviceInfo& device : system_->devices())
            for (const char* name : {"quad", "card_a", "card_b"})
                if (device.description == std::string("ALSA: ") + name) ids_[name] = *device.id;
        if (ids_.size() < 3)
            GTEST_SKIP() << "ALSA's pulse plug-in does not offer the test's devices";
    }
    void TearDown() override {
        alarm(0);
        settings().resetToDefaults();
        clearFatalError();
    }

    // Plays both decks for a second and a half in `mode` (crossfader on deck 1, deck 2
    // selected) while parec records each sink; returns what each recorded.
    std::vector<std::vector<int16_t>> play(int mode,
                                           const std::vector<std::pair<std::string, int>>& sinks) {
        set(settings().outputMode, mode);
        settings().soundCardGuid = ids_.at(sinks[0].first);
        if (sinks.size() > 1) settings().soundCard2Guid = ids_.at(sinks[1].first);
        // A file per mode: an earlier recording must not pass for this one.
        const auto rawFile = [&](const std::string& sink) {
            return dir_.file(sink + std::to_string(mode) + ".raw");
        };
        std::vector<std::unique_ptr<Child>> recorders;
        for (const auto& [sink, channels] : sinks)
            recorders.push_back(std::make_unique<Child>(
                std::vector<std::string>{
                    "parec", "--device=" + sink + ".monitor", "--raw", "--format=s16le",
                    "--rate=44100", "--channels=" + std::to_string(channels),
                    "--channel-map=" +
                        std::string(channels == 4 ? kFourChannels : "front-left,front-right"),
                    "--latency-msec=20"},
                std::vector<std::string>{"PULSE_SERVER=unix:" + socket_}, rawFile(sink),
                dir_.file("parec.log")));
        // Each recorder has started: its file grows.
        for (const auto& [sink, channels] : sinks)
            EXPECT_TRUE(waitFor(
                [&, name = sink] {
                    std::error_code ec;
                    return std::filesystem::file_size(rawFile(name), ec) > 0 && !ec;
                },
                std::chrono::seconds(5)))
                << "parec records nothing from " << sink;
        {
            TrackDatabase database;
            Desk desk;
            DeckPair decks(database, desk, desk,
                           signalReaders([](int64_t n) { return tone(440, n); }, 60),
                           signalReaders([](int64_t n) { return tone(1000, n); }, 60));
            desk.decks = &decks;
            AudioEngine engine(decks, *system_, nullptr);
            EXPECT_TRUE(engine.start()) << mode;
            EXPECT_EQ(engine.secondCardMessage(), nullptr) << mode;
            if (engine.running()) {
                engine.output()->applyCrossfader(0);
                engine.output()->deckSelected(1);
                for (int d = 0; d < 2; ++d) {
                    TrackEntry entry;
                    entry.path = "tone.wav";
                    EXPECT_TRUE(decks[d].loadTrack(entry));
                    decks[d].play();
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            }
            engine.stop();
        }
        std::vector<std::vector<int16_t>> recorded;
        for (size_t i = 0; i < sinks.size(); ++i) {
            recorders[i]->stop(SIGINT);
            const Bytes raw = readFile(rawFile(sinks[i].first));
            std::vector<int16_t> samples(raw.size() / 2);
            for (size_t k = 0; k < samples.size(); ++k)
                samples[k] = static_cast<int16_t>(raw[2 * k] | raw[2 * k + 1] << 8);
            recorded.push_back(std::move(samples));
        }
        return recorded;
    }

    // In the loudest tenth of a second of the recording, channel c carries want[c] and not
    // the other tone.
    static void expectTones(const std::vector<int16_t>& samples, const std::vector<double>& want,
                            const std::string& what) {
        const int channels = static_cast<int>(want.size());
        const auto frames = static_cast<int64_t>(samples.size()) / channels;
        ASSERT_GT(frames, 8820) << what << ": the sink recorded next to nothing (" << frames
                                << " frames)";
        int64_t loudest = 0;
        double most = -1;
        for (int64_t from = 0; from + 4410 <= frames; from += 2205) {
            double energy = 0;
            for (int64_t i = from * channels; i < (from + 4410) * channels; ++i)
                energy += static_cast<double>(samples[static_cast<size_t>(i)]) *
                          samples[static_cast<size_t>(i)];
            if (energy > most) most = energy, loudest = from;
        }
        for (int c = 0; c < channels; ++c) {
            const double other = want[static_cast<size_t>(c)] == 440 ? 1000 : 440;
            EXPECT_GT(
                toneAmplitude(samples, channels, c, want[static_cast<size_t>(c)], loudest, 4410),
                4000)
                << what << ", channel " << c + 1;
            EXPECT_LT(toneAmplitude(samples, channels, c, other, loudest, 4410), 400)
                << what << ", channel " << c + 1;
        }
    }

    TempDir dir_;
    std::string socket_ = dir_.file("native");
    std::unique_ptr<Child> server_;
    std::optional<ScopedEnv> home_, pulse_;
    std::unique_ptr<sound::SoundSystem> system_;
    std::map<std::string, sound::DeviceId> ids_;
};

using FourChannelCardThroughPulseAudio = PulseOutputs;
using TwoCardsThroughPulseAudio = PulseOutputs;

TEST_F(FourChannelCardThroughPulseAudio, DecksOrMixAndPreListenLeaveOnTheirChannels) {
    expectTones(play(3, {{"quad", 4}})[0], {440, 440, 1000, 1000}, "mode 3");
    expectTones(play(9, {{"quad", 4}})[0], {440, 440, 1000, 1000}, "mode 9");
}

TEST_F(TwoCardsThroughPulseAudio, EachCardTakesItsDeckOrTheMixOrThePreListen) {
    for (int mode : {2, 4, 8}) {
        const auto recorded = play(mode, {{"card_a", 2}, {"card_b", 2}});
        expectTones(recorded[0], {440, 440}, "mode " + std::to_string(mode) + ", card 1");
        expectTones(recorded[1], {1000, 1000}, "mode " + std::to_string(mode) + ", card 2");
    }
}

}  // namespace
}  // namespace spinlorex::test
