#include "platform/core/WavFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>

namespace spinlorex {
namespace {

void putLe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void putLe32(uint8_t* p, uint32_t v) {
    putLe16(p, v & 0xFFFF);
    putLe16(p + 2, v >> 16);
}
void putLe64(uint8_t* p, uint64_t v) {
    putLe32(p, static_cast<uint32_t>(v));
    putLe32(p + 4, static_cast<uint32_t>(v >> 32));
}

// RIFF header, the chunk kept for RF64's 64-bit sizes, the format chunk, the data chunk's
// header.
constexpr uint64_t kHeaderBytes = WavFileWriter::kDataOffset;
constexpr uint32_t kDs64Bytes = 28;  // RIFF size, data size, sample count, table length
constexpr uint32_t kSeeDs64 = 0xFFFFFFFF;
// Audio arrives in chunks of some kilobytes: a large buffer saves most write calls.
constexpr size_t kBufferBytes = 1 << 18;

// Writes `bytes` at `offset`; `done` tells how many reached the file.
bool writeAt(int fd, const uint8_t* data, size_t bytes, uint64_t offset, size_t& done) {
    done = 0;
    while (done < bytes) {
        const ssize_t n =
            ::pwrite(fd, data + done, bytes - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool writeAt(int fd, const uint8_t* data, size_t bytes, uint64_t offset) {
    size_t done = 0;
    return writeAt(fd, data, bytes, offset, done);
}

}  // namespace

WavFileWriter::~WavFileWriter() { finish(); }

bool WavFileWriter::open(const std::string& path, int32_t sampleRate, int32_t channels,
                         int32_t bitsPerSample) {
    finish();
    if (channels < 1 || sampleRate < 1 ||
        (bitsPerSample != 8 && bitsPerSample != 16 && bitsPerSample != 24 && bitsPerSample != 32))
        return false;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) return false;
    if (!buffer_) buffer_ = std::make_unique<uint8_t[]>(kBufferBytes);
    buffered_ = 0;
    sampleRate_ = sampleRate;
    channels_ = channels;
    bitsPerSample_ = bitsPerSample;
    dataBytes_ = 0;
    fileBytes_ = 0;
    failed_ = false;
    rf64_ = false;
    if (!writeHeader(0)) failed_ = true;
    return !failed_;
}

uint64_t WavFileWriter::frameBytes() const {
    return static_cast<uint64_t>(channels_) * static_cast<uint64_t>(bitsPerSample_ / 8);
}

uint64_t WavFileWriter::framesInFile() const {
    return frameBytes() != 0 ? fileBytes_ / frameBytes() : 0;
}

bool WavFileWriter::writeFrames(const int16_t* samples, int32_t frames) {
    if (bitsPerSample_ != 16 || frames < 0) return false;
    static_assert(std::endian::native == std::endian::little, "little-endian host expected");
    return writeBytes(samples, static_cast<size_t>(frames) * static_cast<size_t>(channels_) * 2);
}

bool WavFileWriter::writeBytes(const void* data, size_t bytes) {
    if (fd_ < 0 || failed_) return false;
    const auto* from = static_cast<const uint8_t*>(data);
    size_t left = bytes;
    while (left > 0) {
        const size_t n = std::min(left, kBufferBytes - buffered_);
        std::memcpy(buffer_.get() + buffered_, from, n);
        buffered_ += n;
        from += n;
        left -= n;
        if (buffered_ == kBufferBytes && !flushBuffer()) return false;
    }
    dataBytes_ += bytes;
    return true;
}

bool WavFileWriter::flushBuffer() {
    if (buffered_ == 0) return !failed_;
    size_t written = 0;
    const bool ok = writeAt(fd_, buffer_.get(), buffered_, kHeaderBytes + fileBytes_, written);
    fileBytes_ += written;
    buffered_ = 0;
    if (!ok) failed_ = true;
    return ok;
}

bool WavFileWriter::writeHeader(uint64_t dataBytes) {
    // An odd data chunk is followed by a pad byte so the file stays chunk-aligned.
    const uint64_t riffSize = kHeaderBytes - 8 + dataBytes + (dataBytes & 1);
    // Once RF64, always: a reader must never see the sizes go back to 32 bits mid-file.
    rf64_ = rf64_ || riffSize > largestRiffSize_;

    const uint32_t blockAlign = static_cast<uint32_t>(frameBytes());
    std::array<uint8_t, kHeaderBytes> header{};
    std::memcpy(&header[0], rf64_ ? "RF64" : "RIFF", 4);
    putLe32(&header[4], rf64_ ? kSeeDs64 : static_cast<uint32_t>(riffSize));
    std::memcpy(&header[8], rf64_ ? "WAVEds64" : "WAVEJUNK", 8);
    putLe32(&header[16], kDs64Bytes);
    if (rf64_) {
        putLe64(&header[20], riffSize);
        putLe64(&header[28], dataBytes);
        putLe64(&header[36], dataBytes / blockAlign);  // frames
        // [44]: no table of other chunks' sizes
    }
    std::memcpy(&header[48], "fmt ", 4);
    putLe32(&header[52], 16);
    putLe16(&header[56], 1);  // PCM
    putLe16(&header[58], static_cast<uint32_t>(channels_));
    putLe32(&header[60], static_cast<uint32_t>(sampleRate_));
    putLe32(&header[64], static_cast<uint32_t>(sampleRate_) * blockAlign);
    putLe16(&header[68], blockAlign);
    putLe16(&header[70], static_cast<uint32_t>(bitsPerSample_));
    std::memcpy(&header[72], "data", 4);
    putLe32(&header[76], rf64_ ? kSeeDs64 : static_cast<uint32_t>(dataBytes));
    return writeAt(fd_, header.data(), header.size(), 0);
}

bool WavFileWriter::refreshSizes() {
    if (fd_ < 0 || failed_ || !flushBuffer()) return false;
    return writeHeader(fileBytes_);
}

bool WavFileWriter::finish() {
    if (fd_ < 0) return false;
    bool ok = flushBuffer();
    // Only whole frames count; a frame cut by a failed write is removed again.
    uint64_t data = framesInFile() * frameBytes();
    if (data != fileBytes_ && ::ftruncate(fd_, static_cast<off_t>(kHeaderBytes + data)) != 0)
        ok = false;
    if ((data & 1) != 0) {
        const uint8_t zero = 0;
        if (!writeAt(fd_, &zero, 1, kHeaderBytes + data)) {
            // No room even for the pad byte: the last frame goes instead.
            data -= frameBytes();
            ok = false;
            [[maybe_unused]] const int cut =
                ::ftruncate(fd_, static_cast<off_t>(kHeaderBytes + data));
        }
    }
    if (!writeHeader(data)) ok = false;
    if (::close(fd_) != 0) ok = false;
    fd_ = -1;
    buffered_ = 0;
    return ok && !failed_;
}

}  // namespace spinlorex
