#include "audio/WavReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "support/Files.h"
#include "support/ToneFit.h"
#include "tools/synth/Synth.h"

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

// The WAVE_FORMAT_EXTENSIBLE tail: cbSize, valid bits, channel mask and the sub-format
// GUID for PCM (1) or float (3).
void putExtensible(Bytes& fmtTail, uint8_t subFormat, uint32_t mask = 3) {
    put16(fmtTail, 22), put16(fmtTail, 24), put32(fmtTail, mask);
    fmtTail.insert(fmtTail.end(),
                   {subFormat, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71});
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
// so a frame's number and the channel order can be read back (the bytes below stay under
// half a 16-bit step).
Bytes numberedFrames(int32_t frames, int width = 2) {
    Bytes b;
    for (int32_t n = 0; n < frames; ++n) {
        for (int32_t top : {n, -n - 1}) {
            for (int k = 2; k < width; ++k) b.push_back(static_cast<uint8_t>(0x15 + k));
            put16(b, static_cast<uint16_t>(top));
        }
    }
    return b;
}

// `frames` frames whose every channel holds its own 16-bit value.
Bytes constantChannels(int32_t frames, const std::vector<int16_t>& values) {
    Bytes b;
    for (int32_t n = 0; n < frames; ++n)
        for (int16_t v : values) put16(b, static_cast<uint16_t>(v));
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
    // Decodes `blocks` blocks into one buffer.
    std::vector<int16_t> decodeBlocks(int blocks) {
        std::vector<int16_t> all;
        for (int b = 0; b < blocks && decode() == 1; ++b)
            all.insert(all.end(), block_.begin(), block_.end());
        return all;
    }

    test::TempDir dir_;
    WavReader reader_;
    std::vector<int16_t> block_ = std::vector<int16_t>(kBlockSamples);
};

TEST_F(WavReaderTest, PcmPlaysInOrderToTheEndAndSeeksOntoTheDesignatedFrameInChannelOrder) {
    const int32_t frames = 3 * 44100 + 600;
    // 16-, 24- and 32-bit stereo; 24-bit behind WAVE_FORMAT_EXTENSIBLE; an 18-byte fmt chunk,
    // which puts the data at offset 46, off the 4-byte grid; an odd-sized chunk with its pad
    // byte before a data chunk that claims 40 s: the bytes really there count.
    enum Layout { kPlain, kExtensible, kDataAt46, kPaddedAndOverclaimed };
    for (const auto& [bits, layout] : {std::pair{16, kPlain},
                                       {24, kPlain},
                                       {32, kPlain},
                                       {24, kExtensible},
                                       {16, kDataAt46},
                                       {16, kPaddedAndOverclaimed}}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, layout " << layout);
        Image image;
        image.bits = static_cast<uint16_t>(bits);
        const int width = bits / 8;
        image.data = numberedFrames(frames, width);
        if (layout == kExtensible) image.tag = 0xFFFE, putExtensible(image.fmtTail, 1);
        if (layout == kDataAt46) put16(image.fmtTail, 0);  // cbSize
        if (layout == kPaddedAndOverclaimed)
            image.junk = {'a', 'b', 'c'}, image.declaredData = 40 * 44100 * 4;
        const std::string path = write(image.build());
        ASSERT_EQ(reader_.open(path), 3);
        EXPECT_EQ(reader_.fileSize(), std::filesystem::file_size(path));
        EXPECT_EQ(reader_.totalFrames(), frames);
        EXPECT_TRUE(layout != kDataAt46 || reader_.dataOffset() == 46u);
        for (int b = 0; b < frames / kBlockFrames; ++b) {
            ASSERT_EQ(decode(), 1) << b;
            for (int i = 0; i < kBlockFrames; ++i)
                ASSERT_EQ(frameAt(i), static_cast<uint16_t>(b * kBlockFrames + i));
            EXPECT_FLOAT_EQ(reader_.position(),
                            static_cast<float>((b + 1.0) * kBlockFrames / frames));
        }
        // The data ends inside the next block: the track ends after the last whole one.
        EXPECT_EQ(decode(), 0);
        EXPECT_EQ(decode(), 0);
        for (float f : {0.0f, 0.1f, 1.0f / 3.0f, 0.777f, 0.99f}) {
            reader_.seek(f);
            EXPECT_EQ(reader_.position(), f);
            const int64_t sought = std::llround(double{f} * frames);
            EXPECT_EQ(reader_.nextFrame(), sought);
            ASSERT_EQ(decode(), 1) << f;
            EXPECT_EQ(frameAt(0), static_cast<uint16_t>(sought)) << f;
            EXPECT_EQ(reader_.nextFrame(), sought + kBlockFrames);
        }
        reader_.seek(1.0f);
        EXPECT_EQ(decode(), 0);
        reader_.seek(-0.5f);
        ASSERT_EQ(decode(), 1);
        EXPECT_EQ(frameAt(0), 0);
    }
}

TEST_F(WavReaderTest, EveryRateAndDepthPlaysAOneKilohertzToneCleanAtItsPitch) {
    // The rest of the signal against the tone: the source's own 16 bits and the output's
    // set a floor near -89 dB for a tone at half scale; 24-bit and float sources have only
    // the output's.
    for (int32_t rate : {8000, 11025, 22050, 32000, 44100, 48000, 88200, 96000, 192000}) {
        for (int bits : {16, 24, -32}) {  // -32: float
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << bits << " bits");
            const std::string path = dir_.file("tone.wav");
            const std::vector<float> tone = synth::tone(1000.0, 2.5, rate, 2, 0.5);
            ASSERT_TRUE(bits > 0 ? synth::writeWav(path, tone, rate, 2, bits)
                                 : synth::writeSndfile(path, tone, rate, 2, 32));
            ASSERT_EQ(reader_.open(path), 2);
            EXPECT_EQ(reader_.sourceRate(), rate);
            EXPECT_EQ(reader_.totalFrames(), static_cast<int64_t>(tone.size() / 2) * 44100 / rate);
            const std::vector<int16_t> out = decodeBlocks(80);
            ASSERT_EQ(out.size(), 80u * kBlockSamples);
            // A second from 0.5 s on: both channels the same, one clean tone.
            for (size_t i = 0; i < out.size(); i += 2) ASSERT_EQ(out[i], out[i + 1]) << i;
            const test::ToneFit fit = test::fitTone(test::channelOf(&out[2 * 22050], 44100, 0));
            EXPECT_NEAR(fit.hz(), 1000.0, 0.1);
            EXPECT_NEAR(fit.amplitude, 0.5 * 32767, 30);
            EXPECT_LT(fit.restDb, bits == 16 ? -85.0 : -88.0);
        }
    }
}

