#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/Mp3Reader.h"
#include "support/TempDir.h"
#include "support/Tracks.h"

namespace spinlorex {
namespace {

// Every sample of a stream at its own rate and channel count, whole frames, decoded
// directly through libmpg123: what the reader's blocks are checked against.
struct Decoded {
    long rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
    int64_t frames() const { return static_cast<int64_t>(samples.size()) / channels; }
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
    if (mpg123_open(h, path.c_str()) == MPG123_OK) {
        int enc = 0;
        mpg123_getformat(h, &out.rate, &out.channels, &enc);
        for (;;) {
            off_t num = 0;
            unsigned char* audio = nullptr;
            size_t bytes = 0;
            const int err = mpg123_decode_frame(h, &num, &audio, &bytes);
            if (err == MPG123_NEW_FORMAT) continue;
            if (err != MPG123_OK) break;
            const auto* s = reinterpret_cast<const int16_t*>(audio);
            out.samples.insert(out.samples.end(), s, s + bytes / 2);
        }
    }
    mpg123_delete(h);
    return out;
}

synth::Params track(double seconds, int32_t rate, int32_t channels) {
    synth::Params p;
    p.seconds = seconds;
    p.sampleRate = rate;
    p.channels = channels;
    return p;
}

class Mp3ReaderTest : public ::testing::Test {
protected:
    std::vector<int16_t> block_ = std::vector<int16_t>(kBlockSamples);
    Mp3Reader reader_;
};

TEST_F(Mp3ReaderTest, StereoAnd44100MonoBlocksAreTheDecodedFrames) {
    for (int channels : {2, 1}) {
        const std::string path = test::makeMp3(track(4.0, 44100, channels));
        const Decoded ref = decodeDirectly(path);
        ASSERT_EQ(ref.rate, 44100);
        ASSERT_EQ(ref.channels, channels);

        ASSERT_EQ(reader_.open(path), 4);
        EXPECT_EQ(reader_.fileSize(), std::filesystem::file_size(path));
        EXPECT_EQ(reader_.totalSamples(), ref.frames());
        ASSERT_EQ(ref.frames() % kBlockFrames, 0);
        const int64_t blocks = ref.frames() / kBlockFrames;
        for (int64_t b = 0; b < blocks; ++b) {
            ASSERT_EQ(reader_.decodeBlock(block_.data()), 1) << b;
            for (int i = 0; i < kBlockFrames; ++i) {
                const size_t at = static_cast<size_t>((b * kBlockFrames + i) * channels);
                ASSERT_EQ(block_[2 * i], ref.samples[at]) << channels << " " << b << " " << i;
                ASSERT_EQ(block_[2 * i + 1], ref.samples[at + channels - 1]) << channels << " " << b << " " << i;
            }
            ASSERT_FLOAT_EQ(reader_.position(), static_cast<float>((b + 1.0) / blocks));
        }
        EXPECT_EQ(reader_.decodeBlock(block_.data()), 0);
    }
}

TEST_F(Mp3ReaderTest, Rate48000IsDecimatedWithoutDrift) {
    const std::string path = test::makeMp3(track(6.0, 48000, 2));
    const Decoded ref = decodeDirectly(path);
    ASSERT_EQ(ref.rate, 48000);
    ASSERT_EQ(reader_.open(path), 6);

    // Each block starts exactly 1254 source frames after the previous one (the smallest
    // whole step that covers 1152 x 48000 / 44100) and takes frame ceil(i x 48000 / 44100).
    int64_t blocks = 0;
    int32_t r;
    while ((r = reader_.decodeBlock(block_.data())) == 1) {
        for (int i = 0; i < kBlockFrames; ++i) {
            const int64_t src = blocks * 1254 + (static_cast<int64_t>(i) * 48000 + 44099) / 44100;
            ASSERT_EQ(block_[2 * i], ref.samples[static_cast<size_t>(2 * src)]) << blocks << " " << i;
            ASSERT_EQ(block_[2 * i + 1], ref.samples[static_cast<size_t>(2 * src + 1)]) << blocks << " " << i;
        }
        ++blocks;
    }
    EXPECT_EQ(r, 0);
    EXPECT_EQ(blocks, ref.frames() / 1254);
    EXPECT_NEAR(static_cast<double>(blocks), reader_.duration() * 44100.0 / kBlockFrames, 2.0);
}

TEST_F(Mp3ReaderTest, LowRatesPlayOnlyWhenTheFrameFillsAStretchedBlock) {
    // 22050: 576-frame frames, each frame repeated.
    const std::string path = test::makeMp3(track(3.0, 22050, 2), 64);
    const Decoded ref = decodeDirectly(path);
    ASSERT_EQ(reader_.open(path), 3);
    int64_t blocks = 0;
    while (reader_.decodeBlock(block_.data()) == 1) {
        for (int i = 0; i < kBlockFrames; ++i) {
            const size_t src = static_cast<size_t>(blocks * 576 + i / 2) * 2;
            ASSERT_EQ(block_[2 * i], ref.samples[src]);
            ASSERT_EQ(block_[2 * i + 1], ref.samples[src + 1]);
        }
        ++blocks;
    }
    EXPECT_EQ(blocks, ref.frames() / 576);

    // 11025, 16000, 24000 and 32000 open but fail on their first block.
    for (int rate : {11025, 16000, 24000, 32000}) {
        ASSERT_GT(reader_.open(test::makeMp3(track(2.0, rate, 1), 32)), 0) << rate;
        EXPECT_EQ(reader_.sampleRate(), rate);
        EXPECT_EQ(reader_.decodeBlock(block_.data()), -1) << rate;
    }
}

TEST_F(Mp3ReaderTest, SeekStartsOneBlockEarlyOnTheFrameThatHoldsTheTarget) {
    const std::string path = test::makeMp3(track(10.0, 44100, 2));
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
            ASSERT_EQ(reader_.decodeBlock(block_.data()), 1);
            // Bits may differ from a straight decode after a seek; the frame may not.
            for (int i = 0; i < kBlockSamples; ++i)
                ASSERT_NEAR(block_[i], ref.samples[static_cast<size_t>(k * kBlockSamples + i)], 2) << f;
            EXPECT_FLOAT_EQ(reader_.position(), static_cast<float>((k + 1.0) / frames));
        }
    }
    reader_.seek(1.5f);
    EXPECT_EQ(reader_.decodeBlock(block_.data()), 0);
}

