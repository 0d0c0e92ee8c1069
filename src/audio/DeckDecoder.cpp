#include "audio/DeckDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/AudioFormat.h"
#include "audio/DeckLinks.h"
#include "audio/RingCopy.h"
#include "audio/TrackReader.h"

namespace spinlorex {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;

}  // namespace

DeckDecoder::DeckDecoder(int deckIndex, DeskControl& desk)
    : deckIndex_(deckIndex), desk_(desk), analyser_(timeline_), ring_(new int16_t[kFrames * 2]()) {
    timeline_.unfilledFrames.store(kFrames, relaxed);
    blockFrames_.fill(-1);
    joinAt_.fill(kBlockFrames);
}

bool DeckDecoder::decodeAhead() {
    int32_t free = timeline_.keepFrom.load(relaxed) - timeline_.decodeWrite.load(relaxed);
    if (free < 1) free += kFrames;
    if (free < kMinFreeBlocksToDecode * kBlockFrames) return false;

    int16_t* block = blockAt(timeline_.decodeWrite.load(relaxed));
    if (timeline_.decoding.load(relaxed)) {
        const int32_t result = decodeBlock(block);
        if (result == TrackReader::kError) desk_.setDeckStatus(deckIndex_, kStatusDecodeError);
        if (result <= 0) {
            timeline_.decoding.store(false, relaxed);
            return false;
        }
    } else {
        timeline_.blockPositions[blockCursor_] = -1.0f;
        blockFrames_[blockCursor_] = -1;
        joinAt_[blockCursor_] = kBlockFrames;
        std::memset(block, 0, kBlockFrames * kBytesPerFrame);
    }
    analyser_.feedBlock(block);
    advanceWrite();
    const int32_t unfilled = timeline_.unfilledFrames.load(relaxed);
    if (unfilled > 0) timeline_.unfilledFrames.store(unfilled - kBlockFrames, relaxed);
    return true;
}

int32_t DeckDecoder::decodeBlock(int16_t* block) {
    const auto at = static_cast<size_t>(blockCursor_);
    if (!looping_) {
        timeline_.blockPositions[at] = reader_->position();
        joinAt_[at] = kBlockFrames;
        const int32_t result = reader_->decodeBlock(block);
        // Where the block began, told by where the reader stands after it (a reader
        // without exact seeks knows that better than where a seek left it).
        blockFrames_[at] = result == TrackReader::kDone ? reader_->nextFrame() - kBlockFrames : -1;
        if (blockFrames_[at] >= 0) history_.put(blockFrames_[at], block, kBlockFrames);
        return result;
    }
    LoopedSource::BlockSource source;
    if (!looped_.fill(block, source)) return TrackReader::kError;
    blockFrames_[at] = source.firstFrame;
    joinAt_[at] = source.joinAt;
    // The history keeps runs of consecutive frames: a new round starts one afresh.
    history_.put(source.firstFrame, block, std::min(source.joinAt, kBlockFrames));
    if (source.joinAt < kBlockFrames)
        history_.put(loop_.start, block + static_cast<ptrdiff_t>(source.joinAt) * 2,
                     kBlockFrames - source.joinAt);
    timeline_.blockPositions[at] = static_cast<float>(static_cast<double>(source.firstFrame) /
                                                      static_cast<double>(trackFrames_));
    return TrackReader::kDone;
}

void DeckDecoder::advanceWrite() {
    int32_t write = timeline_.decodeWrite.load(relaxed) + kBlockFrames;
    ++blockCursor_;
    if (write >= kFrames) {
        write = 0;
        blockCursor_ = 0;
    }
    timeline_.decodeWrite.store(write, relaxed);
}

void DeckDecoder::clearRing(float blockPosition) {
    std::memset(ring_.get(), 0, static_cast<size_t>(kFrames) * kBytesPerFrame);
    timeline_.blockPositions.fill(blockPosition);
    blockFrames_.fill(-1);
    joinAt_.fill(kBlockFrames);
}