TEST_F(WavReaderTest, SeeksAtEveryRateLandOnTheDesignatedFrame) {
    // A 44.1 Hz tone is a clock: its phase tells, to a fraction of a frame, which frame
    // of the 44100 Hz timeline a block starts at (modulo its 1000-frame period).
    for (int32_t rate : {22050, 32000, 48000, 96000}) {
        SCOPED_TRACE(rate);
        const std::string path = dir_.file("clock.wav");
        ASSERT_TRUE(synth::writeWav(path, synth::tone(44.1, 10.0, rate, 2, 0.9), rate, 2, 24));
        ASSERT_EQ(reader_.open(path), 10);
        for (float f : {0.0f, 0.3f, 0.123457f, 0.7f, 0.5f, 0.9f}) {
            reader_.seek(f);
            const int64_t target = std::llround(double{f} * 441000);
            EXPECT_EQ(reader_.nextFrame(), target);
            ASSERT_EQ(decode(), 1);
            const double at =
                test::sinePosition(test::channelOf(block_.data(), kBlockFrames, 0), 44.1 / 44100);
            double off = at - static_cast<double>(target % 1000);
            off -= 1000.0 * std::round(off / 1000.0);
            EXPECT_NEAR(off, 0.0, 0.05) << f;
        }
    }
}

