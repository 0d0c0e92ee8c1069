#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace spinlorex {

// How the channels of a file fold into the engine's stereo pair. Mono is heard on both
// sides, stereo as it is. With more channels: when their speaker positions are known, the
// front left and right go to their sides, the centre and every other placed speaker at
// -3 dB to its side (to both when centred), the low-frequency channel nowhere, and all of
// it scaled so that a source at full scale on every channel cannot clip; when the
// positions are unknown, the first two channels are the pair.
//
// Built on the loading thread; apply runs on the sound thread (no allocation).
class StereoMixdown {
public:
    static constexpr int32_t kMaxChannels = 64;

    // Speaker positions as the bits of WAVE_FORMAT_EXTENSIBLE's channel mask.
    enum Speaker : uint32_t {
        kFrontLeft = 0x1,
        kFrontRight = 0x2,
        kFrontCentre = 0x4,
        kLowFrequency = 0x8,
        kBackLeft = 0x10,
        kBackRight = 0x20,
        kFrontLeftOfCentre = 0x40,
        kFrontRightOfCentre = 0x80,
        kBackCentre = 0x100,
        kSideLeft = 0x200,
        kSideRight = 0x400,
        kTopCentre = 0x800,
        kTopFrontLeft = 0x1000,
        kTopFrontCentre = 0x2000,
        kTopFrontRight = 0x4000,
        kTopBackLeft = 0x8000,
        kTopBackCentre = 0x10000,
        kTopBackRight = 0x20000,
    };

    // Stereo as it is.
    StereoMixdown() = default;
    // `channels` channels (1..kMaxChannels) placed in order on the set bits of `mask`,
    // lowest first (a mask of 0 places none; channels beyond its bits are not heard).
    static StereoMixdown forMask(int32_t channels, uint32_t mask);
    // One position (a single Speaker bit, or 0 for unknown) per channel.
    static StereoMixdown forPositions(const uint32_t* positions, int32_t channels);

    int32_t channels() const { return channels_; }
    float leftGain(int32_t channel) const { return left_[static_cast<size_t>(channel)]; }
    float rightGain(int32_t channel) const { return right_[static_cast<size_t>(channel)]; }

    // `frames` frames of channels() interleaved samples at `in` become stereo frames at
    // `out` (a separate buffer).
    void apply(const float* in, float* out, int32_t frames) const;

private:
    int32_t channels_ = 2;
    std::array<float, kMaxChannels> left_{1.0f, 0.0f};
    std::array<float, kMaxChannels> right_{0.0f, 1.0f};
};

}  // namespace spinlorex
