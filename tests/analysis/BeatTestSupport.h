#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/BeatAnalyser.h"
#include "tools/synth/Synth.h"

namespace spinlorex {

// Reaches into the analyser for what its public face does not show.
struct BeatAnalyserProbe {
    static std::span<const int32_t> correlation(const BeatAnalyser& a) { return {a.correlation_.data(), beat::kLags}; }
    static void useKernels(BeatAnalyser& a, const beat::Kernels& kernels) { a.kernels_ = &kernels; }
    // Accumulator of `lag` (451..1800). With a silent bass ring, feeding silence keeps it.
    static void setCorrelation(BeatAnalyser& a, int32_t lag, int32_t value) { a.correlation_[static_cast<size_t>(1800 - lag)] = value; }
    static void clearCorrelation(BeatAnalyser& a) { a.correlation_.fill(0); }
    static void setOnset(BeatAnalyser& a, int32_t step, int32_t value) {
        a.onsetRing_[static_cast<uint32_t>(step) % BeatAnalyser::kRingSteps].store(value);
    }
};

namespace test {

constexpr int32_t kBlockFrames = 1152;
constexpr int32_t kRingFrames = DecodeTimeline::kRingFrames;

// Keeps a deck's decode state the way a deck playing a track from its start does: blocks
// are decoded up to 192 ahead of the heard one, which then moves on a block at a time.
struct DeckTimeline {
    DecodeTimeline timeline;
    int32_t cursor = 0;
    int64_t fed = 0;

    DeckTimeline() { timeline.decoding = true; }

    // Call before handing the block at `position` (-1 for a silent block) to the analysers.
    void beginBlock(float position) {
        timeline.blockPositions[cursor] = position;
        if (position < 0) timeline.decoding = false;
    }
    void endBlock() {
        ++fed;
        cursor = (cursor + 1) % DecodeTimeline::kRingBlocks;
        timeline.decodeWrite = static_cast<int32_t>((fed * kBlockFrames) % kRingFrames);
        timeline.keepFrom = static_cast<int32_t>((std::max<int64_t>(0, fed - 192) * kBlockFrames) % kRingFrames);
        timeline.unfilledFrames = std::max(0, timeline.unfilledFrames.load() - kBlockFrames);
    }
    // After a seek to the start: the ring is empty again and the heard frame is the next written.
    void restart() {
        timeline.blockPositions.fill(0.0f);
        timeline.keepFrom = timeline.decodeWrite.load();
        timeline.unfilledFrames = kRingFrames;
        timeline.decoding = true;
    }
};

// A track as 16-bit stereo blocks, the last one padded with silence.
struct Track {
    std::vector<int16_t> pcm;
    int64_t frames = 0;

    explicit Track(const synth::Params& params) : pcm(synth::toPcm16(synth::render(params))) {
        frames = static_cast<int64_t>(pcm.size() / 2);
        pcm.resize(static_cast<size_t>(blocks()) * kBlockFrames * 2);
    }
    int32_t blocks() const { return static_cast<int32_t>((frames + kBlockFrames - 1) / kBlockFrames); }
    const int16_t* block(int32_t b) const { return &pcm[static_cast<size_t>(b) * kBlockFrames * 2]; }
    float position(int32_t b) const { return static_cast<float>(static_cast<double>(b) * kBlockFrames / static_cast<double>(frames)); }
};

// One analyser with its own track record, fed by a shared timeline.
struct AnalysedDeck {
    DeckTimeline deck;
    TrackRecord record;
    TrackAnalysis analysis;
    BeatAnalyser analyser{deck.timeline};

    AnalysedDeck() {
        analysis.owner = &record;
        analyser.setAnalysis(&analysis);
    }
    void feed(const int16_t* block, float position) {
        deck.beginBlock(position);
        analyser.feedBlock(block);
        deck.endBlock();
    }
    // The whole track, then `tailBlocks` silent blocks as after the end of the data.
    void play(const Track& track, int32_t tailBlocks = 0) {
        for (int32_t b = 0; b < track.blocks(); ++b) feed(track.block(b), track.position(b));
        const std::vector<int16_t> silence(kBlockFrames * 2, 0);
        for (int32_t b = 0; b < tailBlocks; ++b) feed(silence.data(), -1.0f);
    }
};

}  // namespace test
}  // namespace spinlorex
