#include "audio/WavReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "audio/AudioFormat.h"
#include "audio/SampleConvert.h"

namespace spinlorex {
namespace {

static_assert(std::endian::native == std::endian::little, "samples are read as they lie");

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;
// The tail shared by the KSDATAFORMAT_SUBTYPE GUIDs; their first two bytes hold the tag.
constexpr unsigned char kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
// A real file has a handful of chunks; the cap keeps a crafted one from walking for ages.
constexpr int kMaxChunks = 4096;

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

WavReader::WavReader() = default;
WavReader::~WavReader() { close(); }

void WavReader::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    format_ = Format{};
    dataOffset_ = dataSize_ = readOffset_ = 0;
    sampleBytes_ = frameBytes_ = 0;
    raw_.reset();
    samples_.reset();
    readAheadOffset_ = 0;
    readAheadBytes_ = 0;  // never serve another file's bytes
    endStream();
}

bool WavReader::readAt(uint64_t offset, void* buf, uint32_t bytes, uint32_t* got) const {
    auto* p = static_cast<unsigned char*>(buf);
    uint32_t done = 0;
    while (done < bytes) {
        const ssize_t r = ::pread(fd_, p + done, bytes - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) break;
        done += static_cast<uint32_t>(r);
    }
    *got = done;
    return true;
}

bool WavReader::readSamples(uint64_t offset, void* buf, uint32_t bytes, uint32_t* got) {
    if (bytes > kReadAhead) return readAt(offset, buf, bytes, got);
    const bool inWindow =
        offset >= readAheadOffset_ && offset + bytes <= readAheadOffset_ + readAheadBytes_;
    if (!inWindow) {
        readAheadBytes_ = 0;
        if (!readAt(offset, readAhead_.get(), kReadAhead, &readAheadBytes_)) return false;
        readAheadOffset_ = offset;
    }
    const uint64_t skip = offset - readAheadOffset_;
    *got = static_cast<uint32_t>(std::min<uint64_t>(bytes, readAheadBytes_ - skip));
    std::memcpy(buf, readAhead_.get() + skip, *got);
    return true;
}

int32_t WavReader::open(const std::string& path) {
    close();
    // O_NONBLOCK so that a FIFO named .wav cannot stall the loading thread; it is refused
    // below, and regular files ignore the flag.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return 0;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        !walkChunks(static_cast<uint64_t>(st.st_size)) || !planFrames()) {
        close();
        return 0;
    }
    readOffset_ = 0;
    const int32_t seconds = beginStream(static_cast<int32_t>(format_.sampleRate),
                                        static_cast<int64_t>(dataSize_ / frameBytes_),
                                        static_cast<uint64_t>(st.st_size));
    if (seconds == 0) close();
    return seconds;
}

// Finds the first "fmt " and the first "data" chunk inside the RIFF/WAVE form, in either
// order. Chunk sizes are never trusted past the end of the file.
bool WavReader::walkChunks(uint64_t fileSize) {
    unsigned char head[12];
    uint32_t got = 0;
    if (!readAt(0, head, 12, &got) || got < 12) return false;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;
    const uint64_t riffEnd =
        std::min<uint64_t>(8 + static_cast<uint64_t>(le32(head + 4)), fileSize);

    bool haveFmt = false;
    bool haveData = false;
    uint64_t pos = 12;
    for (int n = 0; n < kMaxChunks && pos + 8 <= riffEnd && !(haveFmt && haveData); ++n) {
        unsigned char ch[8];
        if (!readAt(pos, ch, 8, &got) || got < 8) return false;
        const uint32_t size = le32(ch + 4);
        const uint64_t body = pos + 8;
        const uint64_t avail = std::min<uint64_t>(size, fileSize - body);
        if (!haveFmt && std::memcmp(ch, "fmt ", 4) == 0) {
            // 16 bytes of WAVEFORMAT, then for WAVE_FORMAT_EXTENSIBLE cbSize, valid bits,
            // the channel mask at 20 and the sub-format GUID at 24..39.
            unsigned char fmt[40] = {};
            const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(avail, sizeof fmt));
            if (want < 16 || !readAt(body, fmt, want, &got) || got < want) return false;
            format_.tag = le16(fmt);
            format_.channels = le16(fmt + 2);
            format_.sampleRate = le32(fmt + 4);
            format_.bytesPerSecond = le32(fmt + 8);
            format_.blockAlign = le16(fmt + 12);
            format_.bitsPerSample = le16(fmt + 14);
            uint16_t kind = format_.tag;
            if (kind == kTagExtensible) {
                if (want < 40 || std::memcmp(fmt + 26, kSubFormatTail, sizeof kSubFormatTail) != 0)
                    return false;
                format_.channelMask = le32(fmt + 20);
                kind = le16(fmt + 24);
            }
            if (kind != kTagPcm && kind != kTagFloat) return false;
            format_.isFloat = kind == kTagFloat;
            haveFmt = true;
        } else if (!haveData && std::memcmp(ch, "data", 4) == 0) {
            dataOffset_ = body;
            dataSize_ = avail;
            haveData = true;
        }
        pos = body + size + (size & 1u);  // chunks are word-aligned
    }
    return haveFmt && haveData;
}

