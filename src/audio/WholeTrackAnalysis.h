#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/DeckLinks.h"
#include "audio/DeckStream.h"
#include "library/BeatGrid.h"
#include "library/TrackMeasures.h"
#include "library/WaveformSummary.h"

namespace spinlorex {

// What the analysis of one whole file gave.
struct WholeTrackResult {
    // kStatusNormal; kStatusCannotOpen when the file would not open; kStatusDecodeError
    // when a block would not decode (the measures then cover what came before it).
    uint32_t status = kStatusNormal;
    bool cancelled = false;  // stopped on request: the measures are incomplete
    int32_t duration = -1;   // whole seconds, -1 when the file would not open
    uint32_t fileSize = 0;
    TrackMeasures measures{.peakLevel = 0};
    BeatGrid grid;  // fitted over the whole track (empty when cancelled or beatless)
    // The track's waveform summary; null when cancelled, not asked for or not opened.
    std::shared_ptr<const WaveformSummary> waveform;
    int key = 0;  // the musical key's code (library/MusicalKey.h), 0 when none was found
};

// What else the pass makes besides the measures.
struct WholeTrackExtras {
    bool fitGrid = true;           // false: the grid is left empty and its cost saved
    bool summarise = true;         // false: no waveform summary
    bool detectKey = true;         // false: no key (0)
    LiveWaveform* live = nullptr;  // the summary's columns as they are made (any thread reads)
};

// Reads a file from its start with `reader` and runs a beat analyser in the state of a
// freshly built deck over every block exactly once, and then over the silence that a deck
// decodes after the end before the end is heard: the measures a new deck takes playing
// the track once from its start, whatever the machine's speed and whatever was analysed
// before (with measuringReaders, tracks not at 44100 Hz give the same tempo and beats but
// may differ in the last digits of the levels). The reader is closed again at the end.
//
// Any thread but the sound thread (it allocates and takes as long as the decoding).
// `cancel`, when given, is polled between blocks. The benchmarks compare the pass with and
// without its extras.
WholeTrackResult analyseWholeTrack(TrackReader& reader, const std::string& path,
                                   const std::atomic<bool>* cancel = nullptr,
                                   const WholeTrackExtras& extras = {});

// The readers to give analyseWholeTrack: a deck's, except that tracks at other rates come
// to 44100 Hz by interpolation instead of a listening-quality filter. The analyser reads
// only the bass, which both keep; the filter would cost several times the analysis itself.
// Any thread.
DeckStream::Readers measuringReaders();

}  // namespace spinlorex
