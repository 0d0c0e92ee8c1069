#include "audio/DeckStream.h"
#include "audio/Mp3Reader.h"
#include "audio/SndfileReader.h"
#include "audio/WavReader.h"

namespace spinlorex {

DeckStream::Readers DeckStream::standardReaders() {
    return {std::make_unique<WavReader>(), std::make_unique<Mp3Reader>(), std::make_unique<SndfileReader>()};
}

}  // namespace spinlorex
