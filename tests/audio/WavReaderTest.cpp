#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

void put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void putChunk(Bytes& b, const char* id, const Bytes& body, int64_t declared = -1) {
    b.insert(b.end(), id, id + 4);
    put32(b, declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
}

// A hand-built RIFF/WAVE image; byte rate and block align follow the other fields unless
// given.
struct Image {
    uint16_t tag = 1;
    uint16_t channels = 2;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    int64_t bytesPerSecond = -1;
    int64_t blockAlign = -1;
    Bytes fmtTail;               // bytes after the 16-byte WAVEFORMAT
    std::vector<std::pair<std::string, Bytes>> before;  // chunks between fmt and data
    Bytes data;
    int64_t declaredData = -1;

    Bytes build() const {
        const uint32_t align = blockAlign >= 0 ? static_cast<uint32_t>(blockAlign) : channels * bits / 8u;
        Bytes fmt;
        put16(fmt, tag);
        put16(fmt, channels);
        put32(fmt, rate);
        put32(fmt, bytesPerSecond >= 0 ? static_cast<uint32_t>(bytesPerSecond) : rate * align);
        put16(fmt, align);
        put16(fmt, bits);
        fmt.insert(fmt.end(), fmtTail.begin(), fmtTail.end());
        Bytes body = {'W', 'A', 'V', 'E'};
        putChunk(body, "fmt ", fmt);
        for (const auto& [id, bytes] : before) putChunk(body, id.c_str(), bytes);
        putChunk(body, "data", data, declaredData);
        Bytes file;
        putChunk(file, "RIFF", body);
        return file;
    }
};

// Stereo 16-bit frames numbered from 0: left = n, right = -n - 1, so a frame's number
// and the channel order can be read back.
Bytes numberedFrames(int32_t frames) {
    Bytes b;
    for (int32_t n = 0; n < frames; ++n) {
        put16(b, static_cast<uint16_t>(n));
        put16(b, static_cast<uint16_t>(-n - 1));
    }
    return b;
}

class WavReaderTest : public ::testing::Test {
protected:
    std::string write(const Bytes& bytes, const std::string& name = "t.wav") {
        const std::string path = dir_.file(name);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
    int32_t openImage(const Image& image) { return reader_.open(write(image.build())); }

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
        ASSERT_EQ(reader_.decodeBlock(block_.data()), 1) << b;
        ASSERT_EQ(0, std::memcmp(block_.data(), &source[b * kBlockSamples], 4608)) << b;
        EXPECT_FLOAT_EQ(reader_.position(), static_cast<float>((b + 1) * 4608.0 / (source.size() * 2.0)));
    }
    // The data ends inside the next block: the track ends after the last whole one.
    EXPECT_EQ(reader_.decodeBlock(block_.data()), 0);
    EXPECT_EQ(reader_.decodeBlock(block_.data()), 0);
}

TEST_F(WavReaderTest, EightBitMono22050RepeatsEachSample) {
    Image image;
    image.channels = 1;
    image.bits = 8;
    image.rate = 22050;
    for (int i = 0; i < 30000; ++i) image.data.push_back(static_cast<uint8_t>(i * 7));
    ASSERT_EQ(openImage(image), 1);
    EXPECT_EQ(reader_.blockBytes(), 576u);
    for (int b = 0; b < 2; ++b) {
        ASSERT_EQ(reader_.decodeBlock(block_.data()), 1);
        for (int i = 0; i < kBlockFrames; ++i) {
            const int16_t want = static_cast<int16_t>((image.data[b * 576 + i / 2] - 128) * 256);
            ASSERT_EQ(block_[2 * i], want) << i;
            ASSERT_EQ(block_[2 * i + 1], want) << i;
        }
    }
}

TEST_F(WavReaderTest, RatesAbove44100KeepTheFirst1152FramesOfEachBlock) {
    Image image;
    image.rate = 48000;
    image.data = numberedFrames(60000);
    ASSERT_EQ(openImage(image), 1);
    EXPECT_EQ(reader_.blockBytes(), 5016u);  // 1254 frames
    for (int b = 0; b < 3; ++b) {
        ASSERT_EQ(reader_.decodeBlock(block_.data()), 1);
        for (int i = 0; i < kBlockFrames; ++i) {
            ASSERT_EQ(block_[2 * i], static_cast<int16_t>(b * 1254 + i));
            ASSERT_EQ(block_[2 * i + 1], static_cast<int16_t>(-(b * 1254 + i) - 1));
        }
    }
}

TEST_F(WavReaderTest, WideAndExtensibleSamplesKeepTheirTop16Bits) {
    // 24-bit stereo, then the same in a WAVE_FORMAT_EXTENSIBLE header, then 32-bit.
    for (int variant = 0; variant < 3; ++variant) {
        Image image;
        image.bits = variant == 2 ? 32 : 24;
        const int width = image.bits / 8;
        for (int n = 0; n < 50000; ++n) {
            for (int16_t top : {static_cast<int16_t>(n), static_cast<int16_t>(-n - 1)}) {
                for (int k = 0; k < width - 2; ++k) image.data.push_back(static_cast<uint8_t>(0xA5 + k));
                put16(image.data, static_cast<uint16_t>(top));
            }
        }
        if (variant == 1) {
            image.tag = 0xFFFE;
            put16(image.fmtTail, 22);          // cbSize
            put16(image.fmtTail, 24);          // valid bits
            put32(image.fmtTail, 3);           // front left and right
            const uint8_t pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71};
            image.fmtTail.insert(image.fmtTail.end(), pcm, pcm + 16);
        }
        ASSERT_EQ(openImage(image), 1) << variant;
        ASSERT_EQ(reader_.decodeBlock(block_.data()), 1);
        ASSERT_EQ(reader_.decodeBlock(block_.data()), 1);
        for (int i = 0; i < kBlockFrames; ++i) {
            ASSERT_EQ(block_[2 * i], static_cast<int16_t>(kBlockFrames + i)) << variant;
            ASSERT_EQ(block_[2 * i + 1], static_cast<int16_t>(-(kBlockFrames + i) - 1)) << variant;
        }
        // Seeks land on whole 6- or 8-byte frames.
        for (float f : {0.1f, 0.37f, 0.8f}) {
            reader_.seek(f);
            ASSERT_EQ(reader_.decodeBlock(block_.data()), 1);
            const int first = static_cast<int>(static_cast<uint64_t>(image.data.size() * static_cast<double>(f)) /
                                               (2u * width));
            ASSERT_EQ(block_[0], static_cast<int16_t>(first)) << variant << " " << f;
            ASSERT_EQ(block_[1], static_cast<int16_t>(-first - 1)) << variant << " " << f;
        }
    }

    // The writer's own 24- and 32-bit files agree with its 16-bit one to the last bit.
    synth::Params p;
    p.seconds = 1.5;
    p.channels = 1;
    std::vector<int16_t> ref(kBlockSamples);
    WavReader ref16;
    ASSERT_EQ(ref16.open(test::makeWav(p, 16)), 1);
    for (int bits : {24, 32}) {
        ASSERT_EQ(reader_.open(test::makeWav(p, bits)), 1);
        ref16.seek(0.0f);
        for (int b = 0; b < 20; ++b) {
            ASSERT_EQ(ref16.decodeBlock(ref.data()), 1);
            ASSERT_EQ(reader_.decodeBlock(block_.data()), 1);
            for (int i = 0; i < kBlockSamples; ++i) ASSERT_NEAR(block_[i], ref[i], 1) << bits;
        }
    }
}

