#include "auxwindows/WaveformPainter.h"

#include <algorithm>
#include <cmath>

#include "audio/AudioFormat.h"

namespace spinlorex {
namespace {

constexpr int kBeatsPerBar = 4;

// The loudest of the columns from `first` to `last` (inclusive), clipped to the view.
WaveColumn loudestOf(const WaveView& view, int64_t first, int64_t last) {
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, int64_t{view.count} - 1);
    WaveColumn c{};
    for (int64_t i = first; i <= last; ++i) {
        const WaveColumn& v = view.columns[i];
        c.low = std::max(c.low, v.low);
        c.mid = std::max(c.mid, v.mid);
        c.high = std::max(c.high, v.high);
    }
    return c;
}

// One column of bars around the middle row, each band as high as its level of the peak:
// the highs over the middle over the bass, each pixel written once.
void drawColumn(const Canvas& canvas, int32_t x, WaveColumn c, uint8_t peak,
                const WaveColours& colours, bool dim) {
    if (peak == 0) return;
    const int32_t half = canvas.height / 2;
    const int32_t middle = canvas.height / 2;
    const auto reach = [&](uint8_t level) { return (int32_t{level} * half + peak / 2) / peak; };
    // The band seen at each distance from the middle: the highest-drawn whose bar reaches it.
    const int32_t reaches[3] = {reach(c.high), reach(c.mid), reach(c.low)};
    const uint32_t shades[3] = {dim ? dimmed(colours.high) : colours.high,
                                dim ? dimmed(colours.mid) : colours.mid,
                                dim ? dimmed(colours.low) : colours.low};
    int32_t from = 0;  // distances below this are already drawn
    for (int band = 0; band < 3; ++band) {
        const int32_t to = reaches[band];  // inclusive
        if (to <= 0 || to < from) continue;
        for (int32_t d = from; d <= to; ++d) {
            if (middle - d >= 0) canvas.at(x, middle - d) = shades[band];
            if (d > 0 && middle + d <= canvas.height - 1) canvas.at(x, middle + d) = shades[band];
        }
        from = to + 1;
    }
}

int32_t pixelOf(double x) { return static_cast<int32_t>(std::floor(x)); }

bool hasLoop(const TrackMarks& marks) {
    return marks.loopStart >= 0.0 && marks.loopEnd > marks.loopStart;
}

// The loop's stretch in its own background, under the music.
void tintLoop(const Canvas& canvas, const TrackMarks& marks,
              const std::function<double(double)>& xOf, uint32_t colour) {
    if (!hasLoop(marks)) return;
    const int32_t from = std::max(pixelOf(xOf(marks.loopStart)), 0);
    const int32_t to = std::min(pixelOf(xOf(marks.loopEnd)), canvas.width - 1);
    for (int32_t y = 0; y < canvas.height; ++y)
        for (int32_t x = from; x <= to; ++x) canvas.at(x, y) = colour;
}

// The loop's edges and each hot cue's line and flag, over everything else.
void drawTrackMarks(const Canvas& canvas, const TrackMarks& marks,
                    const std::function<double(double)>& xOf, const WaveColours& colours) {
    if (hasLoop(marks)) {
        canvas.line(pixelOf(xOf(marks.loopStart)), colours.loop);
        canvas.line(pixelOf(xOf(marks.loopEnd)), colours.loop);
    }
    if (marks.hotCues == nullptr) return;
    const int32_t flagRows = std::clamp(canvas.height / 4, 1, 8);
    for (const HotCue& cue : marks.hotCues->cues) {
        if (!cue.set()) continue;
        const uint32_t colour = 0xFF000000 | cue.colour;
        const int32_t x = pixelOf(xOf(static_cast<double>(cue.frame) / kSampleRate));
        canvas.line(x, colour);
        for (int32_t y = 0; y < flagRows; ++y)
            for (int32_t f = std::max(x + 1, 0);
                 f <= std::min(x + kHotCueFlagWidth - 1, canvas.width - 1); ++f)
                canvas.at(f, y) = colour;
    }
}

}  // namespace

