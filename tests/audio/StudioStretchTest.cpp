// Master tempo in quality High and the key shift, as heard from a deck: a tone's frequency
// and purity at several pitches and shifts, clicks heard where the deck says it is (the
// stretcher's delay compensated, across a restart), a switch while playing without a
// click, and no allocation in a pass.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <utility>

#include "platform/settings/Settings.h"
#include "support/AllocationCount.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/ToneFit.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::DeckHarness;

class StudioStretchDeck : public ::testing::Test {
protected:
    void SetUp() override {
        settings().resetToDefaults();
        set(settings().masterTempoQuality, 1);
    }
    void TearDown() override { settings().resetToDefaults(); }

    // Deck 1 plays `file` from its start at `pitch` shifted by `keyShift`, with master tempo
    // on or off, until `seconds` are captured; `everyPass` runs after each pass.
    template <typename EveryPass>
    static std::vector<int16_t> render(DeckHarness& h, const std::string& file, int32_t pitch,
                                       int32_t keyShift, double seconds, EveryPass everyPass) {
        h.decks().setOptions(DeckOptions::fromSettings(settings()));
        h.call([&] {
            ASSERT_TRUE(h.load(0, file));
            h.deck(0).setPitch(pitch);
            h.deck(0).setKeyShift(keyShift);
            h.deck(0).seekAndPlay(0.0f);
        });
        const auto frames = static_cast<size_t>(44100 * seconds);
        while (h.capturedFrames(0) < frames) {
            h.runPasses(1);
            everyPass();
        }
        std::vector<int16_t> out = h.takeCaptured(0);
        out.resize(2 * frames);
        return out;
    }
    static std::vector<int16_t> render(const std::string& file, int32_t pitch, int32_t keyShift,
                                       double seconds) {
        DeckHarness h(DeckHarness::RealReaders{});
        return render(h, file, pitch, keyShift, seconds, [] {});
    }
    // The largest step from one sample to the next of the same channel.
    static int largestStep(const std::vector<int16_t>& frames, size_t from, size_t to) {
        int largest = 0;
        for (size_t i = 2 * from + 2; i < 2 * to; ++i)
            largest = std::max(largest, std::abs(frames[i] - frames[i - 2]));
        return largest;
    }
};

TEST_F(StudioStretchDeck, AToneKeepsOrShiftsItsKeyCleanlyAtEveryPitch) {
    test::TempDir dir;
    const std::string file = dir.file("tone.wav");
    ASSERT_TRUE(synth::writeWav(file, synth::tone(1000.0, 8.0, 44100, 2, 0.5), 44100, 2, 16));
    struct Case {
        int32_t pitch;
        int32_t keyShift;
        int masterTempo;
        int quality;
        double hz;
        double restDb;  // at most
    };
    const double semitone = std::exp2(1.0 / 12.0);
    for (const Case c : {
             Case{4424, 0, 1, 1, 1000.0, -55.0},
             Case{3961, 0, 1, 1, 1000.0, -55.0},
             Case{4096, 1, 1, 1, 1000.0 * semitone, -55.0},
             Case{4424, -3, 1, 1, 1000.0 / (semitone * semitone * semitone), -50.0},
             // A shifted deck is stretched by High's stretcher whatever the quality, and
             // without master tempo its key follows the speed on top of the shift.
             Case{4096, 6, 1, 0, 1000.0 * std::sqrt(2.0), -50.0},
             Case{4424, 1, 0, 0, 1000.0 * 4424 / 4096 * semitone, -50.0},
             // Standard at +8 %, for comparison: the same frequency, a rest well above.
             Case{4424, 0, 1, 0, 1000.0, -25.0},
         }) {
        SCOPED_TRACE(::testing::Message() << c.pitch << " " << c.keyShift << " mt " << c.masterTempo
                                          << " q " << c.quality);
        set(settings().masterTempo, c.masterTempo);
        set(settings().masterTempoQuality, c.quality);
        const std::vector<int16_t> out = render(file, c.pitch, c.keyShift, 4.0);
        for (int channel : {0, 1}) {
            const test::ToneFit fit =
                test::fitTone(test::channelOf(&out[2 * 44100], 2 * 44100, channel));
            EXPECT_NEAR(fit.hz(), c.hz, c.hz * 0.001);
            EXPECT_LE(fit.restDb, c.restDb);
            EXPECT_NEAR(fit.amplitude, 0.5 * 32767, 0.1 * 32767);
        }
    }
}

