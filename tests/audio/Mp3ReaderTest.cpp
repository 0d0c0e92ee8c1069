#include "audio/Mp3Reader.h"

#include <gtest/gtest.h>
#include <mpg123.h>

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

// Every sample of a stream at its own rate and channel count, decoded directly through
// libmpg123 without the encoder's delay and padding: what the reader's blocks are checked
// against.
struct Decoded {
    long rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
    int64_t frames() const { return static_cast<int64_t>(samples.size()) / channels; }
    int16_t at(int64_t frame, int channel) const {
        return samples[static_cast<size_t>(frame * channels + channel)];
    }
};

Decoded decodeDirectly(const std::string& path) {
    Decoded out;
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    mpg123_format_none(h);
    const long* rates = nullptr;
    size_t n = 0;
    mpg123_rates(&rates, &n);
    for (size_t i = 0; i < n; ++i)
        mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    int enc = 0, err = mpg123_open(h, path.c_str());
    mpg123_getformat(h, &out.rate, &out.channels, &enc);
    while (err == MPG123_OK || err == MPG123_NEW_FORMAT) {
        off_t num = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        err = mpg123_decode_frame(h, &num, &audio, &bytes);
        const auto* s = reinterpret_cast<const int16_t*>(audio);
        if (err == MPG123_OK) out.samples.insert(out.samples.end(), s, s + bytes / 2);
    }
    mpg123_delete(h);
    return out;
}

synth::Params track(double seconds, int32_t rate, int32_t channels = 2) {
    return {.seconds = seconds, .sampleRate = rate, .channels = channels};
}

// The highest bit rate LAME offers at each MPEG version's rates.
int32_t kbpsFor(int32_t rate) { return rate >= 32000 ? 192 : rate >= 16000 ? 128 : 64; }

class Mp3ReaderTest : public ::testing::Test {
protected:
    int32_t decode() { return reader_.decodeBlock(block_.data()); }
    std::string encode(const std::vector<float>& samples, int32_t rate, int32_t channels,
                       const std::string& name) {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(synth::writeMp3(path, samples, rate, channels, kbpsFor(rate)));
        return path;
    }

    test::TempDir dir_;
    std::vector<int16_t> block_ = std::vector<int16_t>(kBlockSamples);
    Mp3Reader reader_;
};

TEST_F(Mp3ReaderTest, At44100HzTheEncodedFramesComeOutWithoutDelayOrPadding) {
    for (int32_t channels : {2, 1}) {
        SCOPED_TRACE(channels);
        const std::string path = test::makeMp3(track(4.0, 44100, channels));
        const Decoded ref = decodeDirectly(path);
        ASSERT_EQ(ref.frames(), 4 * 44100);  // exactly what was encoded
        ASSERT_EQ(reader_.open(path), 4);
        EXPECT_EQ(reader_.fileSize(), std::filesystem::file_size(path));
        EXPECT_EQ(reader_.totalSamples(), 4 * 44100);
        EXPECT_EQ(reader_.totalFrames(), 4 * 44100);
        EXPECT_EQ(reader_.channels(), channels);
        int64_t b = 0;
        int32_t r;
        for (; (r = decode()) == 1; ++b) {
            for (int i = 0; i < kBlockFrames; ++i) {
                ASSERT_EQ(block_[2 * i], ref.at(b * kBlockFrames + i, 0)) << b << " " << i;
                ASSERT_EQ(block_[2 * i + 1], ref.at(b * kBlockFrames + i, channels - 1))
                    << b << " " << i;
            }
            EXPECT_FLOAT_EQ(reader_.position(),
                            static_cast<float>((b + 1.0) * kBlockFrames / (4 * 44100)));
        }
        EXPECT_EQ(r, 0);
        EXPECT_EQ(b, 4 * 44100 / kBlockFrames);
    }
}

