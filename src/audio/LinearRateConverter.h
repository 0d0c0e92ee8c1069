#pragma once

#include <cstdint>
#include <memory>

#include "audio/FrameSource.h"
#include "audio/RateConversion.h"

namespace spinlorex {

// Converts a FrameSource from its own rate to the engine's 44100 Hz by straight-line
// interpolation between neighbouring source frames: no low-pass filter, so content above
// 22 kHz folds back and the top octave loses a little level. That is useless for listening
// and harmless for measuring: the beat analyser reads only the bass, which comes through
// unchanged, at a small fraction of a listening-quality resampler's cost.
//
// The timeline is exact, as RateConverter's: output frame n lies at source time
// n x rate / 44100, so a restart at frame n gives the same frames as reading through.
// The pattern of source frames and fractions repeats every 44100 / gcd(rate, 44100) output
// frames (147 for 48 kHz, 441 at most for the common rates) and is tabled when opened.
//
// open/close: loading thread. read/restartAt: sound thread or a measuring thread; no
// allocation, no lock, no log.
class LinearRateConverter final : public RateConversion {
public:
    LinearRateConverter();
    ~LinearRateConverter() override;
    LinearRateConverter(const LinearRateConverter&) = delete;
    LinearRateConverter& operator=(const LinearRateConverter&) = delete;

    // RateConversion (open is false when the rate is not positive).
    bool open(FrameSource& source, int32_t rate) override;
    void close() override;
    bool read(float* dest, int32_t frames) override;
    bool restartAt(int64_t frame) override;
    int64_t sourceEnd() const override { return sourceEnd_; }

private:
    // Makes source frames left and left + 1 present in the buffer.
    void fill(int64_t left);

    FrameSource* source_ = nullptr;
    int64_t ratioIn_ = 1;   // rate / gcd(rate, 44100)
    int64_t ratioOut_ = 1;  // 44100 / gcd(rate, 44100)
    // For output frame j of a period of ratioOut_ frames: the source frame left of it,
    // counted from the period's start, and its distance from that frame (0..1).
    std::unique_ptr<int64_t[]> offsets_;
    std::unique_ptr<float[]> weights_;
    int64_t periodStart_ = 0;  // source frame where the next output frame's period starts
    int64_t inPeriod_ = 0;     // the next output frame within its period
    int64_t bufferStart_ = 0;  // source frame of buffer_[0]
    int32_t buffered_ = 0;     // frames in buffer_
    int64_t sourceEnd_ = -1;
    bool failed_ = false;
    std::unique_ptr<float[]> buffer_;
};

}  // namespace spinlorex
