#pragma once

// The two decks' waveforms in the band at the top of the desk, in place of the rhythm
// strip: deck 1 above deck 2, each scrolling past a fixed play line at the deck's speed,
// with its beats, the other deck's beats faintly and its cue point, and above and below
// them the overview of each whole track, where a click or a drag seeks the deck. Hot cues
// and the loop show on both; a click on a hot cue's mark jumps to it, one in the playing
// loop leaves it. The mouse wheel zooms. Drawn on the GUI thread, and only when something shown
// changed.
//
// Main thread only.

#include <array>
#include <cstdint>
#include <functional>

#include <QtCore/QTimer>
#include <QtGui/QImage>
#include <QtWidgets/QWidget>

#include "auxwindows/DeckWave.h"
#include "auxwindows/WaveformPainter.h"

namespace spinlorex {

class DeckPair;
class DeckStream;

class WaveformBand : public QWidget {
public:
    static constexpr double kMinZoom = 2.0, kMaxZoom = 32.0, kStartZoom = 8.0;

    struct Links {
        // The summary being made for a deck's track, or null.
        std::function<const LiveWaveform*(int deck)> live;
        // A click or drag in an overview: the deck goes to that fraction of its track.
        std::function<void(int deck, double fraction)> seek;
        // A click on a hot cue's mark: the deck jumps to it.
        std::function<void(int deck, int slot)> hotCue;
        // A click inside the loop a deck plays: out of the loop.
        std::function<void(int deck)> loop;
    };

    WaveformBand(DeckPair& decks, Links links, QWidget* parent);

    // Seconds of heard time across a waveform, 2..32.
    double zoomSeconds() const { return zoom_; }
    // steps > 0 show more (zoom out), each by a factor of the square root of 2; kept in the
    // settings ("Waveform zoom"), where the next band starts from.
    void zoom(int steps);
    // Pictures drawn so far (tests, benchmarks).
    uint64_t picturesDrawn() const { return picturesDrawn_; }
    // Looks at the decks now, as the band's timer does: true when a new picture is due.
    bool poll();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Shown {
        std::array<DeckWave, 2> decks;
        double zoom = 0;
        QSize size;
        bool operator==(const Shown&) const = default;
    };
    Shown current() const;
    void tick();
    void seekAt(int deck, double x);
    // A press in deck `deck`'s waveform at column x: on a hot cue's mark or in the loop.
    void clickWave(int deck, double x);

    DeckPair& decks_;
    Links links_;
    double zoom_ = kStartZoom;
    QTimer timer_;
    int stillTicks_ = 0;
    Shown shown_;
    bool drawn_ = false;
    QImage picture_;
    uint64_t picturesDrawn_ = 0;
    int dragDeck_ = -1;
};

// The small switch in the band's top right corner, above the rhythm strip and the
// waveforms alike: a click switches the band.
class BandSwitch : public QWidget {
public:
    static constexpr int kSize = 12;
    BandSwitch(std::function<void()> clicked, QWidget* parent);
    // The band's rectangle (window coordinates): the switch sits in its top right corner.
    void placeIn(const QRect& band);
    void setWaveformsShown(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::function<void()> clicked_;
    bool waveforms_ = false;
};

}  // namespace spinlorex
