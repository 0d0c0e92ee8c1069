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

#include "platform/core/WavFileWriter.h"
#include "platform/sound/SoundBackends.h"
#include "support/Files.h"
#include "support/WavFile.h"

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
    const WavFile wav = readWav(path);
    EXPECT_TRUE(wav.valid) << path;  // RIFF/WAVE, the RIFF size the file's
    EXPECT_EQ(wav.sampleRate, 44100u);
    // The data chunk ends the file.
    EXPECT_EQ(wav.dataSize + WavFileWriter::kDataOffset, readFile(path).size());
    return wav.samples;
}

}  // namespace spinlorex::test
