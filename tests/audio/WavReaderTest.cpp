#include "audio/WavReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

using test::Bytes;
using test::operator+;
using test::put16;
using test::put32;

void putChunk(Bytes& b, const char* id, const Bytes& body, int64_t declared = -1) {
    b.insert(b.end(), id, id + 4);
    put32(b, static_cast<uint32_t>(declared >= 0 ? declared : static_cast<int64_t>(body.size())));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
}

// The sub-format GUID tail of WAVE_FORMAT_EXTENSIBLE for PCM (1) or float (3).
void putExtensible(Bytes& fmtTail, uint8_t subFormat) {
    put16(fmtTail, 22), put16(fmtTail, 24), put32(fmtTail, 3);
    fmtTail.insert(fmtTail.end(), {subFormat, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71});
}

// A hand-built RIFF/WAVE image; byte rate and block align follow the other fields unless
// given.
struct Image {
    uint16_t tag = 1, channels = 2, bits = 16;
    uint32_t rate = 44100;
    int64_t bytesPerSecond = -1;
    Bytes fmtTail;  // after the 16-byte WAVEFORMAT
    Bytes junk;     // a chunk between fmt and data when not empty
    Bytes data;
    int64_t declaredData = -1;

    Bytes build() const {
        const uint32_t align = channels * bits / 8u;
        Bytes fmt;
        put16(fmt, tag), put16(fmt, channels), put32(fmt, rate);
        put32(fmt, static_cast<uint32_t>(bytesPerSecond >= 0 ? bytesPerSecond : rate * align));
        put16(fmt, align), put16(fmt, bits);
        Bytes body = {'W', 'A', 'V', 'E'};
        putChunk(body, "fmt ", fmt + fmtTail);
        if (!junk.empty()) putChunk(body, "LIST", junk);
        putChunk(body, "data", data, declaredData);
        Bytes file;
        putChunk(file, "RIFF", body);
        return file;
    }
};

// Stereo frames of `width` bytes per sample whose top 16 bits are left = n, right = -n - 1,
// so a frame's number and the channel order can be read back.
Bytes numberedFrames(int32_t frames, int width = 2) {
    Bytes b;
    for (int32_t n = 0; n < frames; ++n) {
        for (int32_t top : {n, -n - 1}) {
            for (int k = 2; k < width; ++k) b.push_back(static_cast<uint8_t>(0xA5 + k));
            put16(b, static_cast<uint16_t>(top));
        }
    }
    return b;
}

class WavReaderTest : public ::testing::Test {
protected:
    std::string write(const Bytes& bytes) { return test::writeFile(dir_.file("t.wav"), bytes); }
    int32_t openImage(const Image& image) { return reader_.open(write(image.build())); }
    int32_t decode() { return reader_.decodeBlock(block_.data()); }
    // The number (modulo 65536) of the block's frame i, checking the channel order.
    uint16_t frameAt(int i) {
        EXPECT_EQ(block_[2 * i + 1], static_cast<int16_t>(-block_[2 * i] - 1)) << i;
        return static_cast<uint16_t>(block_[2 * i]);
    }

    test::TempDir dir_;
    WavReader reader_;
    std::vector<int16_t> block_ = std::vector<int16_t>(kBlockSamples);
};

TEST_F(WavReaderTest, EightBitMono22050RepeatsEachSample) {
    Image image;
    image.channels = 1, image.bits = 8, image.rate = 22050;
    for (int i = 0; i < 30000; ++i) image.data.push_back(static_cast<uint8_t>(i * 7));
    ASSERT_EQ(openImage(image), 1);
    EXPECT_EQ(reader_.blockBytes(), 576u);
    for (int b = 0; b < 2; ++b) {
        ASSERT_EQ(decode(), 1);
        for (int i = 0; i < kBlockSamples; ++i)
            ASSERT_EQ(block_[i], static_cast<int16_t>((image.data[b * 576 + i / 4] - 128) * 256)) << i;
    }
}

TEST_F(WavReaderTest, BlocksFollowTheByteRateAndKeepTheirFirst1152Frames) {
    // 48000 Hz reads 1254 frames a block. Inconsistent byte rates stay inside the block:
    // 288 frames a block at 44100 stretch from the first to the last one read; 3456 at
    // 22050 give their first 1152.
    struct Case {
        uint32_t rate;
        int64_t bytesPerSecond;
        int32_t frames, last;
    };
    for (const Case c : {Case{48000, -1, 1254, 1151}, Case{44100, 44100, 288, 287}, Case{22050, 44100 * 12, 3456, 1151}}) {
        Image image;
        image.rate = c.rate;
        image.bytesPerSecond = c.bytesPerSecond;
        image.data = numberedFrames(5 * 44100);
        ASSERT_GT(openImage(image), 0) << c.rate;
        EXPECT_EQ(reader_.blockBytes(), 4u * c.frames);
        for (int b = 0; b < 3; ++b) {
            ASSERT_EQ(decode(), 1);
            EXPECT_EQ(frameAt(0), b * c.frames) << c.rate;
            EXPECT_EQ(frameAt(1151), b * c.frames + c.last) << c.rate;
        }
    }
}

