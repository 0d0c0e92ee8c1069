#pragma once

#include <cstdint>
#include <memory>

namespace spinlorex {

class TrackReader;

// Decoded source frames kept by their track frame, so that a deck under the hand (a scratch,
// a nudge) can play backwards and forwards from what was already decoded: a window of up to
// kFrames consecutive track frames, fed with every block the deck decodes. Where the hand
// goes past the window, fetch() seeks the reader and decodes what is missing.
//
// allocate() runs on the caller thread while the deck is closed; everything else on the
// sound thread, never allocating.
class ScratchHistory {
public:
    static constexpr int32_t kFrames = 1 << 19;  // about 11.9 s
    // Frames decoded in one step backwards past the window's start.
    static constexpr int32_t kBackStep = 8 * 1152;

    // Caller thread, while the deck is closed: the storage, once for the deck's life.
    void allocate();
    bool allocated() const { return frames_ != nullptr; }

    // Forgets every frame.
    void clear() { first_ = end_ = 0; }
    // Keeps `count` (at most kFrames) frames starting at track frame `first`: joined to the
    // window when they touch it, else the window starts afresh with them.
    void put(int64_t first, const int16_t* frames, int32_t count);
    // The window holds every frame of [from, to).
    bool holds(int64_t from, int64_t to) const { return from >= first_ && to <= end_; }
    // Makes the window hold [from, to) (clamped to the track's `total` frames, at most
    // kFrames - kBackStep), decoding with `reader`; false when the reader failed or ended
    // before. The reader is left wherever decoding stopped.
    bool fetch(TrackReader& reader, int64_t from, int64_t to, int64_t total);
    // The frame (two samples) at track frame `frame`, which the window must hold.
    const int16_t* frame(int64_t frame) const {
        return &frames_[static_cast<size_t>(frame & (kFrames - 1)) * 2];
    }
    int64_t first() const { return first_; }
    int64_t end() const { return end_; }

private:
    // Decodes blocks from `start` into the staging area until it reaches `until`; puts them.
    bool decodeRun(TrackReader& reader, int64_t start, int64_t until);
    void write(int64_t first, const int16_t* frames, int32_t count);

    std::unique_ptr<int16_t[]> frames_;
    std::unique_ptr<int16_t[]> staging_;  // one backward step and the block it may start in
    int64_t first_ = 0;
    int64_t end_ = 0;
};

}  // namespace spinlorex