void Canvas::fill(uint32_t colour) const {
    for (int32_t y = 0; y < height; ++y) std::fill_n(&at(0, y), width, colour);
}

void Canvas::line(int32_t x, uint32_t colour) const {
    if (x < 0 || x >= width) return;
    for (int32_t y = 0; y < height; ++y) at(x, y) = colour;
}

ScrollWindow scrollWindow(double heardSeconds, double speed, double zoomSeconds, int32_t width) {
    ScrollWindow w;
    w.playSeconds = heardSeconds;
    w.playX = width / 2;
    w.secondsPerPixel = width > 0 ? zoomSeconds * speed / width : 0.0;
    return w;
}

void forEachBeat(const BeatGrid& grid, double from, double to,
                 const std::function<void(double, bool)>& beat) {
    for (size_t s = 0; s < grid.sections.size(); ++s) {
        const GridSection& section = grid.sections[s];
        if (!(section.beatLength > 0.0)) continue;
        // Only beats within the track: none before its start or past its end.
        const double start = s == 0 ? 0.0 : section.start;
        const double end = s + 1 < grid.sections.size() ? grid.sections[s + 1].start
                           : grid.length > 0.0          ? grid.length
                                                        : 1e300;
        const double lo = std::max(from, start), hi = std::min(to, end);
        if (lo >= hi) continue;
        for (auto k = static_cast<int64_t>(std::ceil(section.beatsAt(lo)));; ++k) {
            const double t = section.firstBeat + static_cast<double>(k) * section.beatLength;
            if (t >= hi) break;
            const int64_t inBar = ((k % kBeatsPerBar) + kBeatsPerBar) % kBeatsPerBar;
            beat(t, inBar == 0);
        }
    }
}

void drawScrolling(const Canvas& canvas, const WaveView& view, const ScrollWindow& window,
                   const ScrollMarks& marks, const WaveColours& colours) {
    canvas.fill(colours.back);
    if (canvas.width <= 0 || canvas.height <= 0 || !(window.secondsPerPixel > 0.0)) return;
    const auto xOf = [&](double seconds) { return window.xOf(seconds); };
    tintLoop(canvas, marks.track, xOf, colours.loopBack);
    if (!view.empty()) {
        const double framesPerColumn = view.columnFrames;
        for (int32_t x = 0; x < canvas.width; ++x) {
            const double from = window.secondsAt(x) * kSampleRate / framesPerColumn;
            const double to = window.secondsAt(x + 1) * kSampleRate / framesPerColumn;
            if (to < 0.0 || from >= view.count) continue;
            const auto first = static_cast<int64_t>(std::floor(from));
            const int64_t last = std::max(first, static_cast<int64_t>(std::ceil(to)) - 1);
            drawColumn(canvas, x, loudestOf(view, first, last), view.peak, colours, false);
        }
    }
    const double from = window.secondsAt(0), to = window.secondsAt(canvas.width);
    const OtherBeats& other = marks.other;
    if (other.grid != nullptr && other.otherSpeed > 0.0 && other.ownSpeed > 0.0) {
        // This deck's seconds to the other track's, and back for each beat.
        const double ratio = other.otherSpeed / other.ownSpeed;
        const auto theirs = [&](double own) {
            return other.otherNow + (own - other.ownNow) * ratio;
        };
        forEachBeat(*other.grid, theirs(from), theirs(to), [&](double u, bool) {
            canvas.line(pixelOf(window.xOf(other.ownNow + (u - other.otherNow) / ratio)),
                        dimmed(other.colour));
        });
    }
    if (marks.grid != nullptr)
        forEachBeat(*marks.grid, from, to, [&](double t, bool bar) {
            canvas.line(pixelOf(window.xOf(t)), bar ? colours.bar : colours.beat);
        });
    if (marks.cueSeconds >= 0.0) canvas.line(pixelOf(window.xOf(marks.cueSeconds)), colours.cue);
    drawTrackMarks(canvas, marks.track, xOf, colours);
    canvas.line(window.playX, colours.play);
}

