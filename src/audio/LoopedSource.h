#pragma once

#include <cstdint>
#include <memory>

namespace spinlorex {

class TrackReader;

// A loop over part of a track, in engine frames: from `start` for `length` frames (any
// fraction of a frame). Round after round the loop keeps its exact length on average: a
// round lasts round((k + 1) x length) - round(k x length) frames, so ten minutes of a
// 82,687.5-frame loop play 82,687 and 82,688 in turn and never drift.
struct LoopSpan {
    int64_t start = -1;
    double length = 0.0;

    bool valid() const { return start >= 0 && length >= kShortest; }
    // The shortest loop the deck plays: a block and the join's crossfade.
    static constexpr double kShortest = 1152.0 + 256.0;
};

// Feeds a deck's decoded ring from a loop instead of straight through the track: it reads
// the loop's frames from the reader with exact seeks, goes back to the start at the end of
// each round, and joins the rounds without a click by crossfading the last frames of a
// round with the frames just before the loop's start. Frames outside the track are
// silence, so a loop across the track's end keeps its length.
//
// Sound thread only (no allocation after construction, no lock).
class LoopedSource {
public:
    static constexpr int32_t kJoinFrames = 256;  // 5.8 ms of crossfade at each join

    LoopedSource();

    // Starts playing the loop from track frame `from` (inside it, or before it: the deck
    // then plays on into it) with `reader`; the reader's position is the source's from now
    // on.
    void start(TrackReader& reader, const LoopSpan& loop, int64_t from);

    // Where a block filled by fill() came from: its first frame's track frame, and where in
    // it a new round began (the frame at `joinAt` is the loop's start; 1152 when none).
    struct BlockSource {
        int64_t firstFrame = 0;
        int32_t joinAt = 0;
    };
    // Fills one block of 1152 stereo frames. False when the reader failed.
    bool fill(int16_t* block, BlockSource& source);

    // The frame the next fill() starts with.
    int64_t nextFrame() const { return next_; }

private:
    // Copies `frames` frames of the track from frame `frame` on: through the staged block,
    // decoding or seeking as needed. False on a decode error.
    bool read(int64_t frame, int32_t frames, int16_t* out);
    int64_t roundFrames(int64_t round) const;

    TrackReader* reader_ = nullptr;
    LoopSpan loop_;
    int64_t round_ = 0;  // rounds begun since start()
    int64_t intoRound_ = 0;
    int64_t next_ = 0;                   // track frame of the next frame out
    std::unique_ptr<int16_t[]> staged_;  // one block of the reader's
    int64_t stagedFrom_ = -1;            // its first frame; -1: nothing staged
    int32_t stagedFrames_ = 0;           // frames of it that hold the track (the rest: end)
    std::unique_ptr<int16_t[]> lead_;    // the kJoinFrames before the loop's start
};

}  // namespace spinlorex
