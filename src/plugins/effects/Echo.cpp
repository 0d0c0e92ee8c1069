#include <cstdio>
#include <new>

#include "plugins/effects/Effect.h"

namespace spinlorex::effects {
namespace {

constexpr ParamSpec kParams[] = {
    {"time", "Delay in", 0, 1, 0},       {"ms", "Delay (ms)", 1, 2000, 500},
    {"beats", "Delay (beats)", 1, 8, 2}, {"bpm", "Tempo", 600, 2000, 1200},
    {"feedback", "Feedback", 0, 90, 40}, {"mix", "Echo level", 0, 100, 0},
};
constexpr int32_t kLineFrames = Echo::kMaxDelayFrames + 1;
// The echo level glides over 512 frames, so moving its slider does not click.
constexpr int32_t kMixStep = kUnityQ12 / 512;

}  // namespace

Echo::Echo() : line_(new (std::nothrow) int16_t[static_cast<size_t>(kLineFrames) * 2]()) {
    initParams();
}

std::span<const ParamSpec> Echo::params() const { return kParams; }

std::string Echo::valueText(int index, int32_t value) const {
    static const char* const kBeats[] = {"1/4 beat",    "1/2 beat",    "3/4 beat",    "1 beat",
                                         "1 1/4 beats", "1 1/2 beats", "1 3/4 beats", "2 beats"};
    char text[32];
    switch (index) {
        case kTimeMode:
            return value == 0 ? "milliseconds" : "beats";
        case kDelayMs:
            std::snprintf(text, sizeof text, "%d ms", value);
            break;
        case kQuarterBeats:
            return kBeats[std::clamp(value, 1, 8) - 1];
        case kTempo:
            std::snprintf(text, sizeof text, "%d.%d BPM", value / 10, value % 10);
            break;
        default:
            std::snprintf(text, sizeof text, "%d %%", value);
            break;
    }
    return text;
}

int32_t Echo::delayFrames() const {
    int64_t frames = 0;
    if (param(kTimeMode) == 0) {
        frames = (int64_t{param(kDelayMs)} * 441 + 5) / 10;
    } else {
        // A quarter beat is 44100 x 60 / 4 / BPM frames; the tempo is in tenths.
        const int64_t tenths = param(kTempo);
        frames = (int64_t{param(kQuarterBeats)} * 6615000 + tenths / 2) / tenths;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(frames, 1, kMaxDelayFrames));
}

void Echo::process(int16_t* samples, int32_t frames, int32_t channels) {
    if (!line_) return;
    mix_.target = param(kMix) * kUnityQ12 / 100;
    const int64_t feedback = param(kFeedback) * kUnityQ12 / 100;
    const int32_t delay = delayFrames();
    int16_t* line = line_.get();

    for (int32_t f = 0; f < frames; ++f) {
        mix_.advance(kMixStep);
        int32_t read = write_ - delay;
        if (read < 0) read += kLineFrames;
        for (int32_t c = 0; c < channels; ++c) {
            int16_t& sample = samples[f * channels + c];
            const int64_t echo = line[read * 2 + c];
            line[write_ * 2 + c] = saturate16(sample + ((echo * feedback) >> 12));
            sample = saturate16(sample + ((echo * mix_.value) >> 12));
        }
        if (++write_ == kLineFrames) write_ = 0;
    }
}

}  // namespace spinlorex::effects
