#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "plugins/effects/FixedPoint.h"

namespace spinlorex::effects {

// One setting of an effect: an integer slider position. The neutral value leaves the
// sound untouched (where every setting of an effect is neutral, the effect is
// bit-transparent), and is the value a new instance starts with.
struct ParamSpec {
    const char* key;    // in the settings file
    const char* label;  // beside the slider
    int32_t min, max, neutral;
};

// One of the shipped effects. Settings are written by the main thread (the settings
// window, the settings file) and read by the sound thread, through relaxed atomics; the
// sound thread picks them up at the start of each chunk.
class Effect {
public:
    static constexpr int kMaxParams = 8;

    virtual ~Effect() = default;
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    // Names the effect's lines in the settings file ("echo.mix=...").
    virtual const char* key() const = 0;
    virtual const char* title() const = 0;
    virtual std::span<const ParamSpec> params() const = 0;
    // The slider's value as shown beside it ("-6.0 dB", "kill", "1/2 beat").
    virtual std::string valueText(int index, int32_t value) const;

    // Sound thread: processes interleaved 16-bit frames of 1 or 2 channels at 44100 Hz in
    // place. No allocation, no locks.
    virtual void process(int16_t* samples, int32_t frames, int32_t channels) = 0;

    int32_t param(int index) const {
        return values_[static_cast<size_t>(index)].load(std::memory_order_relaxed);
    }
    // Clamped into the setting's range.
    void setParam(int index, int32_t value);
    void resetToNeutral();

protected:
    Effect() = default;
    // Sets every setting to its neutral value; called by each effect's constructor.
    void initParams();

private:
    std::array<std::atomic<int32_t>, kMaxParams> values_{};
};

// Index of the shipped effects, in the order the plug-in lists its modules.
enum class EffectKind { KillEq = 0, FilterSweep = 1, Echo = 2, GainLimiter = 3 };
inline constexpr int kEffectCount = 4;

// A new effect with neutral settings, or null when memory is short. Main thread.
std::unique_ptr<Effect> makeEffect(EffectKind kind);

// ---- The four effects ----

// Three bands split at 250 Hz and 4 kHz (fourth-order crossovers); each band's level can
// be brought down to nothing (a kill). With every band at full level the input passes
// unchanged; level changes glide over about 6 ms.
class KillEq final : public Effect {
public:
    enum { kLow, kMid, kHigh };
    KillEq();
    const char* key() const override { return "killeq"; }
    const char* title() const override { return "Kill EQ"; }
    std::span<const ParamSpec> params() const override;
    std::string valueText(int index, int32_t value) const override;
    void process(int16_t* samples, int32_t frames, int32_t channels) override;

private:
    // The crossover's filters, per channel: 250 Hz split (3), 4 kHz split (3), and the
    // 4 kHz all-pass that keeps the low band in phase with the other two.
    std::array<std::array<SvfState, 7>, 2> state_{};
    SvfCoefficients low_, high_;
    std::array<Ramp, 3> gain_{};  // Q12 band levels
    Ramp engage_;                 // Q12: 0 = the input itself, 4096 = the band sum
};

// A DJ filter: one control sweeps from a closed low-pass (left) through fully open
// (centre, the input unchanged) to a closed high-pass (right), with resonance. The
// cut-off glides to a new position.
class FilterSweep final : public Effect {
public:
    enum { kSweep, kResonance };
    static constexpr int32_t kSweepRange = 1000;
    FilterSweep();
    const char* key() const override { return "filter"; }
    const char* title() const override { return "Filter Sweep"; }
    std::span<const ParamSpec> params() const override;
    std::string valueText(int index, int32_t value) const override;
    void process(int16_t* samples, int32_t frames, int32_t channels) override;
    // The cut-off at a sweep position (the sign picks low-pass or high-pass), in Hz.
    static double cutoffHz(int32_t sweep);

private:
    void updateCoefficients(int32_t resonance);

    std::array<int64_t, kSweepRange + 1> g_{};  // by cut-off step, 20 Hz .. 18 kHz
    std::array<int64_t, 101> k_{};              // by resonance
    std::array<SvfState, 2> state_{};
    SvfCoefficients coefficients_;
    Ramp sweep_;  // the position the filter is at now, gliding to the setting
    int32_t coefficientSweep_ = 0;
    int32_t coefficientResonance_ = -1;  // -1: none computed yet
    Ramp engage_;                        // Q12: 0 = the input itself, 4096 = the filtered signal
};

// A delay with feedback mixed onto the input. The delay is set in milliseconds or in
// beats at a given tempo (the plug-in is not told the deck's tempo); the delay line is
// allocated once, for the longest delay.
class Echo final : public Effect {
public:
    enum { kTimeMode, kDelayMs, kQuarterBeats, kTempo, kFeedback, kMix };
    static constexpr int32_t kMaxDelayFrames = 88200;  // 2 s
    Echo();
    const char* key() const override { return "echo"; }
    const char* title() const override { return "Echo"; }
    std::span<const ParamSpec> params() const override;
    std::string valueText(int index, int32_t value) const override;
    void process(int16_t* samples, int32_t frames, int32_t channels) override;
    // The delay the settings ask for, in frames (1 .. kMaxDelayFrames).
    int32_t delayFrames() const;

private:
    std::unique_ptr<int16_t[]> line_;  // kMaxDelayFrames + 1 stereo frames; null: no memory
    int32_t write_ = 0;
    Ramp mix_;  // Q12
};

// Gain in half-decibel steps followed by a peak limiter that never lets a sample past
// its ceiling (instant attack, about 90 ms release). At 0 dB gain and a 0 dBFS ceiling
// the input passes unchanged.
class GainLimiter final : public Effect {
public:
    enum { kGain, kCeiling };
    GainLimiter();
    const char* key() const override { return "gain"; }
    const char* title() const override { return "Gain / Limiter"; }
    std::span<const ParamSpec> params() const override;
    std::string valueText(int index, int32_t value) const override;
    void process(int16_t* samples, int32_t frames, int32_t channels) override;
    // The largest sample magnitude a ceiling setting lets through.
    static int32_t ceilingLevel(int32_t halfDecibels);

    static constexpr int32_t kGainSteps = 48;     // +-24 dB in half decibels
    static constexpr int32_t kCeilingSteps = 48;  // down to -24 dBFS

private:
    std::array<int64_t, 2 * kGainSteps + 1> gainQ16_{};
    std::array<int64_t, kCeilingSteps + 1> ceiling_{};
    int64_t reduce_ = int64_t{1} << 30;  // Q30 gain reduction, 1.0 = none
};

}  // namespace spinlorex::effects
