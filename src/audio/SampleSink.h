#pragma once

#include <cstdint>
#include <string>

namespace spinlorex {

// Receives the mixed output, frame by frame, as it is heard (the mix recorder).
class SampleSink {
public:
    virtual ~SampleSink() = default;
    // Sound thread: `count` stereo 16-bit frames. Must not block, lock or allocate.
    virtual void write(const int16_t* frames, int32_t count) = 0;
    // Main thread: a few lines on what is being recorded, for the display.
    virtual std::string describe() const = 0;
    // Any thread: the sink stopped taking frames by itself (its file cannot be written);
    // describe() says so. The desk then ends the recording.
    virtual bool failed() const { return false; }
    // Any thread: frames that could not be kept because the sink fell behind.
    virtual int64_t framesLost() const { return 0; }
};

}  // namespace spinlorex
