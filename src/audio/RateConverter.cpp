#include "audio/RateConverter.h"

#include <soxr.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "audio/AudioFormat.h"

namespace spinlorex {
namespace {

constexpr int32_t kChunkFrames = FrameSource::kMaxReadFrames;
// Output frames taken per call while discarding the run-in of a restart.
constexpr int32_t kDiscardFrames = 1024;
// The longest output request the sound thread makes: one block. The warm-up asks for
// several times that at once, so every buffer inside the resampler already has its
// working size.
constexpr size_t kWarmUpFrames = 8 * kBlockFrames;
constexpr int kWarmUpCalls = 6;
// A restart aligns its first frame exactly on the source grid when the grid repeats within
// this many output frames (every common rate: 441 at most); other rates land within half
// a source frame.
constexpr int64_t kMaxAlignment = 441;

// Floor division for a positive divisor.
int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

void RateConverter::SoxrDeleter::operator()(soxr* s) const { soxr_delete(s); }

RateConverter::RateConverter() = default;
RateConverter::~RateConverter() = default;

void RateConverter::close() {
    soxr_.reset();
    source_ = nullptr;
    rate_ = 0;
    input_.reset();
    discard_.reset();
}

bool RateConverter::open(FrameSource& source, int32_t rate) {
    close();
    if (rate <= 0) return false;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_LINEAR_PHASE);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    soxr_.reset(soxr_create(rate, kSampleRate, 2, &error, &io, &quality, &runtime));
    if (!soxr_ || error != nullptr ||
        soxr_set_input_fn(soxr_.get(), &RateConverter::supply, this, kChunkFrames) != nullptr) {
        close();
        return false;
    }
    rate_ = rate;
    const int64_t g = std::gcd(int64_t{rate}, int64_t{kSampleRate});
    ratioIn_ = rate / g;
    ratioOut_ = kSampleRate / g;
    // The filters reach about 2 ms (about 400 frames at 192 kHz) to either side of a frame;
    // this is several times that.
    preRoll_ = 1024 + rate / 200;
    input_ = std::make_unique<float[]>(static_cast<size_t>(kChunkFrames) * 2);
    discard_ = std::make_unique<float[]>(static_cast<size_t>(kDiscardFrames) * 2);
    fed_ = taken_ = 0;

    // Silence through the largest requests, while no source is attached.
    std::vector<float> warm(kWarmUpFrames * 2);
    for (int i = 0; i < kWarmUpCalls; ++i) {
        if (!output(warm.data(), kWarmUpFrames)) {
            close();
            return false;
        }
    }
    source_ = &source;
    if (!restartAt(0)) {
        close();
        return false;
    }
    return true;
}

size_t RateConverter::supply(void* state, const void** data, size_t requested) {
    auto* self = static_cast<RateConverter*>(state);
    float* buf = self->input_.get();
    *data = buf;
    auto n = static_cast<int32_t>(std::min<size_t>(requested, kChunkFrames));
    if (n <= 0) n = 1;
    if (self->source_ != nullptr && self->leadingZeros_ == 0 && self->sourceEnd_ < 0 &&
        !self->failed_) {
        const int32_t got = self->source_->readFrames(buf, n);
        if (got > 0) {
            self->nextSource_ += got;
            self->fed_ += got;
            return static_cast<size_t>(got);
        }
        if (got == 0) self->sourceEnd_ = self->nextSource_;
        if (got < 0) self->failed_ = true;
    }
    // Silence: before the first source frame, after the last, and in place of data in error
    // (libsoxr is never told of an end or an error: either would need a clear to undo).
    if (self->leadingZeros_ > 0)
        n = static_cast<int32_t>(std::min<int64_t>(n, self->leadingZeros_));
    self->leadingZeros_ -= std::min<int64_t>(n, self->leadingZeros_);
    std::memset(buf, 0, static_cast<size_t>(n) * 2 * sizeof(float));
    self->fed_ += n;
    return static_cast<size_t>(n);
}

bool RateConverter::output(float* dest, size_t frames) {
    size_t done = 0;
    while (done < frames) {
        const size_t got = soxr_output(soxr_.get(), dest + 2 * done, frames - done);
        if (got == 0) {
            // Only a failing resampler stops short; what is missing is silence.
            std::memset(dest + 2 * done, 0, (frames - done) * 2 * sizeof(float));
            taken_ += static_cast<int64_t>(frames);
            return false;
        }
        done += got;
    }
    taken_ += static_cast<int64_t>(frames);
    return true;
}

bool RateConverter::read(float* dest, int32_t frames) {
    if (!soxr_) return false;
    return output(dest, static_cast<size_t>(frames)) && !failed_;
}

bool RateConverter::restartAt(int64_t frame) {
    if (!soxr_ || source_ == nullptr) return false;
    // Output frame m lies at input time m x in / out of everything ever fed. The first
    // frame kept, m0, must lie preRoll frames past all input fed so far, so that only the
    // new stretch reaches it; the source frame fed next, s, is then the one whose time
    // maps frame `frame` onto m0.
    int64_t first = std::max(taken_, ((fed_ + preRoll_) * ratioOut_ + ratioIn_ - 1) / ratioIn_);
    if (ratioOut_ <= kMaxAlignment) first += ((frame - first) % ratioOut_ + ratioOut_) % ratioOut_;
    const int64_t start = fed_ - floorDiv((first - frame) * ratioIn_ + ratioOut_ / 2, ratioOut_);

    failed_ = false;
    sourceEnd_ = -1;
    leadingZeros_ = std::max<int64_t>(0, -start);
    nextSource_ = std::max<int64_t>(0, start);
    const bool reached = source_->seekFrames(nextSource_);
    if (!reached) failed_ = true;
    // The run-in: old material and the new stretch's lead-in.
    bool ok = true;
    while (taken_ < first) {
        const auto n = static_cast<size_t>(std::min<int64_t>(first - taken_, kDiscardFrames));
        ok = output(discard_.get(), n) && ok;
    }
    return reached && ok;
}

}  // namespace spinlorex
