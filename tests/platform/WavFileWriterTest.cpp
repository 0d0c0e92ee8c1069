#include "platform/core/WavFileWriter.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/Files.h"
#include "support/SndfileRead.h"

namespace spinlorex {
namespace {

// Stereo frames whose samples all differ, so a shifted or cut frame shows.
std::vector<int16_t> rampFrames(int32_t from, int32_t count) {
    std::vector<int16_t> samples(static_cast<size_t>(count) * 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(static_cast<int32_t>(2 * from + i) % 30011);
    return samples;
}

// The RIFF size of a 16-bit stereo file of `frames` frames: what a plain WAV states.
uint64_t riffSizeOf(int32_t frames) { return WavFileWriter::kDataOffset - 8 + 4ull * frames; }

TEST(WavFileWriter, AFileUpToTheLimitStaysWavAndOneFrameMoreIsRf64) {
    test::TempDir dir;
    for (const int32_t frames : {1000, 1001}) {
        SCOPED_TRACE(frames);
        const std::string path = dir.file("f" + std::to_string(frames) + ".wav");
        const std::vector<int16_t> samples = rampFrames(0, frames);
        {
            WavFileWriter writer(riffSizeOf(1000));
            ASSERT_TRUE(writer.open(path, 44100, 2, 16));
            ASSERT_TRUE(writer.writeFrames(samples.data(), frames));
            ASSERT_TRUE(writer.finish());
            EXPECT_EQ(writer.isRf64(), frames > 1000);
        }
        const test::SndfileRead read = test::readWithSndfile(path);
        ASSERT_TRUE(read.opened);
        EXPECT_EQ(read.majorFormat, frames > 1000 ? SF_FORMAT_RF64 : SF_FORMAT_WAV);
        EXPECT_EQ(read.channels, 2);
        EXPECT_EQ(read.sampleRate, 44100);
        EXPECT_EQ(read.frames, frames);
        EXPECT_EQ(read.samples, samples);
        if (frames > 1000) {
            // libsndfile goes by the data size alone; other readers also use the ds64
            // chunk's RIFF size and frame count (it follows "RF64", size, "WAVE", "ds64", 28).
            const test::Bytes bytes = test::readFile(path);
            const auto le64 = [&](size_t at) {
                return test::get32(bytes, at) | uint64_t{test::get32(bytes, at + 4)} << 32;
            };
            EXPECT_EQ(le64(20), bytes.size() - 8);
            EXPECT_EQ(le64(36), uint64_t(frames));
        }
    }
}

// A writer never finished (its process killed) leaves the sizes of its last refresh, with
// what it wrote since lying beyond them: the file reads whole up to that refresh, before
// it turned RF64, when it did, and after.
TEST(WavFileWriter, AnUnfinishedFileReadsUpToItsLastRefreshAlsoAsRf64) {
    test::TempDir dir;
    const std::string path = dir.file("killed.wav");
    const std::vector<int16_t> samples = rampFrames(0, 230000);
    WavFileWriter writer(riffSizeOf(30000));
    ASSERT_TRUE(writer.open(path, 44100, 2, 16));
    int32_t written = 0;
    const auto write = [&](int32_t frames) {
        ASSERT_TRUE(writer.writeFrames(&samples[2 * size_t(written)], frames));
        written += frames;
    };
    write(20000);
    for (const bool rf64 : {false, true, true}) {
        SCOPED_TRACE(rf64);
        ASSERT_TRUE(writer.refreshSizes());
        const int32_t refreshed = written;
        write(70000);  // more than the writer buffers: on disk, past the sizes
        ASSERT_GT(test::readFile(path).size(), WavFileWriter::kDataOffset + 4 * (refreshed + 1));

        const test::SndfileRead read = test::readWithSndfile(path);
        ASSERT_TRUE(read.opened);
        EXPECT_EQ(read.majorFormat, rf64 ? SF_FORMAT_RF64 : SF_FORMAT_WAV);
        EXPECT_EQ(read.frames, refreshed);
        EXPECT_EQ(read.samples,
                  std::vector<int16_t>(samples.begin(), samples.begin() + 2 * refreshed));
    }
}

}  // namespace
}  // namespace spinlorex
