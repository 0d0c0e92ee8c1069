#include "platform/core/WavFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>

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

constexpr uint64_t kHeaderBytes = 44;
// RIFF sizes are 32-bit; a longer stream is cut to the largest whole-frame size.
constexpr uint64_t kMaxDataBytes = std::numeric_limits<uint32_t>::max() - 64;
// Audio arrives in chunks of some kilobytes: a large buffer saves most write calls.
constexpr size_t kBufferBytes = 1 << 18;

// Writes all of `bytes` at the file's position; `written` tells how many reached it.
bool writeAll(int fd, const uint8_t* data, size_t bytes, size_t& written) {
    written = 0;
    while (written < bytes) {
        const ssize_t n = ::write(fd, data + written, bytes - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

bool writeAt(int fd, const uint8_t* data, size_t bytes, uint64_t offset) {
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n =
            ::pwrite(fd, data + done, bytes - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
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
    channels_ = channels;
    bitsPerSample_ = bitsPerSample;
    dataBytes_ = 0;
    fileBytes_ = 0;
    failed_ = false;

    const uint32_t blockAlign = static_cast<uint32_t>(channels * bitsPerSample / 8);
    std::array<uint8_t, kHeaderBytes> header{};
    std::memcpy(&header[0], "RIFF", 4);
    putLe32(&header[4], 36);
    std::memcpy(&header[8], "WAVEfmt ", 8);
    putLe32(&header[16], 16);
    putLe16(&header[20], 1);  // PCM
    putLe16(&header[22], static_cast<uint32_t>(channels));
    putLe32(&header[24], static_cast<uint32_t>(sampleRate));
    putLe32(&header[28], static_cast<uint32_t>(sampleRate) * blockAlign);
    putLe16(&header[32], blockAlign);
    putLe16(&header[34], static_cast<uint32_t>(bitsPerSample));
    std::memcpy(&header[36], "data", 4);
    putLe32(&header[40], 0);
    size_t written = 0;
    if (!writeAll(fd_, header.data(), header.size(), written)) failed_ = true;
    return !failed_;
}

uint64_t WavFileWriter::frameBytes() const {
    return static_cast<uint64_t>(channels_) * static_cast<uint64_t>(bitsPerSample_ / 8);
}

bool WavFileWriter::writeFrames(const int16_t* samples, int32_t frames) {
    if (bitsPerSample_ != 16 || frames < 0) return false;
    static_assert(std::endian::native == std::endian::little, "little-endian host expected");
    return writeBytes(samples, static_cast<size_t>(frames) * static_cast<size_t>(channels_) * 2);
}

bool WavFileWriter::writeBytes(const void* data, size_t bytes) {
    if (fd_ < 0 || failed_) return false;
    if (dataBytes_ + bytes > kMaxDataBytes)
        bytes = static_cast<size_t>((kMaxDataBytes - dataBytes_) / frameBytes() * frameBytes());
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
    const bool ok = writeAll(fd_, buffer_.get(), buffered_, written);
    fileBytes_ += written;
    buffered_ = 0;
    if (!ok) failed_ = true;
    return ok;
}

bool WavFileWriter::writeSizes(uint64_t dataBytes) {
    // An odd data chunk is followed by a pad byte so the file stays chunk-aligned.
    const uint64_t pad = dataBytes & 1;
    std::array<uint8_t, 4> size{};
    putLe32(size.data(), static_cast<uint32_t>(36 + dataBytes + pad));
    if (!writeAt(fd_, size.data(), size.size(), 4)) return false;
    putLe32(size.data(), static_cast<uint32_t>(dataBytes));
    return writeAt(fd_, size.data(), size.size(), 40);
}

bool WavFileWriter::refreshSizes() {
    if (fd_ < 0 || failed_ || !flushBuffer()) return false;
    return writeSizes(fileBytes_);
}

bool WavFileWriter::finish() {
    if (fd_ < 0) return false;
    bool ok = flushBuffer();
    // Only whole frames count; a frame cut by a failed write is removed again.
    uint64_t data = frameBytes() != 0 ? fileBytes_ / frameBytes() * frameBytes() : 0;
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
    if (!writeSizes(data)) ok = false;
    if (::close(fd_) != 0) ok = false;
    fd_ = -1;
    buffered_ = 0;
    return ok && !failed_;
}

}  // namespace spinlorex
