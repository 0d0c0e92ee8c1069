#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace spinlorex {

// Writes a RIFF/WAVE PCM file as a stream: the header is written at open with sizes of 0
// and completed by finish(), which the destructor calls. Main or worker thread; not for
// the sound thread (it does file I/O).
class WavFileWriter {
public:
    WavFileWriter() = default;
    ~WavFileWriter();
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // bitsPerSample 8, 16, 24 or 32. Returns false when the file cannot be created.
    bool open(const std::string& path, int32_t sampleRate, int32_t channels,
              int32_t bitsPerSample);
    // Interleaved 16-bit samples; only for a 16-bit file.
    bool writeFrames(const int16_t* samples, int32_t frames);
    // Sample bytes already in the file's format.
    bool writeBytes(const void* data, size_t bytes);
    // Completes the chunk sizes and closes the file. False if any write failed.
    bool finish();

    bool isOpen() const { return file_ != nullptr; }
    uint64_t dataBytes() const { return dataBytes_; }

private:
    std::FILE* file_ = nullptr;
    uint64_t dataBytes_ = 0;
    int32_t channels_ = 0;
    int32_t bitsPerSample_ = 0;
    bool failed_ = false;
};

}  // namespace spinlorex