// The layout of a frame and the buffers one read needs; refuses formats that make no
// sense.
bool WavReader::planFrames() {
    const Format& f = format_;
    if (f.channels == 0 || f.channels > StereoMixdown::kMaxChannels || f.sampleRate == 0 ||
        f.sampleRate > 0x7FFFFFFF)
        return false;
    // Each sample occupies blockAlign / channels bytes; a block align that does not divide
    // by the channels is taken from the depth instead.
    sampleBytes_ = f.blockAlign != 0 && f.blockAlign % f.channels == 0
                       ? f.blockAlign / f.channels
                       : (f.bitsPerSample + 7u) / 8u;
    if (f.isFloat ? (sampleBytes_ != 4 && sampleBytes_ != 8)
                  : (sampleBytes_ < 1 || sampleBytes_ > 4))
        return false;
    frameBytes_ = sampleBytes_ * f.channels;
    if (dataSize_ / frameBytes_ == 0) return false;
    mixdown_ = StereoMixdown::forMask(f.channels, f.channelMask);
    raw_ = std::make_unique<unsigned char[]>(static_cast<size_t>(kMaxReadFrames) * frameBytes_);
    samples_ = std::make_unique<float[]>(static_cast<size_t>(kMaxReadFrames) * f.channels);
    return true;
}

void WavReader::widen(const unsigned char* raw, float* out, int32_t count) const {
    const auto n = static_cast<size_t>(count);
    if (format_.isFloat) {
        for (size_t i = 0; i < n; ++i) {
            if (sampleBytes_ == 4) {
                float v;
                std::memcpy(&v, raw + 4 * i, 4);
                out[i] = v * 32768.0f;
            } else {
                double v;
                std::memcpy(&v, raw + 8 * i, 8);
                out[i] = static_cast<float>(v * 32768.0);
            }
        }
        return;
    }
    switch (sampleBytes_) {
        case 1:
            for (size_t i = 0; i < n; ++i) out[i] = static_cast<float>((raw[i] - 128) * 256);
            break;
        case 2:
            fromPcm16(reinterpret_cast<const int16_t*>(raw), out, count);
            break;
        case 3:
            // The sample in the top 24 bits of an int32: 1/256 of a 16-bit step per unit.
            for (size_t i = 0; i < n; ++i) {
                const unsigned char* s = raw + 3 * i;
                const auto v = static_cast<int32_t>(static_cast<uint32_t>(s[0] << 8 | s[1] << 16) |
                                                    static_cast<uint32_t>(s[2]) << 24);
                out[i] = static_cast<float>(v) * (1.0f / 65536.0f);
            }
            break;
        default:
            for (size_t i = 0; i < n; ++i)
                out[i] =
                    static_cast<float>(static_cast<int32_t>(le32(raw + 4 * i))) * (1.0f / 65536.0f);
            break;
    }
}

int32_t WavReader::readFrames(float* dest, int32_t frames) {
    if (fd_ < 0) return -1;
    const uint64_t left = (dataSize_ - readOffset_) / frameBytes_;
    auto n = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(frames), left));
    if (n == 0) return 0;
    uint32_t got = 0;
    if (!readSamples(dataOffset_ + readOffset_, raw_.get(), n * frameBytes_, &got)) return -1;
    n = got / frameBytes_;  // fewer when the file shrank since open
    readOffset_ += static_cast<uint64_t>(n) * frameBytes_;
    const auto count = static_cast<int32_t>(n);
    if (format_.channels == 2) {
        widen(raw_.get(), dest, 2 * count);
    } else {
        widen(raw_.get(), samples_.get(), count * format_.channels);
        mixdown_.apply(samples_.get(), dest, count);
    }
    return count;
}

bool WavReader::seekFrames(int64_t frame) {
    const uint64_t frames = dataSize_ / frameBytes_;
    readOffset_ = std::min<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(frame, 0)), frames) *
                  frameBytes_;
    return fd_ >= 0;
}

}  // namespace spinlorex