TEST_F(WavReaderTest, PcmPlaysInOrderToTheEndAndSeeksOntoWholeFramesInChannelOrder) {
    const int32_t frames = 3 * 44100 + 600;
    // 16-, 24- and 32-bit stereo; 24-bit behind WAVE_FORMAT_EXTENSIBLE; an 18-byte fmt chunk,
    // which puts the data at offset 46, off the 4-byte grid; an odd-sized chunk with its pad
    // byte before a data chunk that claims 40 s: the bytes really there count.
    enum Layout { kPlain, kExtensible, kDataAt46, kPaddedAndOverclaimed };
    for (const auto& [bits, layout] : {std::pair{16, kPlain}, {24, kPlain}, {32, kPlain}, {24, kExtensible},
                                       {16, kDataAt46}, {16, kPaddedAndOverclaimed}}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, layout " << layout);
        Image image;
        image.bits = static_cast<uint16_t>(bits);
        const int width = bits / 8;
        image.data = numberedFrames(frames, width);
        if (layout == kExtensible) image.tag = 0xFFFE, putExtensible(image.fmtTail, 1);
        if (layout == kDataAt46) put16(image.fmtTail, 0);  // cbSize
        if (layout == kPaddedAndOverclaimed) image.junk = {'a', 'b', 'c'}, image.declaredData = 40 * 44100 * 4;
        const std::string path = write(image.build());
        ASSERT_EQ(reader_.open(path), 3);
        EXPECT_EQ(reader_.fileSize(), std::filesystem::file_size(path));
        EXPECT_TRUE(layout != kDataAt46 || reader_.dataOffset() == 46u);
        for (int b = 0; b < frames / kBlockFrames; ++b) {
            ASSERT_EQ(decode(), 1) << b;
            for (int i = 0; i < kBlockFrames; ++i) ASSERT_EQ(frameAt(i), static_cast<uint16_t>(b * kBlockFrames + i));
            EXPECT_FLOAT_EQ(reader_.position(), static_cast<float>((b + 1.0) * kBlockFrames / frames));
        }
        // The data ends inside the next block: the track ends after the last whole one.
        EXPECT_EQ(decode(), 0);
        EXPECT_EQ(decode(), 0);
        for (float f : {0.0f, 0.1f, 1.0f / 3.0f, 0.777f, 0.99f}) {
            reader_.seek(f);
            EXPECT_EQ(reader_.position(), f);
            ASSERT_EQ(decode(), 1) << f;
            const auto sought = static_cast<uint64_t>(static_cast<double>(image.data.size()) * f) / (2u * width);
            EXPECT_EQ(frameAt(0), static_cast<uint16_t>(sought)) << f;
            EXPECT_GT(reader_.position(), f);
        }
        reader_.seek(1.0f);
        EXPECT_EQ(decode(), 0);
        reader_.seek(-0.5f);
        ASSERT_EQ(decode(), 1);
        EXPECT_EQ(frameAt(0), 0);
    }
}

TEST_F(WavReaderTest, BrokenUnsupportedOrShortFilesFailToOpen) {
    EXPECT_EQ(reader_.open(dir_.file("missing.wav")), 0);
    EXPECT_EQ(reader_.open(write({})), 0);
    EXPECT_EQ(reader_.open(dir_.path().string()), 0);
    EXPECT_EQ(reader_.open(write(Bytes(3000, 'w'))), 0);

    Image good;
    good.data = numberedFrames(44100 + 10);
    const Bytes whole = good.build();
    ASSERT_EQ(reader_.open(write(whole)), 1);
    EXPECT_EQ(reader_.open(write(test::slice(whole, 0, 30))), 0);  // cut in fmt
    EXPECT_EQ(reader_.open(write(test::slice(whole, 0, 40))), 0);  // no data
    Bytes changed = whole;
    changed[16] = 14;  // a fmt chunk shorter than WAVEFORMAT
    EXPECT_EQ(reader_.open(write(changed)), 0);
    changed = whole;
    std::memcpy(&changed[8], "AVI ", 4);
    EXPECT_EQ(reader_.open(write(changed)), 0);
    changed = whole;  // a chunk claiming 4 GiB before the data: no data found, no long walk
    changed.insert(changed.begin() + 36, {'J', 'U', 'N', 'K', 0xF0, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(reader_.open(write(changed)), 0);

    auto opens = [&](auto change) {
        Image image = good;
        change(image);
        return openImage(image) != 0;
    };
    EXPECT_FALSE(opens([](Image& i) { i.data = numberedFrames(44000); }));  // under a second
    EXPECT_FALSE(opens([](Image& i) { i.tag = 3, i.bits = 32, i.data = numberedFrames(44100 + 10, 4); }));  // float
    EXPECT_FALSE(opens([](Image& i) { i.tag = 2, i.bits = 4; }));           // ADPCM
    EXPECT_FALSE(opens([](Image& i) { i.tag = 0xFFFE, putExtensible(i.fmtTail, 3); }));  // float
    EXPECT_FALSE(opens([](Image& i) { i.tag = 0xFFFE, i.fmtTail.assign(10, 0); }));  // no GUID
    EXPECT_FALSE(opens([](Image& i) { i.channels = 0; }));
    EXPECT_FALSE(opens([](Image& i) { i.rate = 0; }));
    EXPECT_FALSE(opens([](Image& i) { i.bytesPerSecond = 0; }));
    EXPECT_FALSE(opens([](Image& i) { i.bytesPerSecond = 1; }));           // nothing per block
    EXPECT_FALSE(opens([](Image& i) { i.bytesPerSecond = 0x7FFFFFFF; }));  // a 2 GB block read
    // A failed open leaves the reader closed.
    EXPECT_EQ(decode(), -1);
    EXPECT_EQ(reader_.duration(), 0);
}

}  // namespace
}  // namespace spinlorex
