#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/TrackReader.h"

namespace spinlorex {

// Reads uncompressed PCM from a RIFF/WAVE file: 8, 16, 24 or 32-bit integer samples
// (other depths are read as 16-bit), mono or stereo (other counts are read as stereo), at
// any rate, and delivers 1152-frame blocks of 44100 Hz stereo 16-bit. Rates below 44100 are
// stretched by sample and hold; above 44100 each block keeps the first 1152 frames of one
// block's duration, so such a file plays faster than written.
//
// open/close: loading thread, while the deck is closed (they allocate and do file I/O).
// decodeBlock/seek: sound thread; they read the file but never allocate, lock or log.
class WavReader final : public TrackReader {
public:
    WavReader() = default;
    ~WavReader() override;
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;

    int32_t open(const std::string& path) override;
    void close() override;
    int32_t decodeBlock(int16_t* dest) override;
    int32_t seek(float fraction) override;

    // The "fmt " values in force (zero when closed), for the tool and the tests.
    struct Format {
        uint16_t tag = 0;
        uint16_t channels = 0;
        uint32_t sampleRate = 0;
        uint32_t bytesPerSecond = 0;
        uint16_t blockAlign = 0;
        uint16_t bitsPerSample = 0;
    };
    const Format& format() const { return format_; }
    // File offset of the first sample byte and the usable size of the data chunk.
    uint64_t dataOffset() const { return dataOffset_; }
    uint64_t dataSize() const { return dataSize_; }
    // Bytes of sample data read for one block.
    uint32_t blockBytes() const { return blockBytes_; }

private:
    bool readAt(uint64_t offset, void* buf, uint32_t bytes, uint32_t* got) const;
    // Sample data through a read-ahead window, so a block costs a copy rather than a
    // system call.
    bool readSamples(uint64_t offset, void* buf, uint32_t bytes, uint32_t* got);
    bool walkChunks(uint64_t fileSize);
    bool planBlocks();
    // Turns `bytes` raw sample bytes at the start of buf into stereo 16-bit frames in
    // place; returns the frame count.
    int32_t toFrames(int16_t* buf, uint32_t bytes) const;

    int fd_ = -1;
    Format format_;
    uint64_t dataOffset_ = 0;
    uint64_t dataSize_ = 0;
    uint64_t readOffset_ = 0;   // next sample byte, relative to dataOffset_
    uint32_t blockBytes_ = 0;
    uint32_t seekUnit_ = 4;     // offsets stay on this multiple so channels keep their order
    int32_t rate_ = 0;          // the sample rate, lowered to 44100
    // Holds one block's read when its conversion does not fit the 1152-frame destination
    // (rates above 44100, 24/32-bit samples); sized in open.
    std::unique_ptr<int16_t[]> work_;
    static constexpr uint32_t kReadAhead = 64 * 1024;
    std::unique_ptr<unsigned char[]> readAhead_{new unsigned char[kReadAhead]};
    uint64_t readAheadOffset_ = 0;
    uint32_t readAheadBytes_ = 0;
};

}  // namespace spinlorex