TEST_F(Mp3ReaderTest, EveryMpegRatePlaysAOneKilohertzToneCleanAtItsPitch) {
    for (int32_t rate : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000}) {
        for (int32_t channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels");
            const std::string path =
                encode(synth::tone(1000.0, 2.5, rate, channels, 0.5), rate, channels, "tone.mp3");
            ASSERT_EQ(reader_.open(path), 2);
            EXPECT_EQ(reader_.sourceRate(), rate);
            std::vector<int16_t> out;
            for (int b = 0; b < 80 && decode() == 1; ++b)
                out.insert(out.end(), block_.begin(), block_.end());
            ASSERT_EQ(out.size(), 80u * kBlockSamples);
            const test::ToneFit fit =
                test::fitTone(test::channelOf(&out[2 * 22050], 44100, channels - 1));
            EXPECT_NEAR(fit.hz(), 1000.0, 0.1);
            EXPECT_LT(fit.restDb, -70.0);
        }
    }
}

TEST_F(Mp3ReaderTest, SeeksLandOnTheExactFrameOfTheMusic) {
    // A 44.1 Hz tone is a clock: its phase tells, to a fraction of a frame, which frame of
    // the music a block starts at (modulo its 1000-frame period), whatever the coding did.
    for (int32_t rate : {44100, 48000, 32000, 22050}) {
        SCOPED_TRACE(rate);
        const std::string path =
            encode(synth::tone(44.1, 10.0, rate, 2, 0.8), rate, 2, "clock.mp3");
        ASSERT_EQ(reader_.open(path), 10);
        // The blocks of a straight play, to compare the sought ones with.
        std::vector<int16_t> straight;
        while (decode() == 1) straight.insert(straight.end(), block_.begin(), block_.end());
        for (float f : {0.3f, 0.0f, 0.123457f, 0.7f, 0.5001f, 0.9f, 0.0001f}) {
            reader_.seek(f);
            const int64_t target = std::llround(double{f} * 441000);
            ASSERT_EQ(reader_.nextFrame(), target);
            ASSERT_EQ(decode(), 1);
            const double at =
                test::sinePosition(test::channelOf(block_.data(), kBlockFrames, 0), 44.1 / 44100);
            double off = at - static_cast<double>(target % 1000);
            off -= 1000.0 * std::round(off / 1000.0);
            EXPECT_NEAR(off, 0.0, 0.05) << f;
            // The same frames as the straight play: exactly at the file's own rate, to the
            // converter's rounding otherwise.
            const auto from = straight.begin() + static_cast<long>(2 * target);
            int maxDiff = 0;
            for (int i = 0; i < kBlockSamples; ++i)
                maxDiff = std::max(maxDiff, std::abs(block_[i] - from[i]));
            EXPECT_LE(maxDiff, rate == 44100 ? 0 : 2) << f;
        }
        reader_.seek(1.0f);
        EXPECT_EQ(decode(), 0);
    }
}

TEST_F(Mp3ReaderTest, BrokenShortOrNonAudioFilesGiveClearResults) {
    const std::string t = dir_.file("t.mp3");
    EXPECT_EQ(decode(), -1);  // nothing open yet
    EXPECT_EQ(reader_.open(dir_.file("missing.mp3")), 0);
    EXPECT_EQ(reader_.open(test::writeFile(t, {})), 0);
    EXPECT_EQ(reader_.open(dir_.path().string()), 0);
    EXPECT_EQ(reader_.open(test::writeFile(t, test::Bytes(5000, 'x'))), 0);
    EXPECT_EQ(reader_.open(test::makeMp3(track(0.6, 44100))), 0);  // under a second
    EXPECT_EQ(decode(), -1);

    // The first half of a file is a three-second track; garbage after a good start
    // still gives only 1, 0 or -1.
    const std::string path = test::makeMp3(track(6.0, 44100));
    test::Bytes whole = test::readFile(path);
    ASSERT_EQ(reader_.open(test::writeFile(t, test::slice(whole, 0, whole.size() / 2))), 3);
    int blocks = 0;
    while (decode() == 1) ++blocks;
    EXPECT_EQ(blocks, reader_.totalFrames() / kBlockFrames);
    for (size_t i = whole.size() / 3; i < whole.size(); i += 97)
        whole[i] = static_cast<unsigned char>(i * 31);
    ASSERT_GT(reader_.open(test::writeFile(t, whole)), 0);
    int32_t r;
    for (int i = 0; i < 400 && (r = decode()) == 1; ++i) {}
    EXPECT_TRUE(r >= -1 && r <= 1);
    EXPECT_EQ(reader_.open(path), 6);
}

}  // namespace
}  // namespace spinlorex
