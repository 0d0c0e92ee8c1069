#include "audio/Mp3Reader.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

// Every sample of a stream at its own rate and channel count, decoded directly through
// libmpg123: what the reader's blocks are checked against.
struct Decoded {
    long rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
    int64_t frames() const { return static_cast<int64_t>(samples.size()) / channels; }
    int16_t at(int64_t frame, int channel) const { return samples[static_cast<size_t>(frame * channels + channel)]; }
};

Decoded decodeDirectly(const std::string& path) {
    Decoded out;
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(h);
    const long* rates = nullptr;
    size_t n = 0;
    mpg123_rates(&rates, &n);
    for (size_t i = 0; i < n; ++i) mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
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

class Mp3ReaderTest : public ::testing::Test {
protected:
    int32_t decode() { return reader_.decodeBlock(block_.data()); }
    // Block frame i holds source frame `frame` of `ref` (mono on both sides).
    bool holds(int i, const Decoded& ref, int64_t frame) const {
        return block_[2 * i] == ref.at(frame, 0) && block_[2 * i + 1] == ref.at(frame, ref.channels - 1);
    }

    std::vector<int16_t> block_ = std::vector<int16_t>(kBlockSamples);
    Mp3Reader reader_;
};

TEST_F(Mp3ReaderTest, PlayableRatesAndChannelsGiveTheDecodedFramesWithoutDrift) {
    // The source frame of block b's frame i. 48000 Hz steps exactly 1254 frames a block
    // (the smallest whole step that covers 1152 x 48000 / 44100) and takes frame
    // ceil(i x 48000 / 44100) of it; 22050 Hz repeats each frame of a 576-frame MPEG frame.
    const struct {
        int32_t rate, channels, kbps, step;
        int64_t (*source)(int64_t b, int i);
    } cases[] = {
        {44100, 2, 192, 1152, [](int64_t b, int i) { return b * 1152 + i; }},
        {44100, 1, 192, 1152, [](int64_t b, int i) { return b * 1152 + i; }},
        {48000, 2, 192, 1254, [](int64_t b, int i) { return b * 1254 + (int64_t{i} * 48000 + 44099) / 44100; }},
        {22050, 2, 64, 576, [](int64_t b, int i) { return b * 576 + i / 2; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " channels");
        const std::string path = test::makeMp3(track(4.0, c.rate, c.channels), c.kbps);
        const Decoded ref = decodeDirectly(path);
        ASSERT_EQ(ref.rate, c.rate);
        ASSERT_EQ(ref.channels, c.channels);
        ASSERT_EQ(reader_.open(path), 4);
        EXPECT_EQ(reader_.fileSize(), std::filesystem::file_size(path));
        EXPECT_EQ(reader_.totalSamples(), ref.frames());
        int64_t b = 0;
        int32_t r;
        for (; (r = decode()) == 1; ++b) {
            for (int i = 0; i < kBlockFrames; ++i) ASSERT_TRUE(holds(i, ref, c.source(b, i))) << b << " " << i;
            const double position = (b + 1.0) * c.step / static_cast<double>(ref.frames());
            EXPECT_TRUE(c.rate > 44100 || reader_.position() == static_cast<float>(position)) << b;
        }
        EXPECT_EQ(r, 0);
        EXPECT_EQ(b, ref.frames() / c.step);
    }
    // 11025, 16000, 24000 and 32000 open but fail on their first block.
    for (int rate : {11025, 16000, 24000, 32000}) {
        ASSERT_GT(reader_.open(test::makeMp3(track(2.0, rate, 1), 32)), 0) << rate;
        EXPECT_EQ(reader_.sampleRate(), rate);
        EXPECT_EQ(decode(), -1) << rate;
    }
}

TEST_F(Mp3ReaderTest, SeekStartsOneBlockEarlyOnTheFrameThatHoldsTheTarget) {
    const std::string path = test::makeMp3(track(10.0, 44100));
    const Decoded ref = decodeDirectly(path);
    ASSERT_EQ(reader_.open(path), 10);
    const int64_t frames = ref.frames() / kBlockFrames;
    // Anything less than one block from the start goes back to the start.
    for (float f : {0.5f, 0.0f, 0.002f, -1.0f}) {
        reader_.seek(f);
        const double target = std::max(0.0, f - 1152.0 / (10 * 44100.0));
        EXPECT_FLOAT_EQ(reader_.position(), static_cast<float>(target));
        const int64_t frame = static_cast<int64_t>(target * static_cast<double>(ref.frames())) / kBlockFrames;
        for (int64_t k = frame; k < frame + 2; ++k) {
            ASSERT_EQ(decode(), 1);
            // Bits may differ from a straight decode after a seek; the frame may not.
            for (int i = 0; i < kBlockSamples; ++i)
                ASSERT_NEAR(block_[i], ref.samples[static_cast<size_t>(k * kBlockSamples + i)], 2) << f;
            EXPECT_FLOAT_EQ(reader_.position(), static_cast<float>((k + 1.0) / frames));
        }
    }
    reader_.seek(1.5f);
    EXPECT_EQ(decode(), 0);
}

TEST_F(Mp3ReaderTest, BrokenShortOrNonAudioFilesGiveClearResults) {
    test::TempDir dir;
    const std::string t = dir.file("t.mp3");
    EXPECT_EQ(decode(), -1);  // nothing open yet
    EXPECT_EQ(reader_.open(dir.file("missing.mp3")), 0);
    EXPECT_EQ(reader_.open(test::writeFile(t, {})), 0);
    EXPECT_EQ(reader_.open(dir.path().string()), 0);
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
    EXPECT_EQ(blocks, reader_.totalSamples() / kBlockFrames);
    for (size_t i = whole.size() / 3; i < whole.size(); i += 97) whole[i] = static_cast<unsigned char>(i * 31);
    ASSERT_GT(reader_.open(test::writeFile(t, whole)), 0);
    int32_t r;
    for (int i = 0; i < 400 && (r = decode()) == 1; ++i) {}
    EXPECT_TRUE(r >= -1 && r <= 1);
    EXPECT_EQ(reader_.open(path), 6);
}

}  // namespace
}  // namespace spinlorex
