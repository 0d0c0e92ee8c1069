#pragma once

#include <cstdint>
#include <memory>

#include "audio/FrameSource.h"
#include "audio/LinearRateConverter.h"
#include "audio/RateConverter.h"
#include "audio/TrackReader.h"

namespace spinlorex {

// The common half of the readers of real files: the format's part decodes frames at the
// track's own rate (FrameSource), this part gathers them into the engine's blocks of 1152
// frames at 44100 Hz, through a RateConverter when the track has another rate, clipped to
// 16 bits. Positions are exact frames of the 44100 Hz timeline: a seek lands on the frame
// the fraction designates, and a track of N source frames at rate R lasts
// floor(N x 44100 / R) frames, of which the whole blocks play.
//
// decodeBlock/seek: sound thread (no allocation, no lock, no log). The format's open and
// close (loading thread) call beginStream and endStream.
class FrameReader : public TrackReader, protected FrameSource {
public:
    // The rates taken. Far below, a seek would have the converter run through seconds of
    // output to reach its frame; far above, no audio file is made.
    static constexpr int32_t kMinRate = 1000;
    static constexpr int32_t kMaxRate = 768000;

    FrameReader();
    ~FrameReader() override;

    int32_t decodeBlock(int16_t* dest) final;
    int32_t seek(float fraction) final;
    int32_t seekFrame(int64_t frame) final;
    int64_t totalFrames() const final { return totalFrames_; }
    int64_t nextFrame() const final { return nextFrame_; }

    // The track's own rate (0 when closed).
    int32_t sourceRate() const { return rate_; }

    // How a track of another rate is brought to 44100 Hz: filtered for listening, or
    // interpolated for measuring (see LinearRateConverter: a fraction of the cost, the same
    // bass). Loading thread, takes effect at the next open.
    enum class Conversion { Listening, Measuring };
    void setConversion(Conversion conversion) { conversion_ = conversion; }

protected:
    // At the end of a successful open: `frames` frames at `rate` Hz in a file of `fileSize`
    // bytes, read from frame 0 on. Sets the duration and returns it; 0 (nothing can be
    // played) when the track lasts under a second, or its rate is outside
    // kMinRate..kMaxRate or cannot be converted.
    int32_t beginStream(int32_t rate, int64_t frames, uint64_t fileSize);
    // From close: forgets the stream.
    void endStream();

private:
    Conversion conversion_ = Conversion::Listening;
    RateConverter listeningConverter_;
    LinearRateConverter measuringConverter_;
    RateConversion* converter_ = &listeningConverter_;  // the one the open track uses
    std::unique_ptr<float[]> block_;
    int32_t rate_ = 0;
    int64_t totalFrames_ = 0;
    int64_t nextFrame_ = 0;
    bool unreachable_ = false;  // the last seek could not reach the data
};

}  // namespace spinlorex
