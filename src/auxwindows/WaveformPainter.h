#pragma once

// The waveform band's pictures without a window: a deck's waveform scrolling past a fixed
// play line, with its beats, the other deck's beats and the cue point, and the overview of
// a whole track. Drawn into plain 32-bit pixels (0xAARRGGBB), so that the desk (through a
// QImage) and spinlorex-tool (into a PNG) draw the same picture. Qt-free.
//
// Any thread: nothing here keeps state.

#include <cstdint>
#include <functional>

#include "library/BeatGrid.h"
#include "library/HotCues.h"
#include "library/WaveformSummary.h"

namespace spinlorex {

// Pixels to draw into: `stride` pixels from one row to the next, rows from the top.
struct Canvas {
    uint32_t* pixels = nullptr;
    int32_t width = 0, height = 0, stride = 0;

    uint32_t& at(int32_t x, int32_t y) const { return pixels[ptrdiff_t{y} * stride + x]; }
    void fill(uint32_t colour) const;
    // A vertical line over the whole height (nothing outside the canvas).
    void line(int32_t x, uint32_t colour) const;
};

struct WaveColours {
    uint32_t back = 0xFF000000;
    uint32_t low = 0xFF3A78FF;   // bass
    uint32_t mid = 0xFFFFA030;   // the middle
    uint32_t high = 0xFFF4F4F4;  // highs
    uint32_t beat = 0xFF6A6A6A;
    uint32_t bar = 0xFFE8E8E8;  // the first beat of a bar
    uint32_t cue = 0xFF30E060;
    uint32_t play = 0xFFFF2828;
    uint32_t loop = 0xFF4CD964;      // the loop's edges
    uint32_t loopBack = 0xFF12301A;  // behind the music inside the loop
};
inline constexpr WaveColours kWaveColours{};
// Each deck's own colour (deck 1, deck 2): the other deck's beats are drawn in it.
inline constexpr uint32_t kDeckColours[2] = {0xFF1EC8FF, 0xFFFF8A1E};

// Half of each channel: what is dimmed (the part of a track already played, faint lines).
constexpr uint32_t dimmed(uint32_t colour) { return 0xFF000000 | ((colour >> 1) & 0x7F7F7F); }

// The stretch of a track a scrolling waveform shows: the track's second at each pixel
// column, the play line at a fixed column.
struct ScrollWindow {
    double playSeconds = 0;      // the track's second heard now, under the play line
    double secondsPerPixel = 0;  // of the track, at the deck's speed
    int32_t playX = 0;

    double secondsAt(double x) const { return playSeconds + (x - playX) * secondsPerPixel; }
    double xOf(double seconds) const { return playX + (seconds - playSeconds) / secondsPerPixel; }
};

// The window of a waveform `width` pixels wide showing `zoomSeconds` of heard time across,
// for a deck whose heard second of the track is `heardSeconds` and that plays at `speed`
// (1 normal; a faster deck goes through more of its track in the same heard time, so its
// waveform scrolls faster). The play line is in the middle.
ScrollWindow scrollWindow(double heardSeconds, double speed, double zoomSeconds, int32_t width);

// Calls `beat(seconds, firstOfBar)` for each beat of `grid` between `from` and `to`
// seconds of the track (bars of four beats counted from each section's first beat).
void forEachBeat(const BeatGrid& grid, double from, double to,
                 const std::function<void(double, bool)>& beat);

// The other deck's beats where this deck's track would be when each is heard: a beat at
// `u` of the other track is heard (u - otherNow) / otherSpeed seconds from now, when this
// deck is at ownNow + that x ownSpeed.
struct OtherBeats {
    const BeatGrid* grid = nullptr;
    double otherNow = 0, otherSpeed = 1, ownNow = 0, ownSpeed = 1;
    uint32_t colour = 0;
};

// The hot cues and the loop of a track, drawn on its waveform and its overview alike: each
// hot cue a line in its colour with a flag at the top right of it, the loop a tinted
// stretch between two lines.
struct TrackMarks {
    const HotCueSet* hotCues = nullptr;
    double loopStart = -1, loopEnd = -1;  // seconds of the track; negative: no loop
};
inline constexpr int32_t kHotCueFlagWidth = 7;

struct ScrollMarks {
    const BeatGrid* grid = nullptr;  // this track's beats (null: none)
    OtherBeats other;                // the other deck's (grid null: none)
    double cueSeconds = -1;          // negative: none
    TrackMarks track;
};

// A deck's waveform as it scrolls: each band a bar around the middle row as high as its
// level (bass, then the middle over it, then the highs over both), beats as thin lines, the
// cue point and the play line. An empty view draws only the lines.
void drawScrolling(const Canvas& canvas, const WaveView& view, const ScrollWindow& window,
                   const ScrollMarks& marks, const WaveColours& colours = kWaveColours);

// The whole track across the canvas (`trackFrames` long; 0: the summary's own length), the
// part before `playedFraction` dimmed with the play position marked (negative: no
// position), and the cue point (negative: none).
void drawOverview(const Canvas& canvas, const WaveView& view, int64_t trackFrames,
                  double playedFraction, double cueFraction, const TrackMarks& marks = {},
                  const WaveColours& colours = kWaveColours);

// The hot cue whose mark is at column `x` of a picture where the track's second s is at
// column xOf(s): its line, `reach` pixels either side, or its flag. Its slot; -1 when none
// (the nearest line wins).
int hotCueAt(const HotCueSet& cues, const std::function<double(double)>& xOf, double x,
             double reach);
// The column of an overview `width` wide where a track `trackFrames` long has `seconds`.
double overviewX(double seconds, int64_t trackFrames, int32_t width);

// Where the band puts each deck's overview and waveform, rows from its top: deck 1's
// overview, deck 1's waveform, deck 2's waveform, deck 2's overview, so that the two
// waveforms meet in the middle.
struct BandLayout {
    int32_t overviewTop[2] = {0, 0};
    int32_t waveTop[2] = {0, 0};
    int32_t overviewHeight = 0, waveHeight = 0;

    // The deck whose overview (waveform) holds row `y`, -1 when none does.
    int overviewAt(int32_t y) const;
    int waveAt(int32_t y) const;
};
BandLayout bandLayout(int32_t height);

// The fraction of the track a click at `x` in an overview `width` wide asks for: 0..1.
double overviewFraction(int32_t x, int32_t width);

}  // namespace spinlorex
