#include "support/WavFile.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace spinlorex::test {
namespace {
uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
}  // namespace

WavFile readWav(const std::string& path) {
    WavFile wav;
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(&bytes[8], "WAVE", 4) != 0)
        return wav;
    wav.riffSize = le32(&bytes[4]);
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = le32(&bytes[at + 4]);
        if (at + 8 + size > bytes.size()) return wav;
        const unsigned char* body = bytes.data() + at + 8;
        if (std::memcmp(&bytes[at], "fmt ", 4) == 0 && size >= 16) {
            wav.channels = le16(body + 2);
            wav.sampleRate = le32(body + 4);
            wav.bitsPerSample = le16(body + 14);
            haveFormat = true;
        } else if (std::memcmp(&bytes[at], "data", 4) == 0) {
            wav.dataSize = size;
            if (wav.bitsPerSample == 16 && size >= 2) {
                wav.samples.resize(size / 2);
                std::memcpy(wav.samples.data(), body, wav.samples.size() * 2);
            }
            wav.valid = haveFormat && wav.riffSize + 8 == bytes.size();
            wav.playable = haveFormat && wav.riffSize + 8 <= bytes.size();
            return wav;
        }
        at += 8 + size + (size & 1);
    }
    return wav;
}

}  // namespace spinlorex::test
