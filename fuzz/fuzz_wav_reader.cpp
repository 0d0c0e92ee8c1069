// Feeds arbitrary bytes to WavReader as a file: open, decode to the end, seek, decode again.
// Every result must be a clean 1 / 0 / -1 with no memory fault.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/WavReader.h"

namespace {

const std::string& inputPath() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp != nullptr ? tmp : "/tmp") + "/fuzz_wav_reader_" +
               std::to_string(::getpid()) + ".wav";
    }();
    return path;
}

void decodeSome(spinlorex::WavReader& reader, int16_t* block, int cap) {
    for (int i = 0; i < cap; ++i) {
        const int32_t r = reader.decodeBlock(block);
        if (r < -1 || r > 1) std::abort();
        if (r != 1) return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = inputPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    const bool written = std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    if (!written) return 0;

    // Exactly one block on the heap, so the sanitizer sees any write past it.
    std::vector<int16_t> block(spinlorex::kBlockSamples);
    spinlorex::WavReader reader;
    if (reader.open(path) > 0) {
        decodeSome(reader, block.data(), 4000);
        for (float fraction : {0.0f, 0.5f, 0.999f, 0.3333f, 1.0f, -0.25f, 2.0f}) {
            reader.seek(fraction);
            decodeSome(reader, block.data(), 8);
        }
    }
    reader.close();
    std::remove(path.c_str());
    return 0;
}
