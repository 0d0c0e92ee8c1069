#pragma once

#include <cstdint>

#include "audio/FrameSource.h"

namespace spinlorex {

// Brings a FrameSource from its own rate to the engine's 44100 Hz on an exact timeline:
// output frame n lies at source time n x rate / 44100 from the last restart's reference.
// RateConverter filters for listening; LinearRateConverter interpolates for measuring.
//
// open/close: loading thread. read/restartAt/sourceEnd: the reading thread (the sound
// thread for a deck); no allocation, no lock, no log.
class RateConversion {
public:
    virtual ~RateConversion() = default;

    // Prepares the conversion of `source` from `rate` Hz and starts it at frame 0. False
    // when the rate cannot be converted or the source cannot start.
    virtual bool open(FrameSource& source, int32_t rate) = 0;
    virtual void close() = 0;

    // The next `frames` frames at 44100 Hz (stereo float at dest); silence follows the
    // end of the source. False when the source reported an error meanwhile.
    virtual bool read(float* dest, int32_t frames) = 0;
    // The output continues with frame `frame` of the 44100 Hz timeline. False when the
    // source cannot seek there.
    virtual bool restartAt(int64_t frame) = 0;
    // The source frame at which the source reported its end since the last restart, or -1.
    virtual int64_t sourceEnd() const = 0;
};

}  // namespace spinlorex
