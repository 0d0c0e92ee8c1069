// Feeds arbitrary bytes to WavReader as a file (see ReaderFuzzing.h).

#include "ReaderFuzzing.h"
#include "audio/WavReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return spinlorex::fuzz::readTrackBytes<spinlorex::WavReader>(data, size, "wav_reader", ".wav",
                                                                 4000);
}
