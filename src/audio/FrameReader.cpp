#include "audio/FrameReader.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "audio/AudioFormat.h"
#include "audio/SampleConvert.h"
#include "library/TrackRecord.h"

namespace spinlorex {
namespace {

// Exact products of frame counts and rates (GCC and Clang have it on 64-bit targets).
__extension__ typedef __int128 Wide;

}  // namespace

FrameReader::FrameReader() : block_(new float[kBlockSamples]) {}
FrameReader::~FrameReader() = default;

int32_t FrameReader::beginStream(int32_t rate, int64_t frames, uint64_t fileSize) {
    endStream();
    if (rate < kMinRate || rate > kMaxRate || frames <= 0 || frames / rate == 0) return 0;
    converter_ = conversion_ == Conversion::Measuring
                     ? static_cast<RateConversion*>(&measuringConverter_)
                     : &listeningConverter_;
    if (rate != kSampleRate && !converter_->open(*this, rate)) return 0;
    rate_ = rate;
    totalFrames_ = static_cast<int64_t>(static_cast<Wide>(frames) * kSampleRate / rate);
    nextFrame_ = 0;
    unreachable_ = false;
    duration_ =
        static_cast<int32_t>(std::min<int64_t>(frames / rate, std::numeric_limits<int32_t>::max()));
    fileSize_ = trackSizeKey(fileSize);
    position_ = 0.0f;
    return duration_;
}

void FrameReader::endStream() {
    converter_->close();
    rate_ = 0;
    totalFrames_ = nextFrame_ = 0;
    unreachable_ = false;
    position_ = 0.0f;
    duration_ = 0;
    fileSize_ = 0;
}

int32_t FrameReader::decodeBlock(int16_t* dest) {
    if (rate_ == 0 || unreachable_) return kError;
    if (nextFrame_ + kBlockFrames > totalFrames_) return kEnd;
    float* block = block_.get();
    if (rate_ == kSampleRate) {
        for (int32_t have = 0; have < kBlockFrames;) {
            const int32_t n = readFrames(block + 2 * have, kBlockFrames - have);
            if (n < 0) return kError;
            if (n == 0) return kEnd;  // the data ends short of what the header said
            have += std::min(n, kBlockFrames - have);
        }
    } else {
        if (!converter_->read(block, kBlockFrames)) return kError;
        // Data that ends short of what the header said ends the track there too.
        const int64_t end = converter_->sourceEnd();
        if (end >= 0 && nextFrame_ + kBlockFrames >
                            static_cast<int64_t>(static_cast<Wide>(end) * kSampleRate / rate_))
            return kEnd;
    }
    toPcm16(block, dest, kBlockSamples);
    nextFrame_ += kBlockFrames;
    position_ =
        static_cast<float>(static_cast<double>(nextFrame_) / static_cast<double>(totalFrames_));
    return kDone;
}

int32_t FrameReader::seek(float fraction) {
    const double f =
        std::clamp(fraction > 0.0f ? static_cast<double>(fraction) : 0.0, 0.0, 1.0);  // NaN: 0
    seekFrame(std::llround(f * static_cast<double>(totalFrames_)));
    position_ = fraction;
    return 1;
}

int32_t FrameReader::seekFrame(int64_t frame) {
    if (rate_ == 0) return 1;
    nextFrame_ = std::clamp<int64_t>(frame, 0, totalFrames_);
    position_ = static_cast<float>(static_cast<double>(nextFrame_) /
                                   static_cast<double>(std::max<int64_t>(totalFrames_, 1)));
    unreachable_ =
        rate_ == kSampleRate ? !seekFrames(nextFrame_) : !converter_->restartAt(nextFrame_);
    return 1;
}

}  // namespace spinlorex
