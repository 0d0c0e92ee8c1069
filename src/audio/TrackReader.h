#pragma once

#include <cmath>
#include <cstdint>
#include <string>

namespace spinlorex {

// Reads one audio file and delivers it in the engine's unit: blocks of exactly 1152
// stereo 16-bit frames at 44100 Hz. Each deck owns one reader of each kind for its whole
// life and reopens it for every track.
//
// open/close run on the thread that loads a track while the deck is closed; decodeBlock,
// seek and nextFrame run on the sound thread; totalFrames, fixed by open, may be read by
// either. The request handshake orders the two.
class TrackReader {
public:
    enum DecodeResult : int32_t { kError = -1, kEnd = 0, kDone = 1 };

    virtual ~TrackReader() = default;

    // Closes any open file first. Returns the duration in whole seconds; 0 = failure
    // (so a file shorter than one second cannot be loaded).
    virtual int32_t open(const std::string& path) = 0;
    virtual void close() = 0;
    // Writes exactly 1152 frames (2304 samples) at dest: kDone, kEnd or kError.
    virtual int32_t decodeBlock(int16_t* dest) = 0;
    // Positions the reader so the next block starts at or just before `fraction`;
    // sets the current position. Always returns 1.
    virtual int32_t seek(float fraction) = 0;
    // Positions the reader so the next block starts at engine frame `frame` (clamped to the
    // track); readers without exact seeks land at or just before it. Always returns 1.
    virtual int32_t seekFrame(int64_t frame) {
        const int64_t total = totalFrames();
        return seek(
            total > 0 ? static_cast<float>(static_cast<double>(frame) / static_cast<double>(total))
                      : 0.0f);
    }

    // Length of the track in engine frames (44100 Hz), the unit positions are fractions
    // of. Readers that know it exactly say so; the default counts the whole seconds (44100
    // engine frames each).
    virtual int64_t totalFrames() const { return int64_t{duration_} * 44100; }
    // The engine frame at which the next block starts (after a seek: where it landed).
    virtual int64_t nextFrame() const {
        return std::llround(static_cast<double>(position_) * static_cast<double>(totalFrames()));
    }

    // Fraction of the track just after the last block delivered or the last seek.
    float position() const { return position_; }
    int32_t duration() const { return duration_; }
    // The file's size as the database keys a record by it (trackSizeKey).
    uint32_t fileSize() const { return fileSize_; }

protected:
    float position_ = 0.0f;
    int32_t duration_ = 0;
    uint32_t fileSize_ = 0;
};

}  // namespace spinlorex
