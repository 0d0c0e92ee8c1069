#include "desk/DeskLoops.h"

#include <algorithm>
#include <cmath>

#include "audio/AudioFormat.h"
#include "audio/DeckStream.h"
#include "library/BeatGrid.h"

namespace spinlorex {
namespace {

using Entry = DeckStream::LoopEntry;

const BeatGrid* gridOf(const DeckStream& deck) {
    const TrackEntry* track = deck.track();
    if (track == nullptr || track->record == nullptr || !track->record->grid) return nullptr;
    return track->record->grid.get();
}

}  // namespace

std::optional<int64_t> heardFrame(const DeckStream& deck) {
    const float position = deck.position();
    if (position < 0.0f || deck.trackFrames() <= 0) return std::nullopt;
    return std::llround(double{position} * static_cast<double>(deck.trackFrames()));
}

int64_t snapToBeat(const BeatGrid* grid, int64_t frame) {
    const double seconds = static_cast<double>(frame) / kSampleRate;
    const GridSection* section = grid != nullptr ? grid->sectionAt(seconds) : nullptr;
    if (section == nullptr) return frame;
    return std::max<int64_t>(0, std::llround(section->nearestBeat(seconds) * kSampleRate));
}

double DeskLoops::beatFrames(int d) const {
    const DeckStream& ds = deck(d);
    const std::optional<int64_t> heard = heardFrame(ds);
    if (const BeatGrid* grid = gridOf(ds); grid != nullptr && heard) {
        if (const GridSection* s = grid->sectionAt(static_cast<double>(*heard) / kSampleRate))
            return s->beatLength * kSampleRate;
    }
    const TrackEntry* track = ds.track();
    const double bpm = track != nullptr && track->record != nullptr ? track->record->shownBpm() : 0;
    return bpm >= 1.0 && bpm <= 999.0 ? 60.0 / bpm * kSampleRate : 0.0;
}

double DeskLoops::loopBeats(int d) const {
    const double beat = beatFrames(d);
    if (!deck(d).looping() || beat <= 0.0) return 0.0;
    return deck(d).loopLength() / beat;
}

void DeskLoops::play(int d, const LoopSpan& loop, int entry) {
    if (!loop.valid()) return;
    deck(d).setLoop(loop, static_cast<Entry>(entry));
    if (deck(d).looping()) current(d).last = {deck(d).loopStart(), deck(d).loopLength()};
}

void DeskLoops::beatLoop(int d) {
    DeckStream& ds = deck(d);
    if (ds.looping()) {
        exit(d);
        return;
    }
    const std::optional<int64_t> heard = heardFrame(ds);
    const double beat = beatFrames(d);
    if (!heard || beat <= 0.0) return;
    const int64_t start = snapToBeat(gridOf(ds), *heard);
    play(d, {start, state(d).beats * beat}, static_cast<int>(Entry::Keep));
}

void DeskLoops::resize(int d, double factor) {
    State& s = state(d);
    DeckStream& ds = deck(d);
    if (!ds.looping()) {
        s.beats = std::clamp(s.beats * factor, kFewestBeats, kMostBeats);
        return;
    }
    const double beat = beatFrames(d);
    const double length = ds.loopLength() * factor;
    // A beat loop stays within 1/8..32 beats; a loop set by hand only above the shortest.
    if (beat > 0.0 && (length < kFewestBeats * beat * 0.999 || length > kMostBeats * beat * 1.001))
        return;
    if (beat > 0.0) s.beats = std::clamp(length / beat, kFewestBeats, kMostBeats);
    play(d, {ds.loopStart(), length}, static_cast<int>(Entry::Keep));
}

void DeskLoops::move(int d, int direction) {
    DeckStream& ds = deck(d);
    if (!ds.looping()) return;
    const double length = ds.loopLength();
    const int64_t start = ds.loopStart() + std::llround(direction < 0 ? -length : length);
    if (start < 0 || start >= ds.trackFrames()) return;
    play(d, {start, length}, static_cast<int>(Entry::Carry));
}

void DeskLoops::loopIn(int d) {
    if (const std::optional<int64_t> heard = heardFrame(deck(d)))
        current(d).in = snapToBeat(gridOf(deck(d)), *heard);
}

void DeskLoops::loopOut(int d) {
    const std::optional<int64_t> heard = heardFrame(deck(d));
    State& s = current(d);
    if (!heard || s.in < 0) return;
    const int64_t out = snapToBeat(gridOf(deck(d)), *heard);
    play(d, {s.in, static_cast<double>(out - s.in)}, static_cast<int>(Entry::Keep));
}

void DeskLoops::reloop(int d) {
    DeckStream& ds = deck(d);
    if (ds.looping()) {
        exit(d);
        return;
    }
    const LoopSpan last = current(d).last;
    const std::optional<int64_t> heard = heardFrame(ds);
    if (!last.valid() || !heard) return;
    const bool past = static_cast<double>(*heard - last.start) >= last.length;
    play(d, last, static_cast<int>(past ? Entry::Restart : Entry::Keep));
}

void DeskLoops::exit(int d) { deck(d).endLoop(); }

DeskLoops::State& DeskLoops::current(int d) {
    State& s = state(d);
    const TrackEntry* track = deck(d).track();
    const void* record = track != nullptr ? track->record : nullptr;
    if (s.track != record) {
        s.last = LoopSpan{};
        s.in = -1;
        s.track = record;
    }
    return s;
}

}  // namespace spinlorex
