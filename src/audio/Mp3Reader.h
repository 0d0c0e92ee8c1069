#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/AudioFormat.h"
#include "audio/TrackReader.h"

struct mpg123_handle_struct;

namespace spinlorex {

// Reads MPEG audio through libmpg123 and delivers 1152-frame blocks of 44100 Hz stereo
// 16-bit. The decoder hands out whole MPEG frames at the stream's own rate (no gapless
// trimming, no resampling); 44100 Hz streams pass frame by frame, streams whose frame is
// exactly rate x 1152 / 44100 frames long (22050) are stretched, 44101..88200 Hz streams
// (48000) are decimated through a carry buffer, and everything else is a decode error.
//
// Construction/destruction and open/close: loading thread (they allocate and do file I/O).
// decodeBlock/seek: sound thread; no allocation, no locks, no logging.
class Mp3Reader final : public TrackReader {
public:
    Mp3Reader();
    ~Mp3Reader() override;
    Mp3Reader(const Mp3Reader&) = delete;
    Mp3Reader& operator=(const Mp3Reader&) = delete;

    int32_t open(const std::string& path) override;
    void close() override;
    int32_t decodeBlock(int16_t* dest) override;
    int32_t seek(float fraction) override;

    // The stream's own rate and channel count (0 when closed).
    int32_t sampleRate() const { return sampleRate_; }
    int32_t channels() const { return channels_; }
    // Length of the stream in frames at its own rate.
    int64_t totalSamples() const { return totalSamples_; }

    static constexpr int32_t kCarryFrames = 3 * kBlockFrames;

private:
    struct HandleDeleter {
        void operator()(mpg123_handle_struct* h) const;
    };

    // Decodes one MPEG frame into dest as stereo frames; returns the frame count, 0 at the
    // end of the stream, -1 on an error or a frame longer than `room` frames.
    int32_t decodeFrame(int16_t* dest, int32_t room);
    int32_t deliver(int16_t* dest, int32_t room, const unsigned char* audio, size_t bytes, int64_t num);
    int32_t decodeDecimated(int16_t* dest);

    std::unique_ptr<mpg123_handle_struct, HandleDeleter> handle_;
    bool open_ = false;
    // The frame decoded by the probe in open, still in the decoder's buffer: the first
    // decodeFrame delivers it rather than seek back, which would not restore the
    // decoder's state bit for bit.
    bool probed_ = false;
    const unsigned char* probedAudio_ = nullptr;
    size_t probedBytes_ = 0;
    int64_t probedNum_ = 0;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    int32_t samplesPerFrame_ = 0;
    int64_t totalSamples_ = 0;
    // Frames one decimated block consumes (rates above 44100).
    int32_t carryNeed_ = 0;
    int32_t carryCount_ = 0;
    std::array<int16_t, kCarryFrames * kChannels> carry_{};
};

}  // namespace spinlorex
