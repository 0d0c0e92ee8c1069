#pragma once

#include <cstdint>
#include <memory>

#include "analysis/BeatAnalyser.h"
#include "analysis/DecodeTimeline.h"

namespace spinlorex {

class DeskControl;
class TrackReader;

// The decoding side of a deck: the ring of decoded audio ahead of the listener, filled block
// by block from the loaded file's reader, with the timeline saying where each block came
// from and the beat analyser that watches every decoded block.
//
// The sound thread alone decodes and seeks; the caller thread changes the reader only while
// the deck is closed.
class DeckDecoder {
public:
    static constexpr int32_t kFrames = DecodeTimeline::kRingFrames;
    static constexpr int32_t kBlocks = DecodeTimeline::kRingBlocks;
    static constexpr int32_t kMinFreeBlocksToDecode = 65;

    // Main thread, at start-up: decode errors are reported to the desk for this deck.
    DeckDecoder(int deckIndex, DeskControl& desk);

    // Caller thread, while the deck is closed: the reader of the loaded file (or null), and
    // its length in frames, which positions are fractions of.
    void setReader(TrackReader* reader) { reader_ = reader; }
    void setTrackFrames(int64_t frames) { trackFrames_ = frames; }
    TrackReader* reader() const { return reader_; }

    // Any thread: the ring's state as the beat queries read it; the analyser.
    const DecodeTimeline& timeline() const { return timeline_; }
    BeatAnalyser& analyser() { return analyser_; }
    const BeatAnalyser& analyser() const { return analyser_; }

    // ---- Sound thread ----

    // Decodes one block when enough of the ring is free; true when a block was added.
    // Once the reader has nothing more, blocks of silence follow.
    bool decodeAhead();
    // The reader delivers no more (a close, or the end was sought).
    void stopDecoding() { timeline_.decoding.store(false, std::memory_order_relaxed); }
    // Empties the ring and refills it from `fraction` (0..1) of the track, the heard point
    // at that frame. False when the block there would not decode: decoding then stops.
    bool seek(float fraction);

    // Frames decoded ahead of ring index `read`.
    int32_t framesAhead(int32_t read) const;
    // `span` frames of the ring from `read`, with the `history` frames before them: in the
    // ring itself, or copied to `scratch` (history + span frames) where the ring wraps.
    const int16_t* source(int32_t read, int32_t span, int32_t history, int16_t* scratch) const;
    // Ring index of the frame now heard.
    int32_t heardIndex() const { return timeline_.keepFrom.load(std::memory_order_relaxed); }
    // Makes ring index `index` the heard frame; returns its track position (negative
    // within silence after the end).
    float hear(int32_t index);

private:
    int16_t* blockAt(int32_t index) { return &ring_[static_cast<size_t>(index) * 2]; }
    void advanceWrite();
    void clearRing(float blockPosition);

    const int deckIndex_;
    DeskControl& desk_;
    TrackReader* reader_ = nullptr;
    int64_t trackFrames_ = 0;
    DecodeTimeline timeline_;
    BeatAnalyser analyser_;
    int32_t blockCursor_ = 0;
    std::unique_ptr<int16_t[]> ring_;
};

}  // namespace spinlorex