TEST_F(WavReaderTest, MoreThanTwoChannelsFoldToStereoByTheirMaskWithoutClipping) {
    const std::vector<int16_t> values = {1000, 2000, 4000, 8000, 16000, -12000, 500, 300};
    const double h = std::sqrt(0.5);  // -3 dB
    struct Case {
        const char* name;
        uint16_t channels;
        int64_t mask;  // -1: plain PCM, no mask
        double left, right;
    };
    const Case cases[] = {
        // 5.1: FL FR FC LFE BL BR; each side takes 1 + 2 x -3 dB, scaled back to 1.
        {"5.1", 6, 0x3F, (1000 + h * 4000 + h * 16000) / (1 + 2 * h),
         (2000 + h * 4000 - h * 12000) / (1 + 2 * h)},
        // Quad: FL FR BL BR.
        {"quad", 4, 0x33, (1000 + h * 4000) / (1 + h), (2000 + h * 8000) / (1 + h)},
        // 7.1: FL FR FC LFE BL BR SL SR.
        {"7.1", 8, 0x63F, (1000 + h * (4000 + 16000 + 500)) / (1 + 3 * h),
         (2000 + h * (4000 - 12000 + 300)) / (1 + 3 * h)},
        // Front pair and LFE: nothing to scale.
        {"2.1", 3, 0xB, 1000, 2000},
        // No mask, or one that places neither side: the first two channels.
        {"plain", 4, -1, 1000, 2000},
        {"unplaced", 4, 0, 1000, 2000},
        {"lfe only", 3, 0x8, 1000, 2000},
        // Mono on both sides.
        {"mono", 1, -1, 1000, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image image;
        image.channels = c.channels;
        if (c.mask >= 0)
            image.tag = 0xFFFE, putExtensible(image.fmtTail, 1, static_cast<uint32_t>(c.mask));
        image.data = constantChannels(
            44100 + 2000, std::vector<int16_t>(values.begin(), values.begin() + c.channels));
        ASSERT_EQ(openImage(image), 1);
        ASSERT_EQ(decode(), 1);
        for (int i = 0; i < kBlockFrames; i += 100) {
            EXPECT_NEAR(block_[2 * i], c.left, 0.5001) << i;
            EXPECT_NEAR(block_[2 * i + 1], c.right, 0.5001) << i;
        }
    }
    // Every channel at full scale, both polarities: the sum stays within 16 bits rather
    // than being clipped.
    for (int16_t v : {int16_t{32767}, int16_t{-32768}}) {
        Image image;
        image.channels = 6, image.tag = 0xFFFE, putExtensible(image.fmtTail, 1, 0x3F);
        image.data = constantChannels(44100 + 2000, std::vector<int16_t>(6, v));
        ASSERT_EQ(openImage(image), 1);
        ASSERT_EQ(decode(), 1);
        EXPECT_NEAR(block_[0], v, 1);
        EXPECT_NEAR(block_[1], v, 1);
    }
}

TEST_F(WavReaderTest, FloatSamplesAreReadAndClippedToSixteenBits) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> in = {0.25f, -0.5f, 1.5f, -2.0f,         nan,
                                   1.0f,  -1.0f, 0.0f, 0.75f / 32768, -0.75f};
    const std::vector<int16_t> expected = {8192,  -16384, 32767, -32768, 0,
                                           32767, -32768, 0,     1,      -24576};
    for (int width : {4, 8}) {
        for (bool extensible : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << width * 8 << "-bit float" << (extensible ? ", extensible" : ""));
            Image image;
            image.tag = extensible ? 0xFFFE : 3;
            image.bits = static_cast<uint16_t>(width * 8);
            if (extensible) putExtensible(image.fmtTail, 3);
            // 44200 frames repeating the values on both channels.
            for (int n = 0; n < 2 * 44200; ++n) {
                const float v = in[static_cast<size_t>(n / 2) % in.size()];
                if (width == 4) {
                    uint32_t u;
                    std::memcpy(&u, &v, 4);
                    put32(image.data, u);
                } else {
                    const double d = v;
                    uint64_t u;
                    std::memcpy(&u, &d, 8);
                    put32(image.data, static_cast<uint32_t>(u)),
                        put32(image.data, static_cast<uint32_t>(u >> 32));
                }
            }
            ASSERT_EQ(openImage(image), 1);
            EXPECT_TRUE(reader_.format().isFloat);
            ASSERT_EQ(decode(), 1);
            for (int i = 0; i < kBlockFrames; ++i) {
                ASSERT_EQ(block_[2 * i], expected[static_cast<size_t>(i) % in.size()]) << i;
                ASSERT_EQ(block_[2 * i + 1], block_[2 * i]) << i;
            }
        }
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
    EXPECT_FALSE(opens([](Image& i) { i.tag = 2, i.bits = 4; }));           // ADPCM
    EXPECT_FALSE(opens([](Image& i) { i.tag = 3, i.bits = 16; }));          // 16-bit "float"
    EXPECT_FALSE(opens([](Image& i) { i.tag = 0xFFFE, putExtensible(i.fmtTail, 2); }));  // ADPCM
    EXPECT_FALSE(opens([](Image& i) { i.tag = 0xFFFE, i.fmtTail.assign(10, 0); }));      // no GUID
    EXPECT_FALSE(opens([](Image& i) { i.channels = 0; }));
    EXPECT_FALSE(opens([](Image& i) { i.channels = 65, i.data = Bytes(65 * 2 * 44200, 0); }));
    EXPECT_FALSE(opens([](Image& i) { i.rate = 0; }));
    EXPECT_FALSE(
        opens([](Image& i) { i.rate = 999, i.data = numberedFrames(5000); }));  // 5 s, too slow
    EXPECT_FALSE(opens([](Image& i) { i.rate = 768001, i.data = numberedFrames(768001); }));
    EXPECT_TRUE(opens([](Image& i) { i.rate = 1000, i.data = numberedFrames(1500); }));
    ASSERT_EQ(decode(), 1);  // 1.5 s at 1 kHz: 66150 frames at 44.1 kHz
    // The byte rate only repeats what rate and block align say; a wrong one is ignored.
    EXPECT_TRUE(opens([](Image& i) { i.bytesPerSecond = 0; }));
    EXPECT_TRUE(opens([](Image& i) { i.bytesPerSecond = 0x7FFFFFFF; }));
    EXPECT_EQ(reader_.duration(), 1);
    // A failed open leaves the reader closed.
    EXPECT_FALSE(opens([](Image& i) { i.rate = 0; }));
    EXPECT_EQ(decode(), -1);
    EXPECT_EQ(reader_.duration(), 0);
}

}  // namespace
}  // namespace spinlorex
