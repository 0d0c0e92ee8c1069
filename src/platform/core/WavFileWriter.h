#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace spinlorex {

// Writes a RIFF/WAVE PCM file as a stream: the header is written at open with sizes of 0,
// brought up to date by refreshSizes() and completed by finish(), which the destructor
// calls. Main or worker thread; not for the sound thread (it does file I/O).
//
// The file is always left a valid WAV of what reached it: after a failed write (a full
// disk, a file-size limit) nothing more is written, and finish() cuts a partly written
// frame off and writes the sizes of the whole frames that did reach the file.
class WavFileWriter {
public:
    WavFileWriter() = default;
    ~WavFileWriter();
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // bitsPerSample 8, 16, 24 or 32. Returns false when the file cannot be created.
    bool open(const std::string& path, int32_t sampleRate, int32_t channels, int32_t bitsPerSample);
    // Interleaved 16-bit samples; only for a 16-bit file.
    bool writeFrames(const int16_t* samples, int32_t frames);
    // Sample bytes already in the file's format. False once a write failed.
    bool writeBytes(const void* data, size_t bytes);
    // Hands everything written so far to the file and sets the header's sizes to it, so
    // that the file plays whole up to here even if this process is killed next. False
    // when a write failed (now or before).
    bool refreshSizes();
    // Completes the chunk sizes and closes the file. False if any write failed.
    bool finish();

    bool isOpen() const { return fd_ >= 0; }
    // A write failed: nothing more is written.
    bool failed() const { return failed_; }
    // Sample bytes taken so far (those in the file, and those still buffered).
    uint64_t dataBytes() const { return dataBytes_; }

private:
    bool flushBuffer();
    bool writeSizes(uint64_t dataBytes);
    uint64_t frameBytes() const;

    int fd_ = -1;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t buffered_ = 0;
    uint64_t dataBytes_ = 0;  // taken
    uint64_t fileBytes_ = 0;  // of those, written to the file
    int32_t channels_ = 0;
    int32_t bitsPerSample_ = 0;
    bool failed_ = false;
};

}  // namespace spinlorex