// Short bursts of 3 kHz every quarter second: their centres are heard where the deck says
// it is, before and after a restart (a pitch change) and with a key shift.
TEST_F(StudioStretchDeck, ClicksAreHeardWhereTheDeckSaysItIs) {
    test::TempDir dir;
    const std::string file = dir.file("clicks.wav");
    constexpr int32_t kEvery = 11025;
    constexpr int32_t kBurst = 40;
    std::vector<float> clicks(static_cast<size_t>(2 * 44100 * 20), 0.0f);
    for (size_t n = 0; n < clicks.size() / 2; ++n) {
        if (n % kEvery < kBurst) {
            const auto v =
                static_cast<float>(0.8 * std::sin(2.0 * std::numbers::pi * 3000.0 * n / 44100.0));
            clicks[2 * n] = clicks[2 * n + 1] = v;
        }
    }
    ASSERT_TRUE(synth::writeWav(file, clicks, 44100, 2, 16));

    for (const int32_t keyShift : {0, 2}) {
        SCOPED_TRACE(keyShift);
        DeckHarness h(DeckHarness::RealReaders{});
        // After every pass: the source frame heard where the frames captured before it end
        // (a pass hears what it copied the pass before).
        std::vector<std::pair<double, double>> heard;
        double capturedBefore = 0;
        double changedAt = 1e18;
        const std::vector<int16_t> out = render(h, file, 4424, keyShift, 12.0, [&] {
            heard.emplace_back(capturedBefore,
                               h.deck(0).position() * static_cast<double>(h.deck(0).trackFrames()));
            if (changedAt > 1e17 && h.capturedFrames(0) > 44100 / 4) {
                // What is captured from here on renders at the new pitch.
                changedAt = static_cast<double>(h.capturedFrames(0));
                h.call([&] { h.deck(0).setPitch(3961); });
            }
            capturedBefore = static_cast<double>(h.capturedFrames(0));
        });
        // Which source frame the deck said it played at output frame `o`.
        const auto sourceAt = [&](double o) {
            auto it = std::upper_bound(heard.begin(), heard.end(), std::make_pair(o, 1e18));
            if (it == heard.begin()) return -1.0;
            const auto [at, frame] = *std::prev(it);
            const double before = std::clamp(changedAt - at, 0.0, o - at);
            return frame + (before * 4424 + (o - at - before) * 3961) / 4096.0;
        };
        int found = 0;
        for (size_t from = 4410; from + 4410 < out.size() / 2; from += 4410) {
            // The centre of each burst's energy within windows of a tenth of a second.
            double sum = 0, moment = 0;
            for (size_t i = from; i < from + 4410; ++i) {
                const double e = std::pow(out[2 * i], 2.0);
                sum += e;
                moment += e * static_cast<double>(i);
            }
            if (sum < 1e9) continue;
            const double centre = moment / sum;
            if (centre < from + 300.0 || centre > from + 4110.0) continue;  // cut by the window
            const double source = sourceAt(centre);
            const double burst =
                std::round((source - kBurst / 2.0) / kEvery) * kEvery + kBurst / 2.0;
            // Within a millisecond, as the beat sync needs; two with the key shifted.
            EXPECT_NEAR(source, burst, keyShift == 0 ? 44.0 : 88.0) << "at output frame " << centre;
            ++found;
        }
        EXPECT_GT(found, 30);
    }
}

TEST_F(StudioStretchDeck, SwitchingQualityWhilePlayingFadesWithoutAClickAndAllocatesNothing) {
    test::TempDir dir;
    const std::string file = dir.file("tone.wav");
    const std::vector<float> tone = synth::tone(441.0, 20.0, 44100, 2, 0.5);
    ASSERT_TRUE(synth::writeWav(file, tone, 44100, 2, 16));
    const int ownStep = largestStep(synth::toPcm16(tone), 0, 44100);

    DeckHarness h(DeckHarness::RealReaders{});
    h.reserveCapture(44100 * 11);
    int passes = 0;
    int64_t mallocs = 0;
    // Counted on this thread only (Rubber Band allocates through malloc and posix_memalign,
    // not only through operator new): the passes, the restarts they serve included.
    const auto counting = [&](auto run) { mallocs += test::allocationsIn(run); };
    const std::vector<int16_t> out = render(h, file, 4424, 0, 10.0, [&] {
        ++passes;
        if (passes % 20 == 0) {
            // Standard and High by turns, as the options panel's line hands them over.
            set(settings().masterTempoQuality, (passes / 20) % 2);
            h.decks().setOptions(DeckOptions::fromSettings(settings()));
            // The harness's own allocations for a call (its caller thread) are taken off.
            counting([&] { h.call([&] { h.deck(0).refresh(); }); });
            const int64_t withRestart = std::exchange(mallocs, 0);
            counting([&] { h.call([] {}); });
            mallocs = withRestart - mallocs;
        } else {
            counting([&] { h.runPasses(1); });
        }
    });
    EXPECT_EQ(mallocs, 0);
    // Past the first fade in from silence: every switch crossfades.
    EXPECT_LE(largestStep(out, 1024, out.size() / 2), ownStep + 30);
}

}  // namespace
}  // namespace spinlorex
