#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "analysis/BeatAnalyser.h"
#include "analysis/DecodeTimeline.h"
#include "audio/LoopedSource.h"
#include "audio/ScratchHistory.h"

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

    // The decoded frames behind (and ahead of) the heard point, by track frame: every block
    // decoded goes in. Allocated on the caller thread while the deck is closed, used on the
    // sound thread.
    ScratchHistory& history() { return history_; }

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
    // The same to the exact engine frame `frame`. Inside the loop a looping deck goes on
    // looping from there; elsewhere the loop ends.
    bool seekFrame(int64_t frame);
    // Empties the ring and refills it round `loop` from track frame `from`, which must lie
    // inside it; the heard point at `from`. False when the loop is not playable or its
    // audio would not decode (decoding then stops).
    bool startLoop(const LoopSpan& loop, int64_t from);
    // Ends the loop: the ring refilled straight on from track frame `from`.
    bool endLoop(int64_t from) {
        looping_ = false;
        return seekFrame(from);
    }
    // Forgets the loop without touching the ring (a close, a new track).
    void forgetLoop() { looping_ = false; }
    bool looping() const { return looping_; }
    const LoopSpan& loop() const { return loop_; }
    // The track frame heard now, exactly; -1 within silence after the end.
    int64_t heardFrame() const;

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
    // Decodes the block at the write point, from the loop or straight from the reader, and
    // notes where it came from. The reader's result (TrackReader::DecodeResult).
    int32_t decodeBlock(int16_t* block);
    // The first block after a seek or a loop's start; its first frame is heard.
    bool decodeFirstBlock(int64_t heard);
    bool insideLoop(int64_t frame) const;
    // Track frame of ring index `index`; -1 for silence.
    int64_t frameAt(int32_t index) const;

    const int deckIndex_;
    DeskControl& desk_;
    TrackReader* reader_ = nullptr;
    int64_t trackFrames_ = 0;
    DecodeTimeline timeline_;
    BeatAnalyser analyser_;
    int32_t blockCursor_ = 0;
    std::unique_ptr<int16_t[]> ring_;
    // Per block of the ring: the track frame of its first frame (-1: silence), and where a
    // loop's new round began in it (kBlockFrames: nowhere).
    std::array<int64_t, kBlocks> blockFrames_{};
    std::array<int32_t, kBlocks> joinAt_{};
    bool looping_ = false;
    LoopSpan loop_;
    LoopedSource looped_;
    ScratchHistory history_;
};

}  // namespace spinlorex
