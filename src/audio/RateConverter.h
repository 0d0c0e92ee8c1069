#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/FrameSource.h"
#include "audio/RateConversion.h"

struct soxr;

namespace spinlorex {

// Converts a FrameSource from its own rate to the engine's 44100 Hz through libsoxr at its
// high quality (linear phase, 20-bit precision). The output keeps an exact timeline: its
// frame n lies at source time n x rate / 44100 from the last restart's reference, so
// positions stay exact whatever the rate.
//
// The resampler is created and run through its largest working sizes when the track is
// opened, so that reading and restarting later never allocate. It is never cleared (that
// would allocate); a restart instead feeds the new stretch with enough of the music before
// it that nothing of the old one reaches the frames delivered.
//
// open/close: loading thread. read/restartAt: sound thread; bounded work, no allocation,
// no lock, no log.
class RateConverter final : public RateConversion {
public:
    RateConverter();
    ~RateConverter() override;
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // RateConversion (open is false when libsoxr refuses the rate).
    bool open(FrameSource& source, int32_t rate) override;
    void close() override;
    bool read(float* dest, int32_t frames) override;
    bool restartAt(int64_t frame) override;
    int64_t sourceEnd() const override { return sourceEnd_; }

private:
    struct SoxrDeleter {
        void operator()(soxr* s) const;
    };
    static size_t supply(void* state, const void** data, size_t requested);
    bool output(float* dest, size_t frames);

    std::unique_ptr<soxr, SoxrDeleter> soxr_;
    FrameSource* source_ = nullptr;
    int32_t rate_ = 0;
    int64_t ratioIn_ = 1;       // rate / gcd(rate, 44100)
    int64_t ratioOut_ = 1;      // 44100 / gcd(rate, 44100)
    int64_t preRoll_ = 0;       // source frames fed ahead of a restart's first kept frame
    int64_t fed_ = 0;           // frames ever given to the resampler
    int64_t taken_ = 0;         // frames ever taken from it
    int64_t nextSource_ = 0;    // source frame the next read gives
    int64_t leadingZeros_ = 0;  // silence to feed before the source (a restart near frame 0)
    int64_t sourceEnd_ = -1;
    bool failed_ = false;
    std::unique_ptr<float[]> input_;
    std::unique_ptr<float[]> discard_;
};

}  // namespace spinlorex
