#include "auxwindows/WaveformBand.h"

#include <algorithm>
#include <cmath>

#include <QtGui/QMouseEvent>
#include <QtGui/QPainter>
#include <QtGui/QWheelEvent>

#include "audio/AudioFormat.h"
#include "audio/DeckPair.h"
#include "platform/settings/Settings.h"

namespace spinlorex {
namespace {

constexpr int kFrameMs = 16;  // the screen's pace
// After this many looks that found nothing to redraw, the band looks only every kRestMs.
constexpr int kStillTicksBeforeRest = 30;
constexpr int kRestMs = 100;
// How far from a hot cue's line a click still takes it, in pixels.
constexpr double kMarkReach = 3.0;

TrackMarks marksOf(const DeckWave& deck) {
    return {&deck.hotCues, deck.loopStartSeconds, deck.loopEndSeconds};
}

}  // namespace

WaveformBand::WaveformBand(DeckPair& decks, Links links, QWidget* parent)
    : QWidget(parent), decks_(decks), links_(std::move(links)) {
    setObjectName("waveforms");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    zoom_ = std::clamp(get(settings().waveformZoom) / 1000.0, kMinZoom, kMaxZoom);
}

void WaveformBand::zoom(int steps) {
    const double z = std::clamp(zoom_ * std::pow(std::sqrt(2.0), steps), kMinZoom, kMaxZoom);
    if (z == zoom_) return;
    zoom_ = z;
    set(settings().waveformZoom, static_cast<int32_t>(std::lround(z * 1000)));
    tick();
}

WaveformBand::Shown WaveformBand::current() const {
    Shown s;
    for (int d = 0; d < 2; ++d)
        s.decks[static_cast<size_t>(d)] =
            readDeckWave(decks_[d], links_.live ? links_.live(d) : nullptr);
    s.zoom = zoom_;
    s.size = size();
    return s;
}

bool WaveformBand::poll() { return !drawn_ || !(current() == shown_); }

void WaveformBand::tick() {
    if (poll()) {
        stillTicks_ = 0;
        update();
        if (timer_.interval() != kFrameMs) timer_.setInterval(kFrameMs);
    } else if (++stillTicks_ >= kStillTicksBeforeRest && timer_.interval() != kRestMs) {
        timer_.setInterval(kRestMs);
    }
}

void WaveformBand::showEvent(QShowEvent*) {
    stillTicks_ = 0;
    drawn_ = false;
    timer_.start(kFrameMs);
}

void WaveformBand::hideEvent(QHideEvent*) { timer_.stop(); }

void WaveformBand::paintEvent(QPaintEvent*) {
    const Shown s = current();
    if (picture_.size() != size()) picture_ = QImage(size(), QImage::Format_RGB32);
    if (picture_.isNull()) return;
    const auto stride = static_cast<int32_t>(picture_.bytesPerLine() / 4);
    auto* pixels = reinterpret_cast<uint32_t*>(picture_.bits());
    const int32_t w = picture_.width();
    const BandLayout layout = bandLayout(picture_.height());
    // The rows between the pictures; each picture fills its own.
    const auto fillRows = [&](int32_t from, int32_t to) {
        if (to > from)
            Canvas{pixels + ptrdiff_t{from} * stride, w, to - from, stride}.fill(kWaveColours.back);
    };
    fillRows(layout.overviewHeight, layout.waveTop[0]);
    fillRows(layout.waveTop[0] + layout.waveHeight, layout.waveTop[1]);
    fillRows(layout.waveTop[1] + layout.waveHeight, layout.overviewTop[1]);
    fillRows(layout.overviewTop[1] + layout.overviewHeight, picture_.height());
    for (int d = 0; d < 2; ++d) {
        const DeckWave& deck = s.decks[static_cast<size_t>(d)];
        const DeckWave& other = s.decks[static_cast<size_t>(1 - d)];
        const Canvas overview{pixels + ptrdiff_t{layout.overviewTop[d]} * stride, w,
                              layout.overviewHeight, stride};
        drawOverview(overview, deck.view, deck.trackFrames, deck.playedFraction, deck.cueFraction,
                     marksOf(deck));
        const Canvas wave{pixels + ptrdiff_t{layout.waveTop[d]} * stride, w, layout.waveHeight,
                          stride};
        if (deck.trackFrames <= 0) {
            wave.fill(kWaveColours.back);
            continue;
        }
        ScrollMarks marks;
        marks.grid = deck.grid;
        marks.cueSeconds = deck.cueSeconds;
        marks.track = marksOf(deck);
        if (other.grid != nullptr && other.trackFrames > 0)
            marks.other = {other.grid,        other.heardSeconds, other.speed,
                           deck.heardSeconds, deck.speed,         kDeckColours[1 - d]};
        drawScrolling(wave, deck.view, scrollWindow(deck.heardSeconds, deck.speed, s.zoom, w),
                      marks);
    }
    QPainter(this).drawImage(QPoint(0, 0), picture_);
    shown_ = s;
    drawn_ = true;
    ++picturesDrawn_;
}

void WaveformBand::seekAt(int deck, double x) {
    if (links_.seek) links_.seek(deck, overviewFraction(static_cast<int32_t>(x), width()));
}

void WaveformBand::clickWave(int d, double x) {
    const DeckWave deck = readDeckWave(decks_[d], links_.live ? links_.live(d) : nullptr);
    if (deck.trackFrames <= 0) return;
    const ScrollWindow window = scrollWindow(deck.heardSeconds, deck.speed, zoom_, width());
    const auto xOf = [&](double seconds) { return window.xOf(seconds); };
    const int slot = hotCueAt(deck.hotCues, xOf, x, kMarkReach);
    if (slot >= 0) {
        if (links_.hotCue) links_.hotCue(d, slot);
        return;
    }
    const double at = window.secondsAt(x);
    if (deck.loopStartSeconds >= 0.0 && at >= deck.loopStartSeconds && at < deck.loopEndSeconds &&
        links_.loop)
        links_.loop(d);
}

void WaveformBand::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const BandLayout layout = bandLayout(height());
    const auto y = static_cast<int32_t>(event->position().y());
    const double x = event->position().x();
    if (const int d = layout.waveAt(y); d >= 0) {
        clickWave(d, x);
        return;
    }
    dragDeck_ = layout.overviewAt(y);
    if (dragDeck_ < 0) return;
    // A hot cue's mark in the overview jumps to the cue rather than to the click.
    const DeckWave deck =
        readDeckWave(decks_[dragDeck_], links_.live ? links_.live(dragDeck_) : nullptr);
    const int slot = hotCueAt(
        deck.hotCues, [&](double s) { return overviewX(s, deck.trackFrames, width()); }, x,
        kMarkReach);
    if (slot >= 0 && links_.hotCue) {
        links_.hotCue(dragDeck_, slot);
        dragDeck_ = -1;
        return;
    }
    seekAt(dragDeck_, x);
}

