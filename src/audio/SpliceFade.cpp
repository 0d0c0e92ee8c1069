#include "audio/SpliceFade.h"

#include <algorithm>
#include <cstring>

#include "platform/sound/SoundSystem.h"

namespace spinlorex {

void SpliceFade::keep(sound::SoundBuffer& buffer, int32_t at, int32_t queued) {
    kept_ = 0;
    const int32_t frames = std::min(queued, kFrames);
    sound::SoundBuffer::Region region;
    if (frames < 1 || !buffer.lock(at, frames, region)) return;
    std::memcpy(old_.data(), region.first, static_cast<size_t>(region.firstFrames) * 4);
    if (region.second != nullptr)
        std::memcpy(old_.data() + 2 * region.firstFrames, region.second,
                    static_cast<size_t>(region.secondFrames) * 4);
    // Nothing was written: handing the region back unchanged costs nothing.
    buffer.unlock(region);
    kept_ = frames;
}

void SpliceFade::blend(sound::SoundBuffer& buffer, int32_t at, int32_t written) {
    const int32_t frames = std::min(written, kept_);
    kept_ = 0;
    sound::SoundBuffer::Region region;
    if (frames < 1 || !buffer.lock(at, frames, region)) return;
    int32_t i = 0;
    const auto fade = [&](int16_t* samples, int32_t count) {
        for (int32_t f = 0; f < count; ++f, ++i)
            for (int c = 0; c < 2; ++c) {
                const int32_t fresh = samples[2 * f + c];
                const int32_t old = old_[static_cast<size_t>(2 * i + c)];
                samples[2 * f + c] =
                    static_cast<int16_t>((fresh * i + old * (frames - i)) / frames);
            }
    };
    fade(region.first, region.firstFrames);
    if (region.second != nullptr) fade(region.second, region.secondFrames);
    buffer.unlock(region);
}

}  // namespace spinlorex