TEST_F(WavReaderTest, FormatsOtherThanIntegerPcmAreRefused) {
    Image image;
    image.data = numberedFrames(50000);
    image.tag = 3;  // IEEE float
    image.bits = 32;
    EXPECT_EQ(openImage(image), 0);
    image.tag = 2;  // ADPCM
    image.bits = 4;
    EXPECT_EQ(openImage(image), 0);

    // Extensible with the float sub-format, and one whose fmt chunk is too short for it.
    image.tag = 0xFFFE;
    image.bits = 32;
    put16(image.fmtTail, 22);
    put16(image.fmtTail, 32);
    put32(image.fmtTail, 3);
    const uint8_t flt[16] = {3, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71};
    image.fmtTail.insert(image.fmtTail.end(), flt, flt + 16);
    EXPECT_EQ(openImage(image), 0);
    image.fmtTail.resize(10);
    EXPECT_EQ(openImage(image), 0);
    EXPECT_EQ(reader_.decodeBlock(block_.data()), -1);
}

TEST_F(WavReaderTest, SeekKeepsChannelOrderWhenDataStartsAtOffset46) {
    Image image;
    put16(image.fmtTail, 0);  // cbSize: an 18-byte fmt chunk
    image.data = numberedFrames(3 * 44100);
    ASSERT_EQ(openImage(image), 3);
    ASSERT_EQ(reader_.dataOffset(), 46u);
    for (float f : {0.0f, 0.1f, 0.25f, 1.0f / 3.0f, 0.5f, 0.777f, 0.99f}) {
        reader_.seek(f);
        EXPECT_EQ(reader_.position(), f);
        ASSERT_EQ(reader_.decodeBlock(block_.data()), 1) << f;
        const int first = static_cast<int>(static_cast<uint64_t>(image.data.size() * static_cast<double>(f)) / 4);
        EXPECT_EQ(block_[0], static_cast<int16_t>(first)) << f;
        EXPECT_EQ(block_[1], static_cast<int16_t>(-first - 1)) << f;
        EXPECT_GT(reader_.position(), f);
    }
    reader_.seek(1.0f);
    EXPECT_EQ(reader_.decodeBlock(block_.data()), 0);
    reader_.seek(-0.5f);
    ASSERT_EQ(reader_.decodeBlock(block_.data()), 1);
    EXPECT_EQ(block_[0], 0);
}

