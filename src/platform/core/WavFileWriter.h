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
// Every file starts as a plain WAV whose "WAVE" is followed by a 28-byte "JUNK" chunk that
// ordinary readers skip. Once the RIFF size no longer fits its 32-bit field (a file past
// 4 GiB), the next header written makes the file RF64: "RIFF" becomes "RF64", the JUNK
// chunk becomes "ds64" with the 64-bit sizes, and the 32-bit sizes read 0xFFFFFFFF. The
// header is rewritten in one piece, so the file is readable whole at every moment.
//
// The file is always left a valid WAV (or RF64) of what reached it: after a failed write
// (a full disk, a file-size limit) nothing more is written, and finish() cuts a partly
// written frame off and writes the sizes of the whole frames that did reach the file.
class WavFileWriter {
public:
    // The largest RIFF size a plain WAV states: the largest even 32-bit number, as
    // 0xFFFFFFFF is RF64's "see ds64".
    static constexpr uint64_t kLargestRiffSize = 0xFFFFFFFE;
    // Where the samples start in every file this writer makes.
    static constexpr uint64_t kDataOffset = 80;

    // `largestRiffSize`: past it the file becomes RF64 (tests lower it to reach RF64 after
    // a few kilobytes instead of 4 GiB).
    explicit WavFileWriter(uint64_t largestRiffSize = kLargestRiffSize)
        : largestRiffSize_(largestRiffSize) {}
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
    // The header last written is RF64's; the file stays RF64 until it is finished.
    bool isRf64() const { return rf64_; }
    // Sample bytes taken so far (those in the file, and those still buffered).
    uint64_t dataBytes() const { return dataBytes_; }
    // Whole frames that reached the file: after a failure, what the finished file holds.
    uint64_t framesInFile() const;

private:
    bool flushBuffer();
    bool writeHeader(uint64_t dataBytes);
    uint64_t frameBytes() const;

    int fd_ = -1;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t buffered_ = 0;
    uint64_t dataBytes_ = 0;  // taken
    uint64_t fileBytes_ = 0;  // of those, written to the file
    uint64_t largestRiffSize_;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    int32_t bitsPerSample_ = 0;
    bool failed_ = false;
    bool rf64_ = false;
};

}  // namespace spinlorex
