#pragma once

// Paths of the plug-ins built for the tests, an environment variable set for one test,
// and test signals.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace spinlorex::test {

inline const std::string kNotAPlugin = SPINLOREX_TEST_PLUGIN_not_a_plugin;
inline const std::string kCounterPlugin = SPINLOREX_TEST_PLUGIN_counter;  // modules Counter, Greedy
inline const std::string kRecorderPlugin = SPINLOREX_TEST_PLUGIN_recorder;
inline const std::string kEffectsPlugin = SPINLOREX_EFFECTS_PLUGIN;

// The log the recorder plug-in writes into (see fixtures/recorder.c).
struct CallLog {
    int init = 0, process = 0, quit = 0, config = 0, processAfterQuit = 0, parentSeen = 0;
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Stereo frames of a sum of sines (the same on both channels).
inline std::vector<int16_t> tones(std::initializer_list<double> hz, double amplitude,
                                  int32_t frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    for (int32_t i = 0; i < frames; ++i) {
        double v = 0;
        for (double f : hz) v += amplitude * std::sin(2 * std::numbers::pi * f * i / 44100.0);
        out[2 * i] = out[2 * i + 1] = static_cast<int16_t>(std::lround(v));
    }
    return out;
}

// Amplitude of the `hz` component of the left channel from frame `from` on (Goertzel).
inline double amplitudeAt(const std::vector<int16_t>& frames, double hz, size_t from = 0) {
    const size_t n = frames.size() / 2 - from;
    const double w = 2 * std::numbers::pi * hz / 44100.0, coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < n; ++i) {
        const double s = frames[2 * (from + i)] + coeff * s1 - s2;
        s2 = s1, s1 = s;
    }
    return 2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - coeff * s1 * s2)) /
           static_cast<double>(n);
}

inline double decibels(double ratio) { return 20 * std::log10(ratio); }

}  // namespace spinlorex::test
