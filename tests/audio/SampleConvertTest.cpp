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
    // Halves go to the even neighbour.
    const std::vector<float> in = {0.0f,     1.0f,     -1.0f, 0.49f,   0.5f,      -0.5f,     -0.51f,
                                   32767.0f, 32767.4f, 32768, 1e9f,    -32768.0f, -32768.6f, -1e9f,
                                   inf,      -inf,     nan,   1234.5f, -1233.5f,  3e9f,      -3e9f};
    const std::vector<int16_t> expected = {0,     1,      -1,    0,     0,      0,      -1,
                                           32767, 32767,  32767, 32767, -32768, -32768, -32768,
                                           32767, -32768, 0,     1234,  -1234,  32767,  -32768};
    // Every position within the vector steps and the tail.
    for (size_t shift = 0; shift < 8; ++shift) {
        std::vector<float> shifted(shift, 0.0f);
        shifted.insert(shifted.end(), in.begin(), in.end());
        std::vector<int16_t> out(shifted.size());
        toPcm16(shifted.data(), out.data(), static_cast<int32_t>(shifted.size()));
        EXPECT_EQ(std::vector<int16_t>(out.begin() + static_cast<long>(shift), out.end()), expected)
            << shift;
    }
    // Every 16-bit value makes the round trip unchanged.
    std::vector<int16_t> all;
    for (int v = -32768; v <= 32767; ++v) all.push_back(static_cast<int16_t>(v));
    all.push_back(7);  // a tail after the last whole vector
    std::vector<float> wide(all.size());
    fromPcm16(all.data(), wide.data(), static_cast<int32_t>(all.size()));
    for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(wide[i], static_cast<float>(all[i]));
    std::vector<int16_t> back(all.size());
    toPcm16(wide.data(), back.data(), static_cast<int32_t>(wide.size()));
    EXPECT_EQ(back, all);
}

}  // namespace
}  // namespace spinlorex
