#include "audio/DeckStream.h"
#include "audio/Mp3Reader.h"
#include "audio/SndfileReader.h"
#include "audio/WavReader.h"
#include "library/AudioFileTypes.h"

namespace spinlorex {

DeckStream::Readers DeckStream::standardReaders() {
    return {std::make_unique<WavReader>(), std::make_unique<Mp3Reader>(),
            std::make_unique<SndfileReader>()};
}

TrackReader* DeckStream::Readers::forPath(std::string_view path) const {
    if (isWavFileName(path)) return wav.get();
    if (isSndfileFileName(path)) return sndfile.get();
    return mp3.get();
}

}  // namespace spinlorex