void WaveformBand::mouseMoveEvent(QMouseEvent* event) {
    if (dragDeck_ >= 0 && (event->buttons() & Qt::LeftButton))
        seekAt(dragDeck_, event->position().x());
}

void WaveformBand::mouseReleaseEvent(QMouseEvent*) { dragDeck_ = -1; }

void WaveformBand::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / 120;
    if (notches != 0) zoom(-notches);  // the wheel away from the user zooms in
    event->accept();
}

// ---------------------------------------------------------------------------------------

BandSwitch::BandSwitch(std::function<void()> clicked, QWidget* parent)
    : QWidget(parent), clicked_(std::move(clicked)) {
    setObjectName("bandSwitch");
    setFixedSize(kSize, kSize);
    setCursor(Qt::PointingHandCursor);
    setToolTip("Waveforms or rhythm strip (W)");
}

void BandSwitch::placeIn(const QRect& band) {
    move(band.right() - kSize, band.top());
    raise();
}

void BandSwitch::setWaveformsShown(bool on) {
    waveforms_ = on;
    update();
}

void BandSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(32, 32, 32));
    p.setPen(QColor(150, 150, 150));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    // A little waveform when the strip shows (what a click brings), bars otherwise.
    p.setPen(QColor(230, 230, 230));
    if (waveforms_) {
        for (int x = 3; x < kSize - 2; x += 2) p.drawLine(x, kSize - 3, x, kSize - 3 - (x % 3) * 2);
    } else {
        const int mid = kSize / 2;
        for (int x = 2; x < kSize - 2; ++x) {
            const int h = (x * 7) % 4 + 1;
            p.drawLine(x, mid - h, x, mid + h);
        }
    }
}

void BandSwitch::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && clicked_) clicked_();
}

}  // namespace spinlorex