TEST_F(WavReaderTest, ChunksAreWalkedWithPaddingAndClampedToTheFile) {
    // An odd-sized chunk with its pad byte before "data"; the block count follows the data.
    Image image;
    image.before.push_back({"LIST", {'a', 'b', 'c'}});
    image.data = numberedFrames(44100 + 100);
    ASSERT_EQ(openImage(image), 1);
    int blocks = 0;
    while (reader_.decodeBlock(block_.data()) == 1) ++blocks;
    EXPECT_EQ(blocks, (44100 + 100) / kBlockFrames);

    // A data chunk that claims more than the file holds: duration and blocks follow the
    // bytes that are really there.
    image.before.clear();
    image.data = numberedFrames(2 * 44100 + 600);
    image.declaredData = 40 * 44100 * 4;
    ASSERT_EQ(openImage(image), 2);
    blocks = 0;
    while (reader_.decodeBlock(block_.data()) == 1) ++blocks;
    EXPECT_EQ(blocks, (2 * 44100 + 600) / kBlockFrames);
    EXPECT_EQ(reader_.decodeBlock(block_.data()), 0);

    // A junk chunk claiming 4 GiB before the data: no data found, no long walk.
    image.declaredData = -1;
    Bytes bytes = image.build();
    Bytes junk = {'J', 'U', 'N', 'K', 0xF0, 0xFF, 0xFF, 0xFF};
    bytes.insert(bytes.begin() + 36, junk.begin(), junk.end());
    EXPECT_EQ(reader_.open(write(bytes)), 0);
}

TEST_F(WavReaderTest, BrokenOrUnplayableFilesFailToOpen) {
    EXPECT_EQ(reader_.open(dir_.file("missing.wav")), 0);
    EXPECT_EQ(reader_.open(write({})), 0);
    EXPECT_EQ(reader_.open(dir_.path().string()), 0);
    const std::string text = "This is not a sound file, just some words in a text file.\n";
    EXPECT_EQ(reader_.open(write(Bytes(text.begin(), text.end()))), 0);

    Image good;
    good.data = numberedFrames(44100 + 10);
    const Bytes whole = good.build();
    ASSERT_EQ(reader_.open(write(whole)), 1);
    // Cut inside the fmt chunk, and at the data chunk's header.
    EXPECT_EQ(reader_.open(write(Bytes(whole.begin(), whole.begin() + 30))), 0);
    EXPECT_EQ(reader_.open(write(Bytes(whole.begin(), whole.begin() + 40))), 0);
    Bytes shortFmt = whole;
    shortFmt[16] = 14;  // a fmt chunk shorter than WAVEFORMAT
    EXPECT_EQ(reader_.open(write(shortFmt)), 0);
    Bytes wrongForm = whole;
    std::memcpy(&wrongForm[8], "AVI ", 4);
    EXPECT_EQ(reader_.open(write(wrongForm)), 0);

    auto refused = [&](auto change) {
        Image image = good;
        change(image);
        return openImage(image) == 0;
    };
    EXPECT_TRUE(refused([](Image& i) { i.data = numberedFrames(44000); }));  // under a second
    EXPECT_TRUE(refused([](Image& i) { i.channels = 0; }));
    EXPECT_TRUE(refused([](Image& i) { i.bytesPerSecond = 0; }));
    EXPECT_TRUE(refused([](Image& i) { i.rate = 0; }));
    EXPECT_TRUE(refused([](Image& i) { i.bytesPerSecond = 1; }));           // nothing per block
    EXPECT_TRUE(refused([](Image& i) { i.bytesPerSecond = 0x7FFFFFFF; }));  // a 2 GB block read

    // A failed open leaves the reader closed.
    EXPECT_EQ(reader_.decodeBlock(block_.data()), -1);
    EXPECT_EQ(reader_.duration(), 0);
}

TEST_F(WavReaderTest, InconsistentByteRatesStayInsideTheBlock) {
    // The byte rate says 288 frames per block at 44100: the block holds its first frame
    // and ends with what was read. Then a byte rate far above the sample rate's at 22050:
    // the first 1152 frames.
    Image image;
    image.data = numberedFrames(5 * 44100);
    image.bytesPerSecond = 44100;
    ASSERT_GT(openImage(image), 0);
    ASSERT_EQ(reader_.decodeBlock(block_.data()), 1);
    EXPECT_EQ(block_[0], 0);
    EXPECT_EQ(block_[2 * 1151], 287);

    image.rate = 22050;
    image.bytesPerSecond = 44100 * 4 * 3;
    ASSERT_GT(openImage(image), 0);
    ASSERT_EQ(reader_.decodeBlock(block_.data()), 1);
    ASSERT_EQ(reader_.decodeBlock(block_.data()), 1);
    EXPECT_EQ(block_[0], static_cast<int16_t>(3456));
    EXPECT_EQ(block_[2 * 1151], static_cast<int16_t>(3456 + 1151));
}

}  // namespace
}  // namespace spinlorex
