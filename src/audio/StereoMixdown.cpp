#include "audio/StereoMixdown.h"

#include <algorithm>
#include <bit>
#include <numbers>

namespace spinlorex {
namespace {

constexpr float kMinus3dB = static_cast<float>(std::numbers::sqrt2 / 2.0);

constexpr uint32_t kLeftSide = StereoMixdown::kBackLeft | StereoMixdown::kFrontLeftOfCentre |
                               StereoMixdown::kSideLeft | StereoMixdown::kTopFrontLeft |
                               StereoMixdown::kTopBackLeft;
constexpr uint32_t kRightSide = StereoMixdown::kBackRight | StereoMixdown::kFrontRightOfCentre |
                                StereoMixdown::kSideRight | StereoMixdown::kTopFrontRight |
                                StereoMixdown::kTopBackRight;
constexpr uint32_t kCentred = StereoMixdown::kFrontCentre | StereoMixdown::kBackCentre |
                              StereoMixdown::kTopCentre | StereoMixdown::kTopFrontCentre |
                              StereoMixdown::kTopBackCentre;

}  // namespace

StereoMixdown StereoMixdown::forMask(int32_t channels, uint32_t mask) {
    std::array<uint32_t, kMaxChannels> positions{};
    channels = std::clamp(channels, 1, kMaxChannels);
    for (int32_t c = 0; c < channels && mask != 0; ++c) {
        positions[static_cast<size_t>(c)] = mask & (~mask + 1);  // the lowest bit left
        mask &= mask - 1;
    }
    return forPositions(positions.data(), channels);
}

StereoMixdown StereoMixdown::forPositions(const uint32_t* positions, int32_t channels) {
    StereoMixdown m;
    m.channels_ = std::clamp(channels, 1, kMaxChannels);
    m.left_.fill(0.0f);
    m.right_.fill(0.0f);
    if (m.channels_ == 1) {
        m.left_[0] = m.right_[0] = 1.0f;
        return m;
    }
    float leftSum = 0.0f;
    float rightSum = 0.0f;
    if (m.channels_ > 2) {
        for (size_t c = 0; c < static_cast<size_t>(m.channels_); ++c) {
            const uint32_t p = positions[c];
            if (p == kFrontLeft) m.left_[c] = 1.0f;
            if (p == kFrontRight) m.right_[c] = 1.0f;
            if ((p & (kLeftSide | kCentred)) != 0 && std::has_single_bit(p)) m.left_[c] = kMinus3dB;
            if ((p & (kRightSide | kCentred)) != 0 && std::has_single_bit(p))
                m.right_[c] = kMinus3dB;
            leftSum += m.left_[c];
            rightSum += m.right_[c];
        }
    }
    if (leftSum == 0.0f && rightSum == 0.0f) {
        // Two channels, or nothing known of where the channels are: the first two.
        m.left_[0] = 1.0f;
        m.right_[1] = 1.0f;
        return m;
    }
    const float loudest = std::max(leftSum, rightSum);
    if (loudest > 1.0f) {
        for (size_t c = 0; c < static_cast<size_t>(m.channels_); ++c) {
            m.left_[c] /= loudest;
            m.right_[c] /= loudest;
        }
    }
    return m;
}

void StereoMixdown::apply(const float* in, float* out, int32_t frames) const {
    const auto n = static_cast<size_t>(frames);
    if (channels_ == 1) {
        for (size_t i = 0; i < n; ++i) out[2 * i] = out[2 * i + 1] = in[i];
        return;
    }
    if (channels_ == 2) {
        std::copy(in, in + 2 * n, out);
        return;
    }
    const auto stride = static_cast<size_t>(channels_);
    for (size_t i = 0; i < n; ++i) {
        const float* frame = in + i * stride;
        float l = 0.0f;
        float r = 0.0f;
        for (size_t c = 0; c < stride; ++c) {
            l += left_[c] * frame[c];
            r += right_[c] * frame[c];
        }
        out[2 * i] = l;
        out[2 * i + 1] = r;
    }
}

}  // namespace spinlorex
