#include "audio/ScratchHistory.h"

#include <algorithm>
#include <cstring>

#include "audio/AudioFormat.h"
#include "audio/TrackReader.h"

namespace spinlorex {
namespace {

constexpr int32_t kStagingFrames = ScratchHistory::kBackStep + 2 * kBlockFrames;

}  // namespace

void ScratchHistory::allocate() {
    if (frames_ != nullptr) return;
    frames_.reset(new int16_t[static_cast<size_t>(kFrames) * 2]());
    staging_.reset(new int16_t[static_cast<size_t>(kStagingFrames) * 2]());
}

void ScratchHistory::write(int64_t first, const int16_t* frames, int32_t count) {
    while (count > 0) {
        const auto at = static_cast<int32_t>(first & (kFrames - 1));
        const int32_t run = std::min(count, kFrames - at);
        std::memcpy(&frames_[static_cast<size_t>(at) * 2], frames,
                    static_cast<size_t>(run) * kBytesPerFrame);
        first += run;
        frames += static_cast<ptrdiff_t>(run) * 2;
        count -= run;
    }
}

void ScratchHistory::put(int64_t first, const int16_t* frames, int32_t count) {
    if (frames_ == nullptr || count <= 0) return;
    count = std::min(count, kFrames);
    const int64_t last = first + count;
    write(first, frames, count);
    if (end_ <= first_ || first > end_ || last < first_) {
        first_ = first;
        end_ = last;
        return;
    }
    // Joined: the side just written stays whole, the other gives way.
    if (first < first_) {
        first_ = first;
        end_ = std::min(end_, first_ + kFrames);
    }
    if (last > end_) {
        end_ = last;
        first_ = std::max(first_, end_ - kFrames);
    }
}

bool ScratchHistory::fetch(TrackReader& reader, int64_t from, int64_t to, int64_t total) {
    if (frames_ == nullptr) return false;
    from = std::max<int64_t>(from, 0);
    to = std::min(to, total);
    if (to <= from || holds(from, to)) return true;
    to = std::min(to, from + kFrames - kBackStep);
    const bool held = end_ > first_;
    if (held && from >= first_ && from <= end_) {
        decodeRun(reader, end_, to);
    } else if (held && from < first_ && to >= first_) {
        // Backwards past the start: a step before it, joined to it.
        decodeRun(reader, std::max<int64_t>(0, std::min(from, first_ - kBackStep)), first_);
    } else {
        clear();
        decodeRun(reader, from, to);
    }
    return holds(from, to);
}

bool ScratchHistory::decodeRun(TrackReader& reader, int64_t start, int64_t until) {
    if (reader.nextFrame() != start) reader.seekFrame(start);
    int64_t stagedFirst = -1;
    int32_t staged = 0;
    bool ok = true;
    // Enough blocks to cover the run from a reader that landed a block early, no more.
    for (int64_t budget = (until - start) / kBlockFrames + 3; budget > 0; --budget) {
        if (staged + kBlockFrames > kStagingFrames) {
            put(stagedFirst, staging_.get(), staged);
            staged = 0;
        }
        int16_t* block = &staging_[static_cast<size_t>(staged) * 2];
        if (reader.decodeBlock(block) != TrackReader::kDone) {
            ok = false;
            break;
        }
        const int64_t blockFirst = reader.nextFrame() - kBlockFrames;
        if (staged > 0 && blockFirst != stagedFirst + staged) {
            // Not where the run goes on (a reader that landed elsewhere): the run so far
            // stands on its own.
            put(stagedFirst, staging_.get(), staged);
            std::memmove(staging_.get(), block, static_cast<size_t>(kBlockFrames) * kBytesPerFrame);
            staged = 0;
        }
        if (staged == 0) stagedFirst = blockFirst;
        staged += kBlockFrames;
        if (stagedFirst + staged >= until) break;
    }
    if (staged > 0) put(stagedFirst, staging_.get(), staged);
    return ok;
}

}  // namespace spinlorex
