#include "platform/core/WavFileWriter.h"

#include <array>
#include <bit>
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

// RIFF sizes are 32-bit; a longer stream is cut to the largest whole-frame size.
constexpr uint64_t kMaxDataBytes = std::numeric_limits<uint32_t>::max() - 64;

}  // namespace

WavFileWriter::~WavFileWriter() { finish(); }

bool WavFileWriter::open(const std::string& path, int32_t sampleRate, int32_t channels,
                         int32_t bitsPerSample) {
    finish();
    if (channels < 1 || sampleRate < 1 ||
        (bitsPerSample != 8 && bitsPerSample != 16 && bitsPerSample != 24 && bitsPerSample != 32))
        return false;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) return false;
    // Audio arrives in chunks of some kilobytes: a large buffer saves most write calls.
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 18);
    channels_ = channels;
    bitsPerSample_ = bitsPerSample;
    dataBytes_ = 0;
    failed_ = false;

    const uint32_t blockAlign = static_cast<uint32_t>(channels * bitsPerSample / 8);
    std::array<uint8_t, 44> header{};
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
    if (std::fwrite(header.data(), 1, header.size(), file_) != header.size()) failed_ = true;
    return !failed_;
}

bool WavFileWriter::writeFrames(const int16_t* samples, int32_t frames) {
    if (bitsPerSample_ != 16 || frames < 0) return false;
    static_assert(std::endian::native == std::endian::little, "little-endian host expected");
    return writeBytes(samples, static_cast<size_t>(frames) * static_cast<size_t>(channels_) * 2);
}

bool WavFileWriter::writeBytes(const void* data, size_t bytes) {
    if (file_ == nullptr) return false;
    if (dataBytes_ + bytes > kMaxDataBytes) {
        const uint64_t frameBytes = static_cast<uint64_t>(channels_) * (bitsPerSample_ / 8);
        bytes = static_cast<size_t>((kMaxDataBytes - dataBytes_) / frameBytes * frameBytes);
    }
    if (bytes == 0) return true;
    if (std::fwrite(data, 1, bytes, file_) != bytes) {
        failed_ = true;
        return false;
    }
    dataBytes_ += bytes;
    return true;
}

bool WavFileWriter::finish() {
    if (file_ == nullptr) return false;
    bool ok = !failed_;
    // An odd data chunk is followed by a pad byte so the file stays chunk-aligned.
    const bool pad = (dataBytes_ & 1) != 0;
    if (pad && std::fputc(0, file_) == EOF) ok = false;
    std::array<uint8_t, 4> size{};
    putLe32(size.data(), static_cast<uint32_t>(36 + dataBytes_ + (pad ? 1 : 0)));
    ok = ok && std::fseek(file_, 4, SEEK_SET) == 0 &&
         std::fwrite(size.data(), 1, 4, file_) == 4;
    putLe32(size.data(), static_cast<uint32_t>(dataBytes_));
    ok = ok && std::fseek(file_, 40, SEEK_SET) == 0 &&
         std::fwrite(size.data(), 1, 4, file_) == 4;
    if (std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    return ok;
}

}  // namespace spinlorex
