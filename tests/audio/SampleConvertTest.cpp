#include "audio/SampleConvert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace spinlorex {
namespace {

TEST(SampleConvertTest, FloatsRoundToSixteenBitsAndClipAtFullScale) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> in = {0.0f,  1.0f,   -1.0f,    0.49f,    0.5f,      -0.5f, -0.51f, 32767.0f, 32767.4f,
                                   32768, 1e9f, -32768.0f, -32768.6f, -1e9f, inf, -inf, nan, 1234.5f, -1234.5f};
    const std::vector<int16_t> expected = {0,     1,     -1,     0,      1,      -1, -1, 32767, 32767,
                                           32767, 32767, -32768, -32768, -32768, 32767, -32768, 0, 1235, -1235};
    std::vector<int16_t> out(in.size());
    toPcm16(in.data(), out.data(), static_cast<int32_t>(in.size()));
    EXPECT_EQ(out, expected);
    // Every 16-bit value passes unchanged.
    std::vector<float> all;
    for (int v = -32768; v <= 32767; ++v) all.push_back(static_cast<float>(v));
    std::vector<int16_t> back(all.size());
    toPcm16(all.data(), back.data(), static_cast<int32_t>(all.size()));
    for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(back[i], static_cast<int16_t>(all[i]));
}

}  // namespace
}  // namespace spinlorex
