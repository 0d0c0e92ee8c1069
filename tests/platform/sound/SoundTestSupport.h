#pragma once

// Opening devices on the manual clock, filling buffers through their locks, and reading
// back what a WAV system wrote.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/sound/SoundBackends.h"
#include "support/Files.h"

namespace spinlorex::test {

// Sets (or, for null, removes) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

inline std::unique_ptr<sound::SoundDevice> openDefault(sound::SoundSystem& system) {
    sound::SoundError error = sound::SoundError::Other;
    auto device = system.open(std::nullopt, 2, false, error);
    EXPECT_EQ(error, sound::SoundError::None);
    return device;
}

inline std::unique_ptr<sound::SoundBuffer> makeBuffer(sound::SoundDevice& device, int32_t frames) {
    sound::SoundError error = sound::SoundError::Other;
    auto buffer = device.createBuffer(frames, error);
    EXPECT_EQ(error, sound::SoundError::None);
    return buffer;
}

// Writes sample(frame, channel) into `frames` frames from `offset`, through one lock.
inline void fill(sound::SoundBuffer& buffer, int32_t offset, int32_t frames,
                 const std::function<int16_t(int32_t, int)>& sample) {
    sound::SoundBuffer::Region region;
    ASSERT_TRUE(buffer.lock(offset, frames, region));
    for (int32_t i = 0; i < region.firstFrames; ++i)
        for (int c = 0; c < 2; ++c) region.first[2 * i + c] = sample(offset + i, c);
    for (int32_t i = 0; i < region.secondFrames; ++i)
        for (int c = 0; c < 2; ++c) region.second[2 * i + c] = sample(i, c);
    buffer.unlock(region);
}

inline std::pair<int32_t, int32_t> cursorsOf(sound::SoundBuffer& buffer) {
    int32_t play = -1, write = -1;
    EXPECT_TRUE(buffer.cursors(play, write));
    return {play, write};
}

// The samples of a 16-bit stereo WAV file whose header sizes must match its length.
inline std::vector<int16_t> readWavSamples(const std::string& path) {
    const Bytes file = readFile(path);
    EXPECT_GE(file.size(), 44u);
    if (file.size() < 44) return {};
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(get32(file, 4), file.size() - 8);
    EXPECT_EQ(get32(file, 24), 44100u);
    EXPECT_EQ(get32(file, 40), file.size() - 44);
    std::vector<int16_t> samples((file.size() - 44) / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(file[44 + 2 * i] | file[45 + 2 * i] << 8);
    return samples;
}

}  // namespace spinlorex::test
