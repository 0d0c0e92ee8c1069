#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/FrameReader.h"
#include "audio/StereoMixdown.h"

struct sf_private_tag;

namespace spinlorex {

// Reads FLAC, Ogg Vorbis and Opus (and whatever else libsndfile recognises in the file)
// through libsndfile: any rate (converted to 44100 Hz), any number of channels (mixed down
// to stereo by the format's channel order), exact seeks.
//
// open/close: loading thread, while the deck is closed (they allocate and do file I/O).
// decodeBlock/seek: sound thread; they decode through libsndfile and its codecs, never
// allocate, lock or log themselves.
class SndfileReader final : public FrameReader {
public:
    SndfileReader();
    ~SndfileReader() override;
    SndfileReader(const SndfileReader&) = delete;
    SndfileReader& operator=(const SndfileReader&) = delete;

    int32_t open(const std::string& path) override;
    void close() override;

    // The stream's channel count (0 when closed); its rate is sourceRate().
    int32_t channels() const { return channels_; }
    // libsndfile's format code of the open file (0 when closed).
    int32_t format() const { return format_; }

private:
    struct FileCloser {
        void operator()(sf_private_tag* f) const;
    };

    int32_t readFrames(float* dest, int32_t frames) override;
    bool seekFrames(int64_t frame) override;
    StereoMixdown mixdownFor() const;

    std::unique_ptr<sf_private_tag, FileCloser> file_;
    int32_t channels_ = 0;
    int32_t format_ = 0;
    int64_t frames_ = 0;
    int64_t next_ = 0;  // the frame the next read gives
    bool vorbis_ = false;
    int64_t vorbisTailFrames_ = 0;
    StereoMixdown mixdown_;
    std::unique_ptr<float[]> samples_;  // one read, every channel
};

}  // namespace spinlorex
