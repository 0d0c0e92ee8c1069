#pragma once

// A sound file as libsndfile reads it: an outside reader's view of the files we write.

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace spinlorex::test {

struct SndfileRead {
    bool opened = false;
    int majorFormat = 0;  // SF_FORMAT_WAV, SF_FORMAT_RF64, ...
    int64_t frames = 0;
    int channels = 0;
    int sampleRate = 0;
    std::vector<int16_t> samples;  // every frame, interleaved
};

inline SndfileRead readWithSndfile(const std::string& path) {
    SndfileRead read;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return read;
    read.opened = true;
    read.majorFormat = info.format & SF_FORMAT_TYPEMASK;
    read.frames = info.frames;
    read.channels = info.channels;
    read.sampleRate = info.samplerate;
    read.samples.resize(static_cast<size_t>(info.frames * info.channels));
    read.samples.resize(static_cast<size_t>(sf_readf_short(file, read.samples.data(), info.frames) *
                                            info.channels));
    sf_close(file);
    return read;
}

}  // namespace spinlorex::test
