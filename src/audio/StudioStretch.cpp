#include "audio/StudioStretch.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>

#include "audio/AudioFormat.h"

namespace spinlorex {
namespace {

using RubberBand::RubberBandStretcher;

// The ratios never change while it runs (a change restarts it), so the pitch method that
// keeps a changing shift smooth is not needed: it would double the cost; channels handled
// together cost 40 % more for no gain a tone can measure.
constexpr RubberBandStretcher::Options kOptions =
    RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFiner |
    RubberBandStretcher::OptionWindowShort | RubberBandStretcher::OptionThreadingNever;

// Frames taken out in one go: the size of the float buffers on the way out.
constexpr int32_t kTakeFrames = 1024;

}  // namespace

StudioStretch::StudioStretch()
    : stretcher_(std::make_unique<RubberBandStretcher>(44100, 2, kOptions, 1.0, 1.0)) {
    stretcher_->setMaxProcessSize(kFeedFrames);
    for (auto& channel : in_) channel.assign(kFeedFrames, 0.0f);
    for (auto& channel : out_) channel.assign(kTakeFrames, 0.0f);
}

StudioStretch::~StudioStretch() = default;

void StudioStretch::restart(int32_t pitch, bool keepKey, int32_t keyShift) {
    stretcher_->reset();
    if (pitch != pitch_ || keepKey != keepKey_ || keyShift != keyShift_) {
        pitch_ = pitch;
        keepKey_ = keepKey;
        keyShift_ = keyShift;
        const double speed = static_cast<double>(pitch) / kNormalPitch;
        stretcher_->setTimeRatio(1.0 / speed);
        stretcher_->setPitchScale((keepKey ? 1.0 : speed) * std::exp2(keyShift / 12.0));
    }
    // The start pad fed as silence lines the first frame fed up with the first frame out,
    // once the start delay is dropped.
    std::fill(in_[0].begin(), in_[0].end(), 0.0f);
    std::fill(in_[1].begin(), in_[1].end(), 0.0f);
    const float* silence[2] = {in_[0].data(), in_[1].data()};
    for (auto pad = static_cast<int32_t>(stretcher_->getPreferredStartPad()); pad > 0;) {
        const int32_t frames = std::min(pad, kFeedFrames);
        stretcher_->process(silence, static_cast<size_t>(frames), false);
        pad -= frames;
    }
    dropFrames_ = static_cast<int32_t>(stretcher_->getStartDelay());
}

int32_t StudioStretch::ready() const { return std::max(0, stretcher_->available() - dropFrames_); }

void StudioStretch::feed(const int16_t* source, int32_t frames) {
    frames = std::clamp(frames, 0, kFeedFrames);
    for (int32_t i = 0; i < frames; ++i) {
        in_[0][static_cast<size_t>(i)] = static_cast<float>(source[2 * i]) * (1.0f / 32768.0f);
        in_[1][static_cast<size_t>(i)] = static_cast<float>(source[2 * i + 1]) * (1.0f / 32768.0f);
    }
    const float* channels[2] = {in_[0].data(), in_[1].data()};
    stretcher_->process(channels, static_cast<size_t>(frames), false);
}

void StudioStretch::take(int16_t* out, int32_t frames) {
    float* channels[2] = {out_[0].data(), out_[1].data()};
    while (dropFrames_ > 0 && stretcher_->available() > 0) {
        const auto dropped = static_cast<int32_t>(stretcher_->retrieve(
            channels, static_cast<size_t>(std::min(dropFrames_, kTakeFrames))));
        if (dropped == 0) break;
        dropFrames_ -= dropped;
    }
    while (frames > 0) {
        const auto got = static_cast<int32_t>(
            stretcher_->retrieve(channels, static_cast<size_t>(std::min(frames, kTakeFrames))));
        if (got == 0) break;
        for (int32_t i = 0; i < got; ++i) {
            for (int c = 0; c < 2; ++c) {
                const float v = out_[static_cast<size_t>(c)][static_cast<size_t>(i)] * 32768.0f;
                out[2 * i + c] =
                    static_cast<int16_t>(std::lrint(std::clamp(v, -32768.0f, 32767.0f)));
            }
        }
        out += 2 * got;
        frames -= got;
    }
    // Whatever the stretcher could not give is silence rather than stale samples.
    std::fill(out, out + 2 * std::max(frames, 0), int16_t{0});
}

}  // namespace spinlorex
