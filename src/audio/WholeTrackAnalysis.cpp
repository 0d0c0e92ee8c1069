#include "audio/WholeTrackAnalysis.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/BeatAnalyser.h"
#include "analysis/BeatGridFit.h"
#include "analysis/DecodeTimeline.h"
#include "analysis/KeyDetector.h"
#include "analysis/OnsetEnvelope.h"
#include "analysis/WaveformBuilder.h"
#include "audio/AudioFormat.h"
#include "audio/DeckStream.h"
#include "audio/Mp3Reader.h"
#include "audio/SndfileReader.h"
#include "audio/TrackReader.h"
#include "audio/WavReader.h"

namespace spinlorex {
namespace {

// A deck keeps decoding ahead after the end until the silent block is heard: the decoded
// ring less the blocks it keeps free. The analyser needs far fewer to finish the last
// onsets and the last loudness window; the rest change nothing.
constexpr int32_t kSilentBlocksAfterEnd =
    DeckStream::kDecodedBlocks - DeckStream::kMinFreeBlocksToDecode;

// What a fresh deck has: its analyser, the timeline a seek to the start leaves (every
// block position 0), the track's record and analysis block of its own.
struct FreshDeck {
    DecodeTimeline timeline;
    BeatAnalyser analyser{timeline};
    TrackRecord record;
    TrackAnalysis analysis;
    int32_t blockCursor = 0;

    FreshDeck() {
        timeline.blockPositions.fill(0.0f);
        timeline.decoding.store(true, std::memory_order_relaxed);
        analysis.owner = &record;
        analyser.setAnalysis(&analysis);
    }
    void feed(const int16_t* block, float position) {
        timeline.blockPositions[static_cast<size_t>(blockCursor)] = position;
        analyser.feedBlock(block);
        blockCursor = (blockCursor + 1) % DecodeTimeline::kRingBlocks;
    }
};

template <class Reader>
std::unique_ptr<TrackReader> measuring() {
    auto reader = std::make_unique<Reader>();
    reader->setConversion(FrameReader::Conversion::Measuring);
    return reader;
}

bool cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

}  // namespace

WholeTrackResult analyseWholeTrack(TrackReader& reader, const std::string& path,
                                   const std::atomic<bool>* cancel,
                                   const WholeTrackExtras& extras) {
    const bool fitGrid = extras.fitGrid;
    const bool detectKey = extras.detectKey;
    WholeTrackResult result;
    const int32_t seconds = reader.open(path);
    if (seconds <= 0) {
        result.status = kStatusCannotOpen;
        return result;
    }
    result.duration = seconds;
    result.fileSize = reader.fileSize();

    auto deck = std::make_unique<FreshDeck>();
    // The beat grid's own record of the level, beside the analyser (which it leaves alone).
    OnsetEnvelope envelope;
    if (fitGrid) envelope.reserve(reader.totalFrames() + kBlockFrames);
    std::optional<WaveformBuilder> waveform;
    if (extras.summarise) waveform.emplace(reader.totalFrames(), extras.live);
    // The key's estimator reads the same blocks.
    std::unique_ptr<KeyDetector> keys;
    if (detectKey) keys = std::make_unique<KeyDetector>();
    std::vector<int16_t> block(static_cast<size_t>(kBlockFrames) * 2);
    for (;;) {
        if (cancelled(cancel)) {
            result.cancelled = true;
            break;
        }
        const float position = reader.position();
        const int32_t r = reader.decodeBlock(block.data());
        if (r == TrackReader::kError) result.status = kStatusDecodeError;
        if (r <= 0) break;
        deck->feed(block.data(), position);
        if (fitGrid) envelope.feed(block.data(), kBlockFrames);
        if (waveform) waveform->feed(block.data(), kBlockFrames);
        if (keys) keys->feed(block.data(), kBlockFrames);
    }
    reader.close();

    if (!result.cancelled) {
        deck->timeline.decoding.store(false, std::memory_order_relaxed);
        std::fill(block.begin(), block.end(), int16_t{0});
        for (int32_t i = 0; i < kSilentBlocksAfterEnd; ++i) deck->feed(block.data(), -1.0f);
    }
    result.measures = measuresOf(deck->analysis);
    if (fitGrid && !result.cancelled) result.grid = fitBeatGrid(envelope.levels());
    if (waveform && !result.cancelled)
        result.waveform = std::make_shared<const WaveformSummary>(waveform->finish());
    if (keys && !result.cancelled) result.key = keys->key();
    return result;
}

DeckStream::Readers measuringReaders() {
    return {measuring<WavReader>(), measuring<Mp3Reader>(), measuring<SndfileReader>()};
}

}  // namespace spinlorex
