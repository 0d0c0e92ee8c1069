#pragma once

// The body the track readers' fuzz targets share: arbitrary bytes written as a file, which
// a reader opens, decodes to the end, seeks in and decodes again, then opens once more (a
// reader is used again for the next track). Every result must be a clean 1 / 0 / -1 with
// no memory fault.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"

namespace spinlorex::fuzz {

template <class Reader>
void decodeSome(Reader& reader, int16_t* block, int cap) {
    for (int i = 0; i < cap; ++i) {
        const int32_t r = reader.decodeBlock(block);
        if (r < -1 || r > 1) std::abort();
        if (r != 1) return;
    }
}

// `name` names the temporary file ("mp3_reader"), `extension` ends it (".mp3"); at most
// `blocks` blocks are decoded from the start.
template <class Reader>
int readTrackBytes(const uint8_t* data, size_t size, const char* name, const char* extension,
                   int blocks) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp != nullptr ? tmp : "/tmp") + "/fuzz_" + name + "_" +
                             std::to_string(::getpid()) + extension;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    const bool written = std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    if (!written) return 0;

    // Exactly one block on the heap, so the sanitizer sees any write past it.
    std::vector<int16_t> block(kBlockSamples);
    Reader reader;
    if (reader.open(path) > 0) {
        decodeSome(reader, block.data(), blocks);
        for (float fraction : {0.0f, 0.5f, 0.999f, 0.3333f, 1.0f, -0.25f, 2.0f}) {
            reader.seek(fraction);
            decodeSome(reader, block.data(), 8);
        }
    }
    reader.close();
    if (reader.open(path) > 0) decodeSome(reader, block.data(), 4);
    reader.close();
    std::remove(path.c_str());
    return 0;
}

}  // namespace spinlorex::fuzz
