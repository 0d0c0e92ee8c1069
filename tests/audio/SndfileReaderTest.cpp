#include "audio/SndfileReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "support/Files.h"
#include "support/ToneFit.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

// Stereo frames whose 16-bit value tells their number: left = n, right = -n - 1 (modulo
// 32768), as floats a 16-bit FLAC stores exactly.
std::vector<float> numberedFrames(int32_t frames) {
    std::vector<float> s;
    for (int32_t n = 0; n < frames; ++n) {
        const int32_t v = n % 32768;
        s.push_back(static_cast<float>(v) / 32768.0f);
        s.push_back(static_cast<float>(-v - 1) / 32768.0f);
    }
    return s;
}

class SndfileReaderTest : public ::testing::Test {
protected:
    int32_t decode() { return reader_.decodeBlock(block_.data()); }
    std::vector<int16_t> decodeBlocks(int blocks) {
        std::vector<int16_t> all;
        for (int b = 0; b < blocks && decode() == 1; ++b)
            all.insert(all.end(), block_.begin(), block_.end());
        return all;
    }
    std::string write(const std::string& name, const std::vector<float>& samples, int32_t rate,
                      int32_t channels, int32_t bits = 16) {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(synth::writeSndfile(path, samples, rate, channels, bits)) << name;
        return path;
    }

    test::TempDir dir_;
    SndfileReader reader_;
    std::vector<int16_t> block_ = std::vector<int16_t>(kBlockSamples);
};

TEST_F(SndfileReaderTest, SixteenBitFlacAt44100HzPlaysBitForBitAndSeeksOntoTheDesignatedFrame) {
    const int32_t frames = 3 * 44100 + 600;
    const std::string path = write("count.flac", numberedFrames(frames), 44100, 2);
    ASSERT_EQ(reader_.open(path), 3);
    EXPECT_EQ(reader_.fileSize(), std::filesystem::file_size(path));
    EXPECT_EQ(reader_.totalFrames(), frames);
    auto frameAt = [&](int i) {
        EXPECT_EQ(block_[2 * i + 1], static_cast<int16_t>(-block_[2 * i] - 1)) << i;
        return static_cast<int32_t>(block_[2 * i]);
    };
    for (int b = 0; b < frames / kBlockFrames; ++b) {
        ASSERT_EQ(decode(), 1) << b;
        for (int i = 0; i < kBlockFrames; ++i)
            ASSERT_EQ(frameAt(i), (b * kBlockFrames + i) % 32768);
    }
    EXPECT_EQ(decode(), 0);  // the last, partial block is not played
    for (float f : {0.5f, 0.0f, 0.123457f, 0.9f, 0.01f}) {
        reader_.seek(f);
        const int64_t target = std::llround(double{f} * frames);
        EXPECT_EQ(reader_.nextFrame(), target);
        ASSERT_EQ(decode(), 1);
        for (int i = 0; i < kBlockFrames; ++i) ASSERT_EQ(frameAt(i), (target + i) % 32768) << f;
    }
}

TEST_F(SndfileReaderTest, FlacOggAndOpusAtEveryRatePlayAOneKilohertzToneCleanAtItsPitch) {
    struct Case {
        const char* name;
        int32_t rate, bits;
        double rest;
    };
    // Lossless 16-bit has the source's rounding and the output's; 24-bit only the output's;
    // the lossy codecs their own noise on a pure tone (about -50 dB at their best quality,
    // as libsndfile decodes them itself).
    for (const Case c :
         {Case{"a.flac", 22050, 16, -85}, Case{"a.flac", 48000, 16, -85},
          Case{"a.flac", 96000, 24, -88}, Case{"a.flac", 192000, 24, -88},
          Case{"a.ogg", 44100, 0, -48}, Case{"a.oga", 32000, 0, -48}, Case{"a.ogg", 48000, 0, -48},
          Case{"a.opus", 48000, 0, -48}, Case{"a.opus", 24000, 0, -48}}) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.rate);
        ASSERT_EQ(reader_.open(
                      write(c.name, synth::tone(1000.0, 2.5, c.rate, 2, 0.5), c.rate, 2, c.bits)),
                  2);
        EXPECT_EQ(reader_.sourceRate(), c.rate);
        const std::vector<int16_t> out = decodeBlocks(80);
        ASSERT_EQ(out.size(), 80u * kBlockSamples);
        const test::ToneFit fit = test::fitTone(test::channelOf(&out[2 * 22050], 44100, 1));
        EXPECT_NEAR(fit.hz(), 1000.0, 0.1);
        EXPECT_LT(fit.restDb, c.rest);
    }
}

