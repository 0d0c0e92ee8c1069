#include "audio/SampleConvert.h"

#include <gtest/gtest.h>

#include <memory>

#include "audio/AudioFormat.h"

// The readers pin expandMono, widen8 and the stretch down sample for sample on the counts
// real files give (8-bit mono WAV at 22050, mono and 22050 Hz MP3); the stretch is checked
// here on every count a lying header can produce.

namespace spinlorex {
namespace {

// Exactly one block on the heap, so the sanitizer sees any access outside it. Frame i
// holds left = i, right = -i.
std::unique_ptr<int16_t[]> blockOfFrameNumbers() {
    auto buf = std::make_unique<int16_t[]>(kBlockSamples);
    for (int i = 0; i < kBlockFrames; ++i) buf[2 * i] = static_cast<int16_t>(i), buf[2 * i + 1] = static_cast<int16_t>(-i);
    return buf;
}

TEST(SampleConvertTest, StretchHoldsFramesInOrderAndStaysInsideTheBlockForAnyCount) {
    // Every MPEG and common WAV rate with the frame counts a block read can give, plus
    // counts that a lying header produces. Frames keep their order and pairing and end
    // with the last one read; short reads reach back to the first frame, long ones are cut
    // to the block; nothing outside the block is read or written.
    for (int32_t rate : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100}) {
        const int32_t quotient = rate * kBlockFrames / kSampleRate;
        for (int32_t n : {1, quotient - 1, quotient, quotient + 1, kBlockFrames, 5000}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << n << " frames");
            auto buf = blockOfFrameNumbers();
            stretchTo1152(buf.get(), n, rate);
            ASSERT_TRUE(n > quotient || buf[0] == 0) << buf[0];
            ASSERT_EQ(buf[2 * kBlockFrames - 2], std::min(n, kBlockFrames) - 1);
            for (int i = 0; i < kBlockFrames; ++i) {
                ASSERT_GE(buf[2 * i], i == 0 ? 0 : buf[2 * i - 2]);
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
