#include "audio/LoopedSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/AudioFormat.h"
#include "audio/TrackReader.h"

namespace spinlorex {

LoopedSource::LoopedSource()
    : staged_(new int16_t[kBlockFrames * 2]()), lead_(new int16_t[kJoinFrames * 2]()) {}

void LoopedSource::start(TrackReader& reader, const LoopSpan& loop, int64_t from) {
    reader_ = &reader;
    loop_ = loop;
    round_ = 0;
    stagedFrom_ = -1;
    // Before the loop the deck plays on into it: the first round is longer by that much.
    intoRound_ = std::min<int64_t>(from - loop.start, roundFrames(0) - 1);
    next_ = loop.start + intoRound_;
    if (!read(loop.start - kJoinFrames, kJoinFrames, lead_.get()))
        std::memset(lead_.get(), 0, kJoinFrames * kBytesPerFrame);
}

int64_t LoopedSource::roundFrames(int64_t round) const {
    return std::llround(static_cast<double>(round + 1) * loop_.length) -
           std::llround(static_cast<double>(round) * loop_.length);
}

bool LoopedSource::read(int64_t frame, int32_t frames, int16_t* out) {
    while (frames > 0) {
        int32_t n = 0;
        if (frame < 0) {
            // Before the track: silence.
            n = static_cast<int32_t>(std::min<int64_t>(frames, -frame));
            std::memset(out, 0, static_cast<size_t>(n) * kBytesPerFrame);
        } else if (stagedFrom_ >= 0 && frame >= stagedFrom_ && frame < stagedFrom_ + kBlockFrames) {
            const auto offset = static_cast<int32_t>(frame - stagedFrom_);
            n = std::min(frames, kBlockFrames - offset);
            std::memcpy(out, &staged_[static_cast<size_t>(offset) * 2],
                        static_cast<size_t>(n) * kBytesPerFrame);
        } else {
            // The next block straight on, or a seek to the frame.
            if (stagedFrom_ < 0 || frame != stagedFrom_ + kBlockFrames) reader_->seekFrame(frame);
            const int32_t result = reader_->decodeBlock(staged_.get());
            if (result == TrackReader::kError) {
                stagedFrom_ = -1;
                return false;
            }
            if (result == TrackReader::kDone) {
                // Where the block began, told by where the reader stands after it.
                stagedFrom_ = reader_->nextFrame() - kBlockFrames;
            } else {
                // Past the last whole block: silence, wherever the reader stopped.
                std::memset(staged_.get(), 0, kBlockFrames * kBytesPerFrame);
                stagedFrom_ = frame;
            }
            if (stagedFrom_ > frame) {
                // A reader that landed past the frame (none of the engine's): silence up
                // to where it stands, rather than reading for ever.
                n = static_cast<int32_t>(std::min<int64_t>(frames, stagedFrom_ - frame));
                std::memset(out, 0, static_cast<size_t>(n) * kBytesPerFrame);
            }
        }
        frame += n;
        frames -= n;
        out += 2 * n;
    }
    return true;
}

bool LoopedSource::fill(int16_t* block, BlockSource& source) {
    if (intoRound_ >= roundFrames(round_)) {
        ++round_;
        intoRound_ = 0;
        next_ = loop_.start;
    }
    source.firstFrame = next_;
    source.joinAt = kBlockFrames;
    int32_t done = 0;
    while (done < kBlockFrames) {
        const int64_t length = roundFrames(round_);
        if (intoRound_ >= length) {
            ++round_;
            intoRound_ = 0;
            next_ = loop_.start;
            source.joinAt = done;
            continue;
        }
        const int64_t fadeFrom = length - kJoinFrames;
        const int64_t until = intoRound_ < fadeFrom ? fadeFrom : length;
        const auto n =
            static_cast<int32_t>(std::min<int64_t>(kBlockFrames - done, until - intoRound_));
        int16_t* out = block + 2 * done;
        if (!read(next_, n, out)) return false;
        if (intoRound_ >= fadeFrom) {
            // The round's end fades out as the frames leading into the start fade in, so
            // the next round begins where the lead-in would have gone on.
            const auto into = static_cast<int32_t>(intoRound_ - fadeFrom);
            for (int32_t i = 0; i < 2 * n; ++i) {
                const float w = (static_cast<float>((into + i / 2)) + 0.5f) / kJoinFrames;
                const float mixed = static_cast<float>(out[i]) * (1.0f - w) +
                                    static_cast<float>(lead_[2 * into + i]) * w;
                out[i] = static_cast<int16_t>(std::lround(mixed));
            }
        }
        next_ += n;
        intoRound_ += n;
        done += n;
    }
    return true;
}

}  // namespace spinlorex