TEST_F(SndfileReaderTest, SeeksInEveryFormatLandOnTheDesignatedFrame) {
    // A 44.1 Hz tone is a clock: its phase tells, to a fraction of a frame, which frame of
    // the 44100 Hz timeline a block starts at (modulo its 1000-frame period). The lossy
    // codecs blur that phase themselves, so there the sought blocks are checked against a
    // straight play: the same frames, exactly at 44100 Hz, to the converter's rounding at
    // other rates.
    for (const auto& [name, rate] :
         {std::pair{"c.flac", 96000}, {"c.flac", 44100}, {"c.ogg", 44100}, {"c.opus", 48000}}) {
        SCOPED_TRACE(testing::Message() << name << " " << rate);
        const bool lossless = std::string(name).ends_with(".flac");
        ASSERT_EQ(reader_.open(write(name, synth::tone(44.1, 10.0, rate, 2, 0.8), rate, 2, 24)),
                  10);
        const std::vector<int16_t> straight = decodeBlocks(1000);
        // libsndfile's own Vorbis seeks go wrong after another seek and in the final page.
        for (float f : {0.3f, 0.0f, 0.123457f, 0.7f, 0.5001f, 0.02f, 0.995f, 0.9f}) {
            reader_.seek(f);
            const int64_t target = std::llround(double{f} * 441000);
            ASSERT_EQ(decode(), 1);
            if (lossless) {
                const double at = test::sinePosition(
                    test::channelOf(block_.data(), kBlockFrames, 0), 44.1 / 44100);
                double off = at - static_cast<double>(target % 1000);
                off -= 1000.0 * std::round(off / 1000.0);
                EXPECT_NEAR(off, 0.0, 0.05) << f;
            }
            ASSERT_LE(static_cast<size_t>(2 * target + kBlockSamples), straight.size());
            int maxDiff = 0;
            for (int i = 0; i < kBlockSamples; ++i)
                maxDiff = std::max(
                    maxDiff, std::abs(block_[i] - straight[static_cast<size_t>(2 * target + i)]));
            EXPECT_LE(maxDiff, rate == 44100 ? 0 : 2) << f;
        }
    }
}

TEST_F(SndfileReaderTest, MoreChannelsFoldToStereoInTheFormatsOwnOrder) {
    const double h = std::sqrt(0.5);
    const std::vector<float> values = {0.01f, 0.02f, 0.04f, 0.08f, 0.16f, -0.12f};
    auto constant = [&](int channels) {
        std::vector<float> s;
        for (int n = 0; n < 44100 + 3000; ++n)
            s.insert(s.end(), values.begin(), values.begin() + channels);
        return s;
    };
    struct Case {
        const char* name;
        int channels;
        double left, right;  // in units of 1/100 of full scale
    };
    for (const Case& c : {
             // FLAC 5.1: FL FR FC LFE BL BR.
             Case{"m.flac", 6, (1 + h * 4 + h * 16) / (1 + 2 * h),
                  (2 + h * 4 - h * 12) / (1 + 2 * h)},
             // FLAC three channels: L R C.
             Case{"m.flac", 3, (1 + h * 4) / (1 + h), (2 + h * 4) / (1 + h)},
             // Vorbis three channels: L C R.
             Case{"m.ogg", 3, (1 + h * 2) / (1 + h), (4 + h * 2) / (1 + h)},
         }) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.channels);
        ASSERT_EQ(reader_.open(write(c.name, constant(c.channels), 44100, c.channels)), 1);
        EXPECT_EQ(reader_.channels(), c.channels);
        ASSERT_EQ(decode(), 1);
        ASSERT_EQ(decode(), 1);  // past the lossy codec's start
        EXPECT_NEAR(block_[600], c.left * 327.68, 20);
        EXPECT_NEAR(block_[601], c.right * 327.68, 20);
    }
}

TEST_F(SndfileReaderTest, DamagedFilesCannotBeOpenedOrStopWithAnErrorWhereTheDamageIs) {
    EXPECT_EQ(reader_.open(dir_.file("missing.flac")), 0);
    EXPECT_EQ(reader_.open(dir_.path().string()), 0);
    EXPECT_EQ(reader_.open(test::writeFile(dir_.file("x.flac"), test::Bytes(5000, 'x'))), 0);
    EXPECT_EQ(reader_.open(write("short.flac", synth::tone(440, 0.8, 44100, 2, 0.5), 44100, 2)),
              0);  // under 1 s
    EXPECT_EQ(decode(), -1);

    for (const char* name : {"d.flac", "d.ogg", "d.opus"}) {
        SCOPED_TRACE(name);
        const int32_t rate = std::string(name) == "d.opus" ? 48000 : 44100;
        const std::string path =
            write(name, synth::render({.seconds = 6, .sampleRate = rate}), rate, 2);
        const test::Bytes whole = test::readFile(path);
        ASSERT_EQ(reader_.open(path), 6);
        int blocks = 0;
        while (decode() == 1) ++blocks;
        EXPECT_EQ(blocks, 6 * 44100 / kBlockFrames);
        EXPECT_EQ(decode(), 0);

        // A damaged head cannot be opened.
        test::Bytes damaged = whole;
        for (size_t i = 0; i < 200; i += 3) damaged[i] ^= 0x5a;
        EXPECT_EQ(reader_.open(test::writeFile(path, damaged)), 0);
        // Damage in the middle: what comes before it plays, then an error.
        damaged = whole;
        for (size_t i = whole.size() / 3; i < whole.size() * 2 / 3; ++i) damaged[i] = 0;
        ASSERT_EQ(reader_.open(test::writeFile(path, damaged)), 6);
        blocks = 0;
        int32_t r;
        while ((r = decode()) == 1) ++blocks;
        EXPECT_EQ(r, -1);
        EXPECT_GT(blocks, 40);
        EXPECT_LT(blocks, 6 * 44100 / kBlockFrames * 2 / 3);
        // FLAC plays again past it and gives an error in it; libsndfile's Ogg seeks may lose
        // their way in a damaged stream, but say so or land on good data. (After an error
        // the decoders stay broken until the file is opened again.)
        const bool flac = std::string(name) == "d.flac";
        for (float f : {0.9f, 0.5f}) {
            ASSERT_EQ(reader_.open(path), 6);
            reader_.seek(f);
            r = decode();
            if (flac) {
                EXPECT_EQ(r, f > 0.6f ? 1 : -1) << f;
            }
            EXPECT_TRUE(r == 1 || r == -1) << f;
        }
    }
}

}  // namespace
}  // namespace spinlorex
