#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace spinlorex::test {

// A PCM WAV file as read back by a test: its header fields and its samples.
struct WavFile {
    bool valid = false;     // RIFF/WAVE with a fmt and a data chunk, sizes consistent
    bool playable = false;  // the same, but the file may go on past what the sizes say
    uint32_t riffSize = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
    uint32_t dataSize = 0;
    std::vector<int16_t> samples;  // for 16-bit files
};

WavFile readWav(const std::string& path);

}  // namespace spinlorex::test
