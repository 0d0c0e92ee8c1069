#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/WavReader.h"
#include "support/TempDir.h"
#include "support/Tracks.h"

namespace spinlorex {
namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v) { b.insert(b.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}); }
void put32(Bytes& b, uint32_t v) { put16(b, v & 0xFFFF), put16(b, v >> 16); }
void putChunk(Bytes& b, const char* id, const Bytes& body, int64_t declared = -1) {
    b.insert(b.end(), id, id + 4);
    put32(b, static_cast<uint32_t>(declared >= 0 ? declared : static_cast<int64_t>(body.size())));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
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
        fmt.insert(fmt.end(), fmtTail.begin(), fmtTail.end());
        Bytes body = {'W', 'A', 'V', 'E'};
        putChunk(body, "fmt ", fmt);
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
    std::string write(const Bytes& bytes) {
        const std::string path = dir_.file("t.wav");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
    int32_t openImage(const Image& image) { return reader_.open(write(image.build())); }
    int32_t decode() { return reader_.decodeBlock(block_.data()); }
    // The number (modulo 65536) of the block's frame i, checking the channel order.
    uint16_t frameAt(int i) {
        EXPECT_EQ(block_[2 * i + 1], static_cast<int16_t>(-block_[2 * i] - 1)) << i;
        return static_cast<uint16_t>(block_[2 * i]);
    }
    static uint16_t number(uint64_t n) { return static_cast<uint16_t>(n); }

    test::TempDir dir_;
    WavReader reader_;
    std::vector<int16_t> block_ = std::vector<int16_t>(kBlockSamples);
};

TEST_F(WavReaderTest, SixteenBitStereoPassesUnchangedToTheEnd) {
    synth::Params p;
    p.seconds = 3.0;
    const std::string path = test::makeWav(p, 16);
    const std::vector<int16_t> source = synth::toPcm16(synth::render(p));

    ASSERT_EQ(reader_.open(path), 3);
    EXPECT_EQ(reader_.fileSize(), std::filesystem::file_size(path));
    EXPECT_EQ(reader_.blockBytes(), 4608u);
    const size_t blocks = source.size() / kBlockSamples;
    for (size_t b = 0; b < blocks; ++b) {
        ASSERT_EQ(decode(), 1) << b;
        ASSERT_EQ(0, std::memcmp(block_.data(), &source[b * kBlockSamples], 4608)) << b;
        EXPECT_FLOAT_EQ(reader_.position(), static_cast<float>((b + 1) * 4608.0 / (source.size() * 2.0)));
    }
    // The data ends inside the next block: the track ends after the last whole one.
    EXPECT_EQ(decode(), 0);
    EXPECT_EQ(decode(), 0);
}

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

TEST_F(WavReaderTest, RatesAbove44100KeepTheFirst1152FramesOfEachBlock) {
    Image image;
    image.rate = 48000;
    image.data = numberedFrames(60000);
    ASSERT_EQ(openImage(image), 1);
    EXPECT_EQ(reader_.blockBytes(), 5016u);  // 1254 frames
    for (int b = 0; b < 3; ++b) {
        ASSERT_EQ(decode(), 1);
        EXPECT_EQ(frameAt(0), b * 1254);
        EXPECT_EQ(frameAt(1151), b * 1254 + 1151);
    }
}

TEST_F(WavReaderTest, WideAndExtensibleSamplesKeepTheirTop16BitsAcrossSeeks) {
    // 24-bit, the same behind WAVE_FORMAT_EXTENSIBLE, and 32-bit.
    for (int variant = 0; variant < 3; ++variant) {
        Image image;
        image.bits = variant == 2 ? 32 : 24;
        const int width = image.bits / 8;
        image.data = numberedFrames(50000, width);
        if (variant == 1) {
            image.tag = 0xFFFE;
            put16(image.fmtTail, 22), put16(image.fmtTail, 24), put32(image.fmtTail, 3);
            image.fmtTail.insert(image.fmtTail.end(), {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71});
        }
        ASSERT_EQ(openImage(image), 1) << variant;
        ASSERT_EQ(decode(), 1);
        ASSERT_EQ(decode(), 1);
        for (int i = 0; i < kBlockFrames; ++i) ASSERT_EQ(frameAt(i), kBlockFrames + i) << variant;
        // Seeks land on whole 6- or 8-byte frames.
        for (float f : {0.1f, 0.37f, 0.8f}) {
            reader_.seek(f);
            ASSERT_EQ(decode(), 1);
            EXPECT_EQ(frameAt(0), number(static_cast<uint64_t>(image.data.size() * static_cast<double>(f)) / (2u * width)));
        }
    }
}

TEST_F(WavReaderTest, SeekKeepsChannelOrderWhenDataStartsAtOffset46) {
    Image image;
    put16(image.fmtTail, 0);  // cbSize: an 18-byte fmt chunk
    image.data = numberedFrames(3 * 44100);
    ASSERT_EQ(openImage(image), 3);
    ASSERT_EQ(reader_.dataOffset(), 46u);
    for (float f : {0.0f, 0.1f, 1.0f / 3.0f, 0.777f, 0.99f}) {
        reader_.seek(f);
        EXPECT_EQ(reader_.position(), f);
        ASSERT_EQ(decode(), 1) << f;
        EXPECT_EQ(frameAt(0), number(static_cast<uint64_t>(image.data.size() * static_cast<double>(f)) / 4)) << f;
        EXPECT_GT(reader_.position(), f);
    }
    reader_.seek(1.0f);
    EXPECT_EQ(decode(), 0);
    reader_.seek(-0.5f);
    ASSERT_EQ(decode(), 1);
    EXPECT_EQ(frameAt(0), 0);
}

TEST_F(WavReaderTest, ChunkSizesArePaddedAndNeverTrustedPastTheFile) {
    // An odd-sized chunk with its pad byte before the data, and a data chunk claiming 40
    // seconds in a file of 2: duration and block count follow the bytes really there.
    Image image;
    image.junk = {'a', 'b', 'c'};
    image.data = numberedFrames(2 * 44100 + 600);
    image.declaredData = 40 * 44100 * 4;
    ASSERT_EQ(openImage(image), 2);
    int blocks = 0;
    while (decode() == 1) ++blocks;
    EXPECT_EQ(blocks, (2 * 44100 + 600) / kBlockFrames);
    EXPECT_EQ(decode(), 0);

    // A chunk claiming 4 GiB before the data: no data found, no long walk.
    image.junk.clear();
    Bytes bytes = image.build();
    bytes.insert(bytes.begin() + 36, {'J', 'U', 'N', 'K', 0xF0, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(reader_.open(write(bytes)), 0);
}

TEST_F(WavReaderTest, BrokenUnsupportedOrShortFilesFailToOpen) {
    EXPECT_EQ(reader_.open(dir_.file("missing.wav")), 0);
    EXPECT_EQ(reader_.open(write({})), 0);
    EXPECT_EQ(reader_.open(dir_.path().string()), 0);
    const std::string text(3000, 'w');
    EXPECT_EQ(reader_.open(write(Bytes(text.begin(), text.end()))), 0);

    Image good;
    good.data = numberedFrames(44100 + 10);
    const Bytes whole = good.build();
    ASSERT_EQ(reader_.open(write(whole)), 1);
    EXPECT_EQ(reader_.open(write(Bytes(whole.begin(), whole.begin() + 30))), 0);  // cut in fmt
    EXPECT_EQ(reader_.open(write(Bytes(whole.begin(), whole.begin() + 40))), 0);  // no data
    Bytes changed = whole;
    changed[16] = 14;  // a fmt chunk shorter than WAVEFORMAT
    EXPECT_EQ(reader_.open(write(changed)), 0);
    changed = whole;
    std::memcpy(&changed[8], "AVI ", 4);
    EXPECT_EQ(reader_.open(write(changed)), 0);

    auto opens = [&](auto change) {
        Image image = good;
        change(image);
        return openImage(image) != 0;
    };
    EXPECT_FALSE(opens([](Image& i) { i.data = numberedFrames(44000); }));  // under a second
    EXPECT_FALSE(opens([](Image& i) { i.tag = 3, i.bits = 32; }));          // float
    EXPECT_FALSE(opens([](Image& i) { i.tag = 2, i.bits = 4; }));           // ADPCM
    EXPECT_FALSE(opens([](Image& i) {  // extensible float
        i.tag = 0xFFFE;
        put16(i.fmtTail, 22), put16(i.fmtTail, 16), put32(i.fmtTail, 3);
        i.fmtTail.insert(i.fmtTail.end(), {3, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71});
    }));
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

TEST_F(WavReaderTest, InconsistentByteRatesStayInsideTheBlock) {
    // 288 frames per block at 44100: the block holds the first frame and ends with the
    // last one read.
    Image image;
    image.data = numberedFrames(5 * 44100);
    image.bytesPerSecond = 44100;
    ASSERT_GT(openImage(image), 0);
    ASSERT_EQ(decode(), 1);
    EXPECT_EQ(frameAt(0), 0);
    EXPECT_EQ(frameAt(1151), 287);

    // 3456 frames per block at 22050: the first 1152.
    image.rate = 22050;
    image.bytesPerSecond = 44100 * 4 * 3;
    ASSERT_GT(openImage(image), 0);
    ASSERT_EQ(decode(), 1);
    ASSERT_EQ(decode(), 1);
    EXPECT_EQ(frameAt(0), 3456);
    EXPECT_EQ(frameAt(1151), 3456 + 1151);
}

}  // namespace
}  // namespace spinlorex