bool DeckDecoder::seek(float fraction) {
    const int64_t frame =
        std::llround(static_cast<double>(fraction) * static_cast<double>(trackFrames_));
    if (insideLoop(frame)) return startLoop(loop_, frame);
    looping_ = false;
    clearRing(0.0f);
    reader_->seek(fraction);
    if (fraction == 0.0f) {
        analyser_.resetSignal();
        timeline_.unfilledFrames.store(kFrames, relaxed);
        timeline_.keepFrom.store(timeline_.decodeWrite.load(relaxed), relaxed);
        timeline_.decoding.store(true, relaxed);
        return true;
    }
    return decodeFirstBlock(frame);
}

bool DeckDecoder::seekFrame(int64_t frame) {
    if (insideLoop(frame)) return startLoop(loop_, frame);
    looping_ = false;
    clearRing(0.0f);
    reader_->seekFrame(std::max<int64_t>(frame, 0));
    return decodeFirstBlock(frame);
}

bool DeckDecoder::insideLoop(int64_t frame) const {
    return looping_ && frame >= loop_.start &&
           static_cast<double>(frame - loop_.start) < loop_.length;
}

bool DeckDecoder::startLoop(const LoopSpan& loop, int64_t from) {
    if (!loop.valid() || reader_ == nullptr) return false;
    clearRing(0.0f);
    loop_ = loop;
    looping_ = true;
    looped_.start(*reader_, loop, from);
    return decodeFirstBlock(looped_.nextFrame());
}

bool DeckDecoder::decodeFirstBlock(int64_t heard) {
    analyser_.resetSignal();
    const int32_t write = timeline_.decodeWrite.load(relaxed);
    const int32_t result = decodeBlock(blockAt(write));
    if (result == TrackReader::kError) desk_.setDeckStatus(deckIndex_, kStatusDecodeError);
    if (result <= 0) {
        looping_ = false;
        timeline_.decoding.store(false, relaxed);
        return false;
    }
    analyser_.feedBlock(blockAt(write));
    advanceWrite();
    timeline_.unfilledFrames.store(kFrames - kBlockFrames, relaxed);
    // The block starts at or just before the heard frame.
    const auto back = static_cast<int32_t>(std::clamp<int64_t>(
        heard - blockFrames_[static_cast<size_t>(write / kBlockFrames)], 0, kBlockFrames - 1));
    timeline_.keepFrom.store(write + back, relaxed);
    timeline_.decoding.store(true, relaxed);
    return true;
}

int32_t DeckDecoder::framesAhead(int32_t read) const {
    return ringDistance(timeline_.decodeWrite.load(relaxed), read, kFrames);
}

const int16_t* DeckDecoder::source(int32_t read, int32_t span, int32_t history,
                                   int16_t* scratch) const {
    if (read >= history && read + span <= kFrames) return &ring_[static_cast<size_t>(read) * 2];
    copyFromRing(scratch, ring_.get(), kFrames, ringDistance(read, history, kFrames),
                 history + span);
    return scratch + history * 2;
}

float DeckDecoder::hear(int32_t index) {
    timeline_.keepFrom.store(index, relaxed);
    const auto block = static_cast<size_t>(index / kBlockFrames);
    const int32_t offset = index % kBlockFrames;
    if (offset >= joinAt_[block])  // a new round of the loop began within the block
        return static_cast<float>(static_cast<double>(loop_.start + (offset - joinAt_[block])) /
                                  static_cast<double>(trackFrames_));
    return static_cast<float>(timeline_.blockPositions[block] +
                              offset / static_cast<double>(trackFrames_));
}

int64_t DeckDecoder::frameAt(int32_t index) const {
    const auto block = static_cast<size_t>(index / kBlockFrames);
    const int32_t offset = index % kBlockFrames;
    if (blockFrames_[block] < 0) return -1;
    if (offset >= joinAt_[block]) return loop_.start + (offset - joinAt_[block]);
    return blockFrames_[block] + offset;
}

int64_t DeckDecoder::heardFrame() const { return frameAt(heardIndex()); }

}  // namespace spinlorex
