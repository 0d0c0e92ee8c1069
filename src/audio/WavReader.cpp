#include "audio/WavReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>

#include "audio/AudioFormat.h"
#include "audio/SampleConvert.h"

namespace spinlorex {
namespace {

static_assert(std::endian::native == std::endian::little, "16-bit samples are read as they lie");

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagExtensible = 0xFFFE;
// KSDATAFORMAT_SUBTYPE_PCM as it lies in the file.
constexpr unsigned char kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                             0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
constexpr uint32_t kBlockDestBytes = kBlockFrames * kBytesPerFrame;
// A block whose read (or its conversion) needs more than this is not a file we can play.
constexpr uint64_t kMaxWorkBytes = 1u << 20;
// A real file has a handful of chunks; the cap keeps a crafted one from walking for ages.
constexpr int kMaxChunks = 4096;

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Bytes a sample occupies as read: 8, 24 and 32 bits are converted, anything else is
// taken for 16-bit.
uint32_t sampleWidth(uint16_t bits) {
    switch (bits) {
        case 8: return 1;
        case 24: return 3;
        case 32: return 4;
        default: return 2;
    }
}

}  // namespace

WavReader::~WavReader() { close(); }

void WavReader::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    format_ = Format{};
    dataOffset_ = dataSize_ = readOffset_ = 0;
    blockBytes_ = 0;
    seekUnit_ = 4;
    rate_ = 0;
    work_.reset();
    readAheadOffset_ = 0;
    readAheadBytes_ = 0;  // never serve another file's bytes
    position_ = 0.0f;
    duration_ = 0;
    fileSize_ = 0;
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
    const bool inWindow = offset >= readAheadOffset_ && offset + bytes <= readAheadOffset_ + readAheadBytes_;
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
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 || !walkChunks(static_cast<uint64_t>(st.st_size)) ||
        !planBlocks()) {
        close();
        return 0;
    }
    const uint64_t seconds = dataSize_ / format_.bytesPerSecond;
    if (seconds == 0) {
        close();
        return 0;
    }
    duration_ = static_cast<int32_t>(std::min<uint64_t>(seconds, std::numeric_limits<int32_t>::max()));
    fileSize_ = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(st.st_size),
                                                         std::numeric_limits<uint32_t>::max()));
    position_ = 0.0f;
    readOffset_ = 0;
    return duration_;
}

// Finds the first "fmt " and the first "data" chunk inside the RIFF/WAVE form, in either
// order. Chunk sizes are never trusted past the end of the file.
bool WavReader::walkChunks(uint64_t fileSize) {
    unsigned char head[12];
    uint32_t got = 0;
    if (!readAt(0, head, 12, &got) || got < 12) return false;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;
    const uint64_t riffEnd = std::min<uint64_t>(8 + static_cast<uint64_t>(le32(head + 4)), fileSize);

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
            // channel mask and the sub-format GUID at 24..39.
            unsigned char fmt[40] = {};
            const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(avail, sizeof fmt));
            if (want < 16 || !readAt(body, fmt, want, &got) || got < want) return false;
            format_.tag = le16(fmt);
            format_.channels = le16(fmt + 2);
            format_.sampleRate = le32(fmt + 4);
            format_.bytesPerSecond = le32(fmt + 8);
            format_.blockAlign = le16(fmt + 12);
            format_.bitsPerSample = le16(fmt + 14);
            if (format_.tag == kTagExtensible) {
                if (want < 40 || std::memcmp(fmt + 24, kPcmSubFormat, 16) != 0) return false;
            } else if (format_.tag != kTagPcm) {
                return false;
            }
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

