#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/SampleConvert.h"

namespace spinlorex {
namespace {

TEST(SampleConvertTest, ExpandMonoAndWiden8WorkInPlace) {
    std::vector<int16_t> buf = {10, -20, 30, 7, 7, 7, 7, 7};
    expandMono(buf.data(), 3);
    EXPECT_EQ(buf, (std::vector<int16_t>{10, 10, -20, -20, 30, 30, 7, 7}));

    std::vector<int16_t> wide(4);
    auto* bytes = reinterpret_cast<unsigned char*>(wide.data());
    const unsigned char in[4] = {0, 128, 255, 1};
    std::copy(in, in + 4, bytes);
    widen8(wide.data(), 4);
    EXPECT_EQ(wide, (std::vector<int16_t>{-32768, 0, 32512, -32512}));
}

// Exactly one block on the heap, so the sanitizer sees any read before or after it.
std::unique_ptr<int16_t[]> blockOfFrameNumbers() {
    auto buf = std::make_unique<int16_t[]>(kBlockSamples);
    for (int i = 0; i < kBlockFrames; ++i) {
        buf[2 * i] = static_cast<int16_t>(i);
        buf[2 * i + 1] = static_cast<int16_t>(-i);
    }
    return buf;
}

TEST(SampleConvertTest, StretchRepeatsFramesByRate) {
    auto buf = blockOfFrameNumbers();
    stretchTo1152(buf.get(), 576, 22050);
    for (int i = 0; i < kBlockFrames; ++i) {
        ASSERT_EQ(buf[2 * i], i / 2) << i;
        ASSERT_EQ(buf[2 * i + 1], -(i / 2)) << i;
    }

    // 8000 Hz: 208 input frames, the last one held at the end, frame order kept.
    buf = blockOfFrameNumbers();
    stretchTo1152(buf.get(), 208, 8000);
    EXPECT_EQ(buf[2 * 1151], 207);
    EXPECT_EQ(buf[0], 0);
    for (int i = 1; i < kBlockFrames; ++i) ASSERT_LE(buf[2 * (i - 1)], buf[2 * i]);
}

TEST(SampleConvertTest, StretchStaysInsideTheBlockForAnyCount) {
    // Every MPEG and common WAV rate with the frame counts a block read can give, plus
    // counts that a lying header produces: short reads hold the first frame, long ones
    // are cut to the block, none reads or writes outside it.
    for (int32_t rate : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100}) {
        const int32_t quotient = rate * kBlockFrames / kSampleRate;
        for (int32_t n : {1, quotient - 1, quotient, quotient + 1, kBlockFrames, 5000}) {
            auto buf = blockOfFrameNumbers();
            stretchTo1152(buf.get(), n, rate);
            const int32_t last = std::min(n, kBlockFrames) - 1;
            for (int i = 0; i < kBlockFrames; ++i) {
                ASSERT_GE(buf[2 * i], 0) << rate << " " << n;
                ASSERT_LE(buf[2 * i], last) << rate << " " << n;
                ASSERT_EQ(buf[2 * i + 1], -buf[2 * i]);
            }
        }
    }
    auto buf = blockOfFrameNumbers();
    stretchTo1152(buf.get(), 0, 22050);
    for (int i = 0; i < kBlockSamples; ++i) ASSERT_EQ(buf[i], 0);
}

}  // namespace
}  // namespace spinlorex
