// The shipped effects' processing, run directly: bit-transparent at neutral settings,
// each does what it says (bands killed, cut-offs, echoes, ceilings) and clips no more
// than its settings ask.

#include "plugins/effects/Effect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "plugins/PluginTestSupport.h"
#include "plugins/effects/EffectSettings.h"
#include "support/Files.h"
#include "tools/synth/Synth.h"

namespace spinlorex::effects {
namespace {

using test::amplitudeAt, test::decibels, test::tones;

constexpr int32_t kChunk = 3088;

// Runs the effect over the frames in the deck's chunk size; returns the result.
std::vector<int16_t> run(Effect& effect, std::vector<int16_t> frames) {
    const auto total = static_cast<int32_t>(frames.size() / 2);
    for (int32_t at = 0; at < total; at += kChunk)
        effect.process(frames.data() + 2 * at, std::min(kChunk, total - at), 2);
    return frames;
}

std::vector<int16_t> track() {
    std::vector<int16_t> frames =
        synth::toPcm16(synth::render({.bpm = 126, .seconds = 6, .gain = 0.9}));
    // Both extremes of the format too.
    frames[1000] = -32768, frames[1001] = 32767, frames[1002] = 32767, frames[1003] = -32768;
    return frames;
}

int32_t peak(const std::vector<int16_t>& frames, size_t from = 0) {
    int32_t p = 0;
    for (size_t i = 2 * from; i < frames.size(); ++i) p = std::max(p, std::abs(int32_t{frames[i]}));
    return p;
}

TEST(EffectsTest, NeutralSettingsAreBitTransparentAlsoAfterASettingCameBack) {
    const std::vector<int16_t> music = track();
    const std::vector<int16_t> second = tones({440}, 12000, 44100);
    // A setting away from neutral for each effect.
    const std::pair<int, int32_t> moved[] = {
        {KillEq::kMid, 0}, {FilterSweep::kSweep, -500}, {Echo::kMix, 80}, {GainLimiter::kGain, 20}};
    for (int kind = 0; kind < kEffectCount; ++kind) {
        SCOPED_TRACE(kind);
        std::unique_ptr<Effect> effect = makeEffect(static_cast<EffectKind>(kind));
        ASSERT_TRUE(effect);
        EXPECT_EQ(run(*effect, music), music);

        effect->setParam(moved[kind].first, moved[kind].second);
        EXPECT_NE(run(*effect, second), second);
        effect->resetToNeutral();
        if (kind == static_cast<int>(EffectKind::Echo)) effect->setParam(Echo::kFeedback, 0);
        run(*effect, std::vector<int16_t>(2 * 88200 * 2));  // glides and echoes die away
        EXPECT_EQ(run(*effect, music), music);
    }
}

TEST(EffectsTest, KillEqRemovesItsBandAndLeavesTheOthers) {
    const std::vector<int16_t> input = tones({80, 1000, 10000}, 8000, 44100);
    const double bands[] = {80, 1000, 10000};
    for (int killed = 0; killed < 3; ++killed) {
        SCOPED_TRACE(killed);
        KillEq eq;
        eq.setParam(killed, 0);
        const std::vector<int16_t> out = run(eq, input);
        for (int b = 0; b < 3; ++b) {
            const double change =
                decibels(amplitudeAt(out, bands[b], 4410) / amplitudeAt(input, bands[b], 4410));
            if (b == killed)
                EXPECT_LT(change, -30.0) << bands[b];
            else
                EXPECT_NEAR(change, 0.0, 0.5) << bands[b];
        }
        EXPECT_LE(peak(out), peak(input) * 11 / 10);
    }
    // Half level is half (-6 dB) on the band's own ground.
    KillEq eq;
    eq.setParam(KillEq::kLow, 50);
    EXPECT_NEAR(decibels(amplitudeAt(run(eq, input), 80, 4410) / amplitudeAt(input, 80, 4410)),
                -6.0, 0.3);
}

TEST(EffectsTest, FilterSweepCutsAboveOrBelowAndItsResonanceSaturatesWithoutWrapping) {
    // The sweep step whose cut-off is nearest 1 kHz.
    int32_t step = 1;
    while (FilterSweep::cutoffHz(step) < 1000) ++step;
    const std::vector<int16_t> input = tones({100, 8000}, 8000, 44100);
    const auto change = [&](const std::vector<int16_t>& out, double hz) {
        return decibels(amplitudeAt(out, hz, 22050) / amplitudeAt(input, hz, 22050));
    };

    FilterSweep lowPass;
    lowPass.setParam(FilterSweep::kSweep, -(FilterSweep::kSweepRange - step));
    const std::vector<int16_t> low = run(lowPass, input);
    EXPECT_NEAR(change(low, 100), 0.0, 0.5);
    EXPECT_LT(change(low, 8000), -30.0);

    FilterSweep highPass;
    highPass.setParam(FilterSweep::kSweep, step);
    const std::vector<int16_t> high = run(highPass, input);
    EXPECT_LT(change(high, 100), -30.0);
    EXPECT_NEAR(change(high, 8000), 0.0, 0.5);

    // Resonance lifts the cut-off frequency by about Q (8, 18 dB) over a flat filter.
    const double at = FilterSweep::cutoffHz(step);
    const std::vector<int16_t> quiet = tones({at}, 2000, 44100);
    FilterSweep flat, resonant;
    for (FilterSweep* f : {&flat, &resonant}) f->setParam(FilterSweep::kSweep, step);
    resonant.setParam(FilterSweep::kResonance, 100);
    EXPECT_GT(decibels(amplitudeAt(run(resonant, quiet), at, 22050) /
                       amplitudeAt(run(flat, quiet), at, 22050)),
              15.0);

    // Loud input at the resonance clips at full scale, never wrapping round (a wrap jumps
    // by about 65536; the clipped 100 Hz wave moves by a few thousand per frame).
    int32_t step100 = 1;
    while (FilterSweep::cutoffHz(step100) < 100) ++step100;
    FilterSweep loudFilter;
    loudFilter.setParam(FilterSweep::kSweep, step100);
    loudFilter.setParam(FilterSweep::kResonance, 100);
    const std::vector<int16_t> loud =
        run(loudFilter, tones({FilterSweep::cutoffHz(step100)}, 20000, 44100));
    EXPECT_GE(peak(loud, 22050), 32767);
    int32_t largestStep = 0;
    for (size_t i = 2 * 22050; i < loud.size(); i += 2)
        largestStep = std::max(largestStep, std::abs(loud[i] - loud[i - 2]));
    EXPECT_LT(largestStep, 8000);
}

TEST(EffectsTest, EchoRepeatsAfterItsDelayInMillisecondsOrBeats) {
    const auto impulse = [](int32_t at, int16_t value, int32_t frames) {
        std::vector<int16_t> v(static_cast<size_t>(frames) * 2);
        v[2 * at] = v[2 * at + 1] = value;
        return v;
    };
    Echo echo;
    echo.setParam(Echo::kDelayMs, 100);
    echo.setParam(Echo::kFeedback, 50);
    echo.setParam(Echo::kMix, 100);
    ASSERT_EQ(echo.delayFrames(), 4410);
    run(echo, std::vector<int16_t>(2 * 1024));  // the level glides up first
    const std::vector<int16_t> out = run(echo, impulse(100, 10000, 20000));
    EXPECT_EQ(out[2 * 100], 10000);
    EXPECT_EQ(out[2 * 4510], 10000);
    EXPECT_EQ(out[2 * 4510 + 1], 10000);
    EXPECT_EQ(out[2 * 8920], 5000);
    EXPECT_EQ(out[2 * 13330], 2500);
    int nonZero = 0;
    for (size_t i = 0; i < out.size(); ++i) nonZero += out[i] != 0;
    EXPECT_EQ(nonZero, 2 * 5);  // the impulse and its four repeats, on both channels

    // Half a beat at 120 BPM is a quarter second; the level sets the repeats' level.
    Echo beats;
    beats.setParam(Echo::kTimeMode, 1);
    beats.setParam(Echo::kQuarterBeats, 2);
    beats.setParam(Echo::kTempo, 1200);
    beats.setParam(Echo::kFeedback, 0);
    beats.setParam(Echo::kMix, 50);
    ASSERT_EQ(beats.delayFrames(), 11025);
    run(beats, std::vector<int16_t>(2 * 1024));
    const std::vector<int16_t> half = run(beats, impulse(0, -20000, 30000));
    EXPECT_EQ(half[2 * 11025], -10000);
    EXPECT_EQ(half[2 * 22050], 0);
    // The longest delay fits the line.
    beats.setParam(Echo::kQuarterBeats, 8);
    beats.setParam(Echo::kTempo, 600);
    EXPECT_EQ(beats.delayFrames(), Echo::kMaxDelayFrames);
}

TEST(EffectsTest, LimiterHoldsItsCeilingAndGainScalesWhatIsBelowIt) {
    GainLimiter limiter;
    limiter.setParam(GainLimiter::kGain, 24);     // +12 dB
    limiter.setParam(GainLimiter::kCeiling, -6);  // -3 dBFS
    const int32_t ceiling = GainLimiter::ceilingLevel(-6);
    EXPECT_EQ(ceiling, 23197);
    const std::vector<int16_t> loud = run(limiter, track());
    EXPECT_LE(peak(loud), ceiling);
    EXPECT_GE(peak(loud), ceiling - 1);

    // A quiet passage after the loud one comes back to the full gain (x 3.98).
    const std::vector<int16_t> quiet = run(limiter, tones({500}, 1000, 44100));
    EXPECT_NEAR(amplitudeAt(quiet, 500, 22050), 3981, 40);

    GainLimiter down;
    down.setParam(GainLimiter::kGain, -12);
    EXPECT_NEAR(amplitudeAt(run(down, tones({500}, 20000, 44100)), 500), 10024, 5);
}

TEST(EffectsTest, SettingsFileKeepsOtherLinesAndTakesOnlyValidValues) {
    test::TempDir dir;
    const std::string file = dir.file("dsp_spinlorex.conf");
    std::ofstream(file)
        << "# mine\nkilleq.low=5\necho.mix=500\necho.ms=abc\necho.feedback=20\nechoes.mix=3\n";
    Echo echo;
    loadEffectSettings(echo, file);
    EXPECT_EQ(echo.param(Echo::kMix), 100);      // clamped
    EXPECT_EQ(echo.param(Echo::kDelayMs), 500);  // not a number: kept
    EXPECT_EQ(echo.param(Echo::kFeedback), 20);

    echo.setParam(Echo::kMix, 30);
    ASSERT_TRUE(saveEffectSettings(echo, file));
    ASSERT_TRUE(saveEffectSettings(echo, file));
    const std::string text = [&] {
        const test::Bytes b = test::readFile(file);
        return std::string(b.begin(), b.end());
    }();
    EXPECT_NE(text.find("# mine\nkilleq.low=5\nechoes.mix=3\n"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 6) << text;
    Echo reloaded;
    loadEffectSettings(reloaded, file);
    EXPECT_EQ(reloaded.param(Echo::kMix), 30);
    EXPECT_EQ(reloaded.param(Echo::kFeedback), 20);

    // A folder that does not exist yet is made.
    EXPECT_TRUE(saveEffectSettings(echo, dir.file("new/dsp_spinlorex.conf")));
}

}  // namespace
}  // namespace spinlorex::effects