// Sizes one block's read and the buffer its conversion needs; refuses formats that make
// no sense or would need an absurd buffer.
bool WavReader::planBlocks() {
    const Format& f = format_;
    if (f.channels == 0 || f.bytesPerSecond == 0 || f.sampleRate == 0) return false;

    // Offsets stay on whole frames. Files whose frames divide 4 bytes keep the classic
    // 4-byte rounding; 24- and 32-bit stereo need their own frame size.
    seekUnit_ = (f.blockAlign == 0 || 4 % f.blockAlign == 0) ? 4u : f.blockAlign;
    const uint64_t raw = (static_cast<uint64_t>(f.bytesPerSecond) * kBlockFrames + (kSampleRate - 1)) / kSampleRate;
    const uint64_t bytes = raw - raw % seekUnit_;

    const uint64_t width = sampleWidth(f.bitsPerSample);
    const uint64_t samples = bytes / width;
    const uint64_t frames = f.channels == 1 ? samples : samples / 2;
    if (frames == 0) return false;
    // In-place conversion grows 8-bit samples to 16 bits and mono to stereo.
    const uint64_t need = std::max({bytes, samples * 2, frames * kBytesPerFrame, uint64_t{kBlockDestBytes}});
    if (need > kMaxWorkBytes) return false;

    blockBytes_ = static_cast<uint32_t>(bytes);
    rate_ = static_cast<int32_t>(std::min<uint32_t>(f.sampleRate, kSampleRate));
    if (need > kBlockDestBytes) work_ = std::make_unique<int16_t[]>((need + 1) / 2);
    return true;
}

int32_t WavReader::toFrames(int16_t* buf, uint32_t bytes) const {
    const uint32_t width = sampleWidth(format_.bitsPerSample);
    int32_t samples = static_cast<int32_t>(bytes / width);
    if (width == 1) {
        widen8(buf, samples);
    } else if (width > 2) {
        // Keep the top 16 bits of each little-endian sample. Forwards: sample k is written
        // to bytes 2k..2k+1, below the bytes it is read from.
        const auto* in = reinterpret_cast<const unsigned char*>(buf);
        for (int32_t k = 0; k < samples; ++k) {
            const unsigned char* s = in + static_cast<size_t>(k) * width + (width - 2);
            buf[k] = static_cast<int16_t>(static_cast<uint16_t>(s[0] | (s[1] << 8)));
        }
    }
    if (format_.channels == 1) {
        expandMono(buf, samples);
        return samples;
    }
    return samples / 2;
}

int32_t WavReader::decodeBlock(int16_t* dest) {
    if (fd_ < 0) return kError;
    // A block that the data chunk cannot fill ends the track after the previous one.
    if (dataSize_ - readOffset_ < blockBytes_) return kEnd;
    int16_t* buf = work_ ? work_.get() : dest;
    uint32_t got = 0;
    if (!readSamples(dataOffset_ + readOffset_, buf, blockBytes_, &got)) return kError;
    if (got < blockBytes_) return kEnd;  // the file shrank since open
    readOffset_ += blockBytes_;
    position_ = static_cast<float>(static_cast<double>(readOffset_) / static_cast<double>(dataSize_));

    const int32_t frames = toFrames(buf, blockBytes_);
    // More than a block (rates above 44100) keeps the first 1152 frames; fewer are
    // stretched. At 44100 fewer only happens with a byte rate below the sample rate's,
    // and the stretch then holds the first frame instead of reading before the buffer.
    if (frames < kBlockFrames) stretchTo1152(buf, frames, rate_);
    if (buf != dest) std::memcpy(dest, buf, kBlockDestBytes);
    return kDone;
}

int32_t WavReader::seek(float fraction) {
    position_ = fraction;
    if (fd_ < 0) return 1;
    const double f = fraction > 0.0f ? static_cast<double>(fraction) : 0.0;  // also NaN
    uint64_t offset = f >= 1.0 ? dataSize_ : static_cast<uint64_t>(static_cast<double>(dataSize_) * f);
    // Rounded within the data chunk: a data start at 46 (an 18-byte fmt chunk) would
    // otherwise swap left and right.
    offset -= offset % seekUnit_;
    readOffset_ = offset;
    return 1;
}

}  // namespace spinlorex
