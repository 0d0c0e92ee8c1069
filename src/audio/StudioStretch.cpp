#include "audio/StudioStretch.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>

#include "audio/AudioFormat.h"

namespace spinlorex {
namespace {

using RubberBand::RubberBandStretcher;

// The ratios never change while it runs (a change restarts it), so the pitch method that
// keeps a changing shift smooth is not needed: it would double the cost.
constexpr RubberBandStretcher::Options kOptions =
    RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFiner |
    RubberBandStretcher::OptionWindowShort | RubberBandStretcher::OptionThreadingNever;

// Stretched frames a channel holds at most: a chunk the caller takes, the hops that make it
// and the start delay dropped.
constexpr int32_t kHeldFrames = 16384;

}  // namespace

StudioStretch::StudioStretch() {
    for (auto& stretcher : stretchers_) {
        stretcher = std::make_unique<RubberBandStretcher>(44100, 1, kOptions, 1.0, 1.0);
        stretcher->setMaxProcessSize(kFeedFrames);
    }
    in_.assign(kFeedFrames, 0.0f);
    for (auto& held : held_) held.assign(kHeldFrames, 0.0f);
}

StudioStretch::~StudioStretch() = default;

void StudioStretch::restart(int32_t pitch, bool keepKey, int32_t keyShift) {
    const bool restyle = pitch != pitch_ || keepKey != keepKey_ || keyShift != keyShift_;
    pitch_ = pitch;
    keepKey_ = keepKey;
    keyShift_ = keyShift;
    const double speed = static_cast<double>(pitch) / kNormalPitch;
    std::fill(in_.begin(), in_.end(), 0.0f);
    const float* silence[1] = {in_.data()};
    for (size_t c = 0; c < stretchers_.size(); ++c) {
        RubberBandStretcher& stretcher = *stretchers_[c];
        stretcher.reset();
        if (restyle) {
            stretcher.setTimeRatio(1.0 / speed);
            stretcher.setPitchScale((keepKey ? 1.0 : speed) * std::exp2(keyShift / 12.0));
        }
        // The start pad fed as silence lines the first frame fed up with the first frame
        // out, once the start delay is dropped.
        for (auto pad = static_cast<int32_t>(stretcher.getPreferredStartPad()); pad > 0;) {
            const int32_t frames = std::min(pad, kFeedFrames);
            stretcher.process(silence, static_cast<size_t>(frames), false);
            pad -= frames;
        }
        dropFrames_[c] = static_cast<int32_t>(stretcher.getStartDelay());
        heldFrames_[c] = 0;
        fed_[c] = 0;
        drain(c);
    }
}

StudioStretch::Step StudioStretch::nextStep() const {
    const int32_t c = laggingChannel();
    // The channel ahead has already taken these frames: the one behind catches up to it.
    // Otherwise just what the channel's next hop needs.
    const int64_t behind = fed_[static_cast<size_t>(1 - c)] - fed_[static_cast<size_t>(c)];
    const auto needed =
        static_cast<int64_t>(stretchers_[static_cast<size_t>(c)]->getSamplesRequired());
    const int64_t frames = behind > 0 ? behind : std::max<int64_t>(needed, 1);
    return {fed_[static_cast<size_t>(c)],
            static_cast<int32_t>(std::min<int64_t>(frames, kFeedFrames))};
}

void StudioStretch::step(const int16_t* source) {
    const int32_t c = laggingChannel();
    const int32_t frames = nextStep().frames;
    for (int32_t i = 0; i < frames; ++i)
        in_[static_cast<size_t>(i)] = static_cast<float>(source[2 * i + c]) * (1.0f / 32768.0f);
    const float* channel[1] = {in_.data()};
    stretchers_[static_cast<size_t>(c)]->process(channel, static_cast<size_t>(frames), false);
    fed_[static_cast<size_t>(c)] += frames;
    drain(static_cast<size_t>(c));
}

void StudioStretch::drain(size_t c) {
    RubberBandStretcher& stretcher = *stretchers_[c];
    std::vector<float>& held = held_[c];
    for (;;) {
        const int32_t room = kHeldFrames - heldFrames_[c];
        const int32_t frames = std::min(stretcher.available(), room);
        if (frames <= 0) return;
        float* to[1] = {held.data() + heldFrames_[c]};
        const auto got = static_cast<int32_t>(stretcher.retrieve(to, static_cast<size_t>(frames)));
        if (got <= 0) return;
        // The start delay comes out first: it is dropped where it lands.
        const int32_t dropped = std::min(got, dropFrames_[c]);
        dropFrames_[c] -= dropped;
        if (dropped > 0)
            std::copy(held.begin() + heldFrames_[c] + dropped, held.begin() + heldFrames_[c] + got,
                      held.begin() + heldFrames_[c]);
        heldFrames_[c] += got - dropped;
    }
}

void StudioStretch::take(int16_t* out, int32_t frames) {
    const int32_t wanted = std::max(frames, 0);
    frames = std::min(wanted, ready());
    for (size_t c = 0; c < held_.size(); ++c) {
        std::vector<float>& held = held_[c];
        for (int32_t i = 0; i < frames; ++i) {
            const float v = held[static_cast<size_t>(i)] * 32768.0f;
            out[2 * i + static_cast<int32_t>(c)] =
                static_cast<int16_t>(std::lrint(std::clamp(v, -32768.0f, 32767.0f)));
        }
        std::copy(held.begin() + frames, held.begin() + heldFrames_[c], held.begin());
        heldFrames_[c] -= frames;
        drain(c);
    }
    // Whatever the stretchers could not give is silence rather than stale samples.
    std::fill(out + 2 * frames, out + 2 * wanted, int16_t{0});
}

}  // namespace spinlorex
