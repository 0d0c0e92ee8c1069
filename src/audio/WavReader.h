#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/FrameReader.h"
#include "audio/StereoMixdown.h"

namespace spinlorex {

// Reads a RIFF/WAVE file: integer PCM of 8, 16, 24 or 32 bits (other depths are read by
// the bytes they occupy), 32- or 64-bit float (also behind WAVE_FORMAT_EXTENSIBLE), any
// number of channels (mixed down to stereo by the channel mask), at any rate (converted to
// 44100 Hz). A 44100 Hz 16-bit stereo file passes bit for bit.
//
// open/close: loading thread, while the deck is closed (they allocate and do file I/O).
// decodeBlock/seek: sound thread; they read the file but never allocate, lock or log.
class WavReader final : public FrameReader {
public:
    WavReader();
    ~WavReader() override;
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;

    int32_t open(const std::string& path) override;
    void close() override;

    // The "fmt " values in force (zero when closed), for the tool and the tests.
    struct Format {
        uint16_t tag = 0;  // 1 PCM, 3 float, 0xFFFE extensible
        uint16_t channels = 0;
        uint32_t sampleRate = 0;
        uint32_t bytesPerSecond = 0;
        uint16_t blockAlign = 0;
        uint16_t bitsPerSample = 0;
        uint32_t channelMask = 0;  // extensible only
        bool isFloat = false;      // tag 3, or the float sub-format
    };
    const Format& format() const { return format_; }
    // File offset of the first sample byte and the usable size of the data chunk.
    uint64_t dataOffset() const { return dataOffset_; }
    uint64_t dataSize() const { return dataSize_; }

private:
    int32_t readFrames(float* dest, int32_t frames) override;
    bool seekFrames(int64_t frame) override;

    bool readAt(uint64_t offset, void* buf, uint32_t bytes, uint32_t* got) const;
    // Sample data through a read-ahead window, so a block costs a copy rather than a
    // system call.
    bool readSamples(uint64_t offset, void* buf, uint32_t bytes, uint32_t* got);
    bool walkChunks(uint64_t fileSize);
    bool planFrames();
    // `count` samples of the file's kind at `raw` as floats in 16-bit scale.
    void widen(const unsigned char* raw, float* out, int32_t count) const;

    int fd_ = -1;
    Format format_;
    uint64_t dataOffset_ = 0;
    uint64_t dataSize_ = 0;
    uint64_t readOffset_ = 0;  // next sample byte, relative to dataOffset_
    uint32_t sampleBytes_ = 0;
    uint32_t frameBytes_ = 0;
    StereoMixdown mixdown_;
    // One read's raw bytes and its samples, sized in open.
    std::unique_ptr<unsigned char[]> raw_;
    std::unique_ptr<float[]> samples_;
    static constexpr uint32_t kReadAhead = 64 * 1024;
    std::unique_ptr<unsigned char[]> readAhead_{new unsigned char[kReadAhead]};
    uint64_t readAheadOffset_ = 0;
    uint32_t readAheadBytes_ = 0;
};

}  // namespace spinlorex
