#pragma once

#include <cstdint>
#include <vector>

namespace spinlorex {

// A steady beat over part of a track: beat k of the section falls `firstBeat + k *
// beatLength` seconds into the track (k may be negative down to the section's start).
// Times are in seconds of the track as written, whatever its sample rate.
struct GridSection {
    double start = 0.0;       // where the section begins (the first section: 0)
    double firstBeat = 0.0;   // a beat of this section, at or after `start`
    double beatLength = 0.5;  // seconds per beat

    double bpm() const { return 60.0 / beatLength; }
    // Beats from firstBeat to `seconds` (negative before it): the whole part counts beats,
    // the fraction is the phase within the beat.
    double beatsAt(double seconds) const { return (seconds - firstBeat) / beatLength; }
    // The time of the beat nearest `seconds`.
    double nearestBeat(double seconds) const;
    bool operator==(const GridSection&) const = default;
};

// Where a track's beats fall, fitted over the whole track: one section for a steady
// track, several where the tempo changes, none where no steady beat exists.
struct BeatGrid {
    std::vector<GridSection> sections;  // in time order, each from its start to the next's
    float fit = 0.0f;                   // 0..1: how well a steady grid explains the onsets
    double length = 0.0;                // seconds: the track it was fitted over
    // The musical key found on the same pass (library/MusicalKey.h code; 0: none found,
    // or not looked for). Kept with the grid: both are the whole-track analysis's.
    int32_t key = 0;

    bool empty() const { return sections.empty(); }
    // The section that holds `seconds` (the first one before its start); null when empty.
    const GridSection* sectionAt(double seconds) const;
    // The phase of the beat at `seconds`, 0..1 (0 on a beat); -1 when empty.
    double phaseAt(double seconds) const;
    // The tempo of the section that lasts longest in a track of `trackSeconds` (the last
    // section runs to the end); 0 when empty.
    double mainBpm(double trackSeconds) const;
    double mainBpm() const { return mainBpm(length); }
    bool operator==(const BeatGrid&) const = default;
};

}  // namespace spinlorex