void drawOverview(const Canvas& canvas, const WaveView& view, int64_t trackFrames,
                  double playedFraction, double cueFraction, const TrackMarks& marks,
                  const WaveColours& colours) {
    canvas.fill(colours.back);
    if (canvas.width <= 0 || canvas.height <= 0) return;
    const double frames = trackFrames > 0 ? static_cast<double>(trackFrames)
                                          : static_cast<double>(view.count) * view.columnFrames;
    const auto xOf = [&](double seconds) {
        return frames > 0.0 ? seconds * kSampleRate / frames * canvas.width : 0.0;
    };
    tintLoop(canvas, marks, xOf, colours.loopBack);
    if (!view.empty()) {
        const double columnsPerPixel = frames / view.columnFrames / canvas.width;
        const double playedX = playedFraction * canvas.width;
        for (int32_t x = 0; x < canvas.width; ++x) {
            const auto first = static_cast<int64_t>(std::floor(x * columnsPerPixel));
            if (first >= view.count) break;
            const int64_t last =
                std::max(first, static_cast<int64_t>(std::ceil((x + 1) * columnsPerPixel)) - 1);
            drawColumn(canvas, x, loudestOf(view, first, last), view.peak, colours, x < playedX);
        }
    }
    if (cueFraction >= 0.0) canvas.line(pixelOf(cueFraction * canvas.width), colours.cue);
    if (frames > 0.0) drawTrackMarks(canvas, marks, xOf, colours);
    if (playedFraction >= 0.0)
        canvas.line(std::min(pixelOf(playedFraction * canvas.width), canvas.width - 1),
                    colours.play);
}

BandLayout bandLayout(int32_t height) {
    BandLayout b;
    b.overviewHeight = std::max(height / 11, 4);
    b.waveHeight = std::max((height - 2 * b.overviewHeight - 4) / 2, 0);
    b.overviewTop[0] = 0;
    b.waveTop[0] = b.overviewHeight + 1;
    b.waveTop[1] = b.waveTop[0] + b.waveHeight + 2;
    b.overviewTop[1] = b.waveTop[1] + b.waveHeight + 1;
    return b;
}

int BandLayout::overviewAt(int32_t y) const {
    for (int d = 0; d < 2; ++d)
        if (y >= overviewTop[d] && y < overviewTop[d] + overviewHeight) return d;
    return -1;
}

int hotCueAt(const HotCueSet& cues, const std::function<double(double)>& xOf, double x,
             double reach) {
    int found = -1;
    double nearest = 0;
    for (int slot = 0; slot < HotCueSet::kCount; ++slot) {
        const HotCue& cue = cues.cues[static_cast<size_t>(slot)];
        if (!cue.set()) continue;
        const double line = std::floor(xOf(static_cast<double>(cue.frame) / kSampleRate));
        const double off = x - line;
        if (off < -reach || off >= kHotCueFlagWidth + reach) continue;
        const double distance = std::abs(off);
        if (found < 0 || distance < nearest) {
            found = slot;
            nearest = distance;
        }
    }
    return found;
}

double overviewX(double seconds, int64_t trackFrames, int32_t width) {
    return trackFrames > 0 ? seconds * kSampleRate / static_cast<double>(trackFrames) * width : 0.0;
}

int BandLayout::waveAt(int32_t y) const {
    for (int d = 0; d < 2; ++d)
        if (y >= waveTop[d] && y < waveTop[d] + waveHeight) return d;
    return -1;
}

double overviewFraction(int32_t x, int32_t width) {
    if (width <= 0) return 0.0;
    return std::clamp(static_cast<double>(x) / width, 0.0, 1.0);
}

}  // namespace spinlorex
