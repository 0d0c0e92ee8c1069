#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/FrameReader.h"

struct mpg123_handle_struct;

namespace spinlorex {

// Reads MPEG audio (layers 1 to 3, MPEG-1, 2 and 2.5, so every rate from 8 to 48 kHz)
// through libmpg123. Gapless: the encoder's delay and padding, as the LAME/Xing header
// gives them, are not heard, so frame n is frame n of the music that was encoded. The scan
// at open builds a full frame index, and seeks land on the exact frame. Rates other than
// 44100 are converted.
//
// Construction/destruction and open/close: loading thread (they allocate and do file I/O).
// decodeBlock/seek: sound thread; no allocation, no locks, no logging.
class Mp3Reader final : public FrameReader {
public:
    Mp3Reader();
    ~Mp3Reader() override;
    Mp3Reader(const Mp3Reader&) = delete;
    Mp3Reader& operator=(const Mp3Reader&) = delete;

    int32_t open(const std::string& path) override;
    void close() override;

    // The stream's channel count (0 when closed); its rate is sourceRate().
    int32_t channels() const { return channels_; }
    // Length of the stream in frames at its own rate, delay and padding removed.
    int64_t totalSamples() const { return totalSamples_; }

private:
    struct HandleDeleter {
        void operator()(mpg123_handle_struct* h) const;
    };

    int32_t readFrames(float* dest, int32_t frames) override;
    bool seekFrames(int64_t frame) override;
    // Decodes the next MPEG frame into the decoder's buffer: 1, 0 at the end, -1 on an error.
    int32_t decodeFrame();

    std::unique_ptr<mpg123_handle_struct, HandleDeleter> handle_;
    bool open_ = false;
    int32_t channels_ = 0;
    int64_t totalSamples_ = 0;
    // The decoded MPEG frame being handed out (the decoder's buffer, valid until its next
    // call) and how much of it is gone. Right after open it holds the frame the probe
    // decoded, so a straight play never seeks.
    const int16_t* frame_ = nullptr;
    int32_t frameFrames_ = 0;
    int32_t frameUsed_ = 0;
    int32_t frameChannels_ = 0;
    bool atStart_ = false;  // nothing consumed since open
};

}  // namespace spinlorex