TEST_F(Mp3ReaderTest, BrokenShortOrNonAudioFilesGiveClearResults) {
    test::TempDir dir;
    auto write = [&](const std::vector<char>& bytes) {
        const std::string path = dir.file("t.mp3");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    };
    EXPECT_EQ(reader_.decodeBlock(block_.data()), -1);  // nothing open yet
    EXPECT_EQ(reader_.open(dir.file("missing.mp3")), 0);
    EXPECT_EQ(reader_.open(write({})), 0);
    EXPECT_EQ(reader_.open(dir.path().string()), 0);
    EXPECT_EQ(reader_.open(write(std::vector<char>(5000, 'x'))), 0);
    EXPECT_EQ(reader_.open(test::makeMp3(track(0.6, 44100, 2))), 0);  // under a second
    EXPECT_EQ(reader_.decodeBlock(block_.data()), -1);

    const std::string path = test::makeMp3(track(6.0, 44100, 2));
    std::vector<char> whole(std::filesystem::file_size(path));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_EQ(std::fread(whole.data(), 1, whole.size(), f), whole.size());
    std::fclose(f);
    // The first half of a file is a three-second track; garbage after a good start
    // still gives only 1, 0 or -1.
    ASSERT_EQ(reader_.open(write(std::vector<char>(whole.begin(), whole.begin() + whole.size() / 2))), 3);
    int blocks = 0;
    while (reader_.decodeBlock(block_.data()) == 1) ++blocks;
    EXPECT_EQ(blocks, reader_.totalSamples() / kBlockFrames);
    for (size_t i = whole.size() / 3; i < whole.size(); i += 97) whole[i] = static_cast<char>(i * 31);
    ASSERT_GT(reader_.open(write(whole)), 0);
    int32_t r;
    for (int i = 0; i < 400 && (r = reader_.decodeBlock(block_.data())) == 1; ++i) {}
    EXPECT_TRUE(r >= -1 && r <= 1);
    EXPECT_EQ(reader_.open(path), 6);
}

}  // namespace
}  // namespace spinlorex
