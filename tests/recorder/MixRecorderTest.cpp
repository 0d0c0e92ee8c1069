#include "recorder/MixRecorder.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/Files.h"
#include "support/DeckHarness.h"
#include "support/WavFile.h"

namespace spinlorex {
namespace {

using namespace std::chrono_literals;

TEST(MixRecorder, OneMinuteIsDescribedAndWrittenWhole) {
    test::TempDir dir;
    const std::string path = dir.file("mix.wav");
    {
        MixRecorder recorder(path, 1ms);
        ASSERT_TRUE(recorder.hasFile());
        // 140 pieces of 18900 frames, each drained (but for less than one batch) before the
        // next arrives, as the ring holds only half a second. Frame i carries its index so
        // the file's order can be checked.
        std::vector<int16_t> piece(18900 * 2);
        for (int32_t p = 0; p < 140; ++p) {
            for (int32_t i = 0; i < 18900; ++i) {
                const int32_t frame = p * 18900 + i;
                piece[2 * i] = static_cast<int16_t>(frame & 0x7FFF);
                piece[2 * i + 1] = static_cast<int16_t>(frame >> 15);
            }
            recorder.write(piece.data(), 18900);
            ASSERT_TRUE(test::waitFor([&] { return recorder.framesWritten() > (p + 1) * 18900 - 2250; }));
        }
        // The minute ends exactly at the ring's start: the last batch drains whole.
        ASSERT_TRUE(test::waitFor([&] { return recorder.framesWritten() == 2646000; }));
        EXPECT_EQ(recorder.describe(),
                  "Saving WAV file\nFileName: " + path + "\nTime Recorded: 0:01:00\nFileSize: 10.1 Mo");
    }
    const test::WavFile wav = test::readWav(path);
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.sampleRate, 44100u);
    EXPECT_EQ(wav.bitsPerSample, 16);
    ASSERT_EQ(wav.dataSize, 2646000u * 4);
    for (int32_t frame : {0, 22049, 22050, 1000000, 2645999})
        ASSERT_EQ(wav.samples[2 * frame] | (wav.samples[2 * frame + 1] << 15), frame);
}

TEST(MixRecorder, StoppedBeforeABatchLeavesAValidEmptyFile) {
    test::TempDir dir;
    {
        MixRecorder recorder(dir.file("short.wav"), 1ms);
        std::vector<int16_t> frames(2249 * 2, 1234);
        recorder.write(frames.data(), 2249);
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(recorder.framesWritten(), 0);
    }
    const test::WavFile wav = test::readWav(dir.file("short.wav"));
    EXPECT_TRUE(wav.valid);
    EXPECT_EQ(wav.dataSize, 0u);
}

TEST(MixRecorder, AWrappedRingStillWritesFramesInOrder) {
    test::TempDir dir;
    std::vector<int16_t> frames(25000 * 2);
    for (int32_t i = 0; i < 25000; ++i) frames[2 * i] = static_cast<int16_t>(i & 0x7FFF);
    {
        MixRecorder recorder(dir.file("wrap.wav"), 1ms);
        recorder.write(frames.data(), 20000);
        ASSERT_TRUE(test::waitFor([&] { return recorder.framesWritten() == 20000; }));
        // 2050 frames up to the ring's end, 2950 after the wrap: two pieces on disk.
        recorder.write(&frames[20000 * 2], 5000);
        ASSERT_TRUE(test::waitFor([&] { return recorder.framesWritten() == 25000; }));
    }
    const test::WavFile wav = test::readWav(dir.file("wrap.wav"));
    ASSERT_TRUE(wav.valid);
    ASSERT_EQ(wav.samples.size(), frames.size());
    EXPECT_EQ(wav.samples, frames);
}

TEST(MixRecorder, AFileThatCannotBeCreatedRecordsNothingQuietly) {
    MixRecorder recorder("/nonexistent-folder/mix.wav", 1ms);
    EXPECT_FALSE(recorder.hasFile());
    std::vector<int16_t> frames(4000 * 2, 1);
    recorder.write(frames.data(), 4000);
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(recorder.framesWritten(), 0);
}

}  // namespace
}  // namespace spinlorex
