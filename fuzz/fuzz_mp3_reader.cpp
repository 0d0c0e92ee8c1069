// Feeds arbitrary bytes to Mp3Reader as a file (see ReaderFuzzing.h); a block never holds
// more than its 1152 frames.

#include "ReaderFuzzing.h"
#include "audio/Mp3Reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return spinlorex::fuzz::readTrackBytes<spinlorex::Mp3Reader>(data, size, "mp3_reader", ".mp3",
                                                                 2000);
}
