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
}

bool DeckDecoder::decodeAhead() {
    int32_t free = timeline_.keepFrom.load(relaxed) - timeline_.decodeWrite.load(relaxed);
    if (free < 1) free += kFrames;
    if (free < kMinFreeBlocksToDecode * kBlockFrames) return false;

    int16_t* block = blockAt(timeline_.decodeWrite.load(relaxed));
    if (timeline_.decoding.load(relaxed)) {
        timeline_.blockPositions[blockCursor_] = reader_->position();
        const int32_t result = reader_->decodeBlock(block);
        if (result == TrackReader::kError) desk_.setDeckStatus(deckIndex_, kStatusDecodeError);
        if (result <= 0) {
            timeline_.decoding.store(false, relaxed);
            return false;
        }
    } else {
        timeline_.blockPositions[blockCursor_] = -1.0f;
        std::memset(block, 0, kBlockFrames * kBytesPerFrame);
    }
    analyser_.feedBlock(block);
    advanceWrite();
    const int32_t unfilled = timeline_.unfilledFrames.load(relaxed);
    if (unfilled > 0) timeline_.unfilledFrames.store(unfilled - kBlockFrames, relaxed);
    return true;
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
}

bool DeckDecoder::seek(float fraction) {
    clearRing(0.0f);
    const int32_t write = timeline_.decodeWrite.load(relaxed);
    if (fraction == 0.0f) {
        reader_->seek(0.0f);
        analyser_.resetSignal();
        timeline_.unfilledFrames.store(kFrames, relaxed);
        timeline_.keepFrom.store(write, relaxed);
        timeline_.decoding.store(true, relaxed);
        return true;
    }

    reader_->seek(fraction);
    analyser_.resetSignal();
    timeline_.blockPositions[blockCursor_] = reader_->position();
    int16_t* block = blockAt(write);
    const int32_t result = reader_->decodeBlock(block);
    if (result == TrackReader::kError) desk_.setDeckStatus(deckIndex_, kStatusDecodeError);
    if (result <= 0) {
        timeline_.decoding.store(false, relaxed);
        return false;
    }
    analyser_.feedBlock(block);
    advanceWrite();
    timeline_.unfilledFrames.store(kFrames - kBlockFrames, relaxed);
    // The reader stopped at the end of the block; the heard frame lies as many frames
    // before that end as the frame `fraction` designates lies before the reader's frame.
    const int64_t target =
        std::llround(static_cast<double>(fraction) * static_cast<double>(trackFrames_));
    const auto back =
        static_cast<int32_t>(std::clamp<int64_t>(reader_->nextFrame() - target, 0, kBlockFrames));
    int32_t keep = timeline_.decodeWrite.load(relaxed) - back;
    if (keep < 0) keep += kFrames;
    timeline_.keepFrom.store(keep, relaxed);
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
    return static_cast<float>(timeline_.blockPositions[index / kBlockFrames] +
                              (index % kBlockFrames) / static_cast<double>(trackFrames_));
}

}  // namespace spinlorex
