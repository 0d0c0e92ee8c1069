// The default skin picture: the 800 x 600 desk as it appears when nothing is lit, and
// below it, rows 600..829, the alternative looks that the desk copies over its controls.
//
// Every alternative look is drawn on a copy of the desk's background at the control's
// own place, so that a look copied back over the desk joins its surroundings seamlessly.

#include "Artwork.h"
#include "Glyphs.h"
#include "Paint.h"

#include <QtGui/QConicalGradient>
#include <QtGui/QLinearGradient>
#include <QtGui/QPainterPath>
#include <QtGui/QRadialGradient>

#include <cmath>
#include <numbers>

namespace art {

namespace {

constexpr int kWidth = 800;
constexpr int kDeskHeight = 600;
constexpr int kHeight = 830;

// Where the controls of one deck sit, and where their other looks go.
struct Deck {
    int number;
    QColor colour;
    QRect disc, title, infos;
    QRect slider;       // the fader's background, pitch scale at its place
    int knobX;          // left edge of the knob's travel column
    QPoint volumeLook;  // the same background with the volume scale
    QRect go, play, stop, cue, select, reset, menuLevel, menuPitch;
    QPoint goOn, playOn, pauseOff, pauseOn, stopOn, cueOn, selectOn, resetOn;
    QPoint menuLevelOff, menuPitchOn;
    bool scaleRight;  // the scale lies right of the knob (deck 1) or left (deck 2)
};

// clang-format off
const Deck kDeck1{
    .number = 1, .colour = colour::deck1,
    .disc = {20, 140, 140, 140}, .title = {20, 300, 140, 35}, .infos = {270, 130, 120, 100},
    .slider = {204, 120, 60, 151}, .knobX = 214, .volumeLook = {204, 600},
    .go = {169, 281, 51, 51}, .play = {224, 312, 29, 29}, .stop = {262, 322, 23, 23},
    .cue = {296, 326, 21, 21}, .select = {235, 267, 35, 35}, .reset = {250, 192, 11, 11},
    .menuLevel = {166, 142, 32, 30}, .menuPitch = {166, 172, 32, 30},
    .goOn = {169, 761}, .playOn = {224, 792}, .pauseOff = {324, 614}, .pauseOn = {324, 664},
    .stopOn = {262, 802}, .cueOn = {296, 806}, .selectOn = {235, 747}, .resetOn = {295, 627},
    .menuLevelOff = {166, 622}, .menuPitchOn = {166, 652},
    .scaleRight = true};
const Deck kDeck2{
    .number = 2, .colour = colour::deck2,
    .disc = {640, 140, 140, 140}, .title = {640, 300, 140, 35}, .infos = {410, 130, 120, 100},
    .slider = {536, 120, 60, 151}, .knobX = 563, .volumeLook = {536, 600},
    .go = {580, 281, 51, 51}, .play = {547, 312, 29, 29}, .stop = {515, 322, 23, 23},
    .cue = {483, 326, 21, 21}, .select = {529, 267, 35, 35}, .reset = {539, 192, 11, 11},
    .menuLevel = {601, 142, 32, 31}, .menuPitch = {601, 173, 32, 32},
    .goOn = {580, 761}, .playOn = {547, 792}, .pauseOff = {447, 614}, .pauseOn = {447, 664},
    .stopOn = {515, 802}, .cueOn = {483, 806}, .selectOn = {529, 747}, .resetOn = {494, 627},
    .menuLevelOff = {601, 622}, .menuPitchOn = {601, 653},
    .scaleRight = false};
// clang-format on

// Slider knob: 24 x 20, travelling from y 125 to 271 (exclusive) in the column at knobX.
constexpr int kKnobWidth = 24, kKnobHeight = 20, kTrackTop = 125, kTrackBottom = 271;
const QRect kSliderKnobLook{495, 675, kKnobWidth, kKnobHeight};

const QRect kCrossfader{273, 257, 256, 36};
const QRect kCrossfaderKnobLook{285, 660, 23, 36};

const QRect kRhythm{22, 10, 750, 110};
const QRect kGrip{320, 0, 160, 10};
const QRect kFilesWindow{52, 355, 723, 235};

struct Look {
    QRect place;
    QPoint on;
};
const Look kMinimize{{741, 0, 11, 10}, {741, 600}};
const Look kFullScreen{{752, 0, 11, 10}, {752, 600}};
const Look kClose{{763, 0, 11, 10}, {763, 600}};

struct PanelButton {
    QRect place;
    QPoint on;
    void (*glyph)(QPainter&, const QRectF&, const QColor&);
    QColor lit;
};
const PanelButton kPanelButtons[] = {
    {{19, 354, 30, 34}, {368, 604}, glyph::folder, colour::accent},
    {{19, 388, 30, 36}, {368, 638}, glyph::magnifier, colour::accent},
    {{19, 424, 30, 36}, {368, 674}, glyph::list, colour::accent},
    {{19, 460, 30, 36}, {401, 602}, glyph::recordDot, colour::stop},
    {{19, 496, 30, 36}, {401, 638}, glyph::clock, colour::accent},
    {{19, 532, 30, 36}, {401, 674}, glyph::gear, colour::accent},
};

const QRect kMix{346, 319, 106, 30};
const QPoint kMixOff{346, 766}, kMixOn{346, 799};

// Centre of a slider knob for slider position 0..256 (0 at the top).
qreal knobCentreY(int position) {
    const int travel = kTrackBottom - kKnobHeight - kTrackTop;
    return kTrackTop + position * travel / 256.0 + kKnobHeight / 2.0;
}

// ---------------------------------------------------------------------------------------
// Background: body, frame, title bar, rhythm well, console and library plates.

void paintBody(QPainter& p) {
    QLinearGradient g(0, 0, 0, kDeskHeight);
    g.setColorAt(0, colour::backTop);
    g.setColorAt(1, colour::backBottom);
    p.fillRect(QRect(0, 0, kWidth, kDeskHeight), g);
    p.fillRect(QRect(0, kDeskHeight, kWidth, kHeight - kDeskHeight), colour::backBottom);
    // Window edge: a dark outline with a faint highlight inside.
    p.setPen(QPen(colour::shadow, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, kWidth - 1, kDeskHeight - 1));
    p.setPen(QPen(QColor(255, 255, 255, 18), 1));
    p.drawRect(QRectF(1.5, 10.5, kWidth - 3, kDeskHeight - 12));
}

void paintTitleBar(QPainter& p) {
    QLinearGradient g(0, 0, 0, 10);
    g.setColorAt(0, QColor(0x1b, 0x1e, 0x24));
    g.setColorAt(1, QColor(0x0c, 0x0d, 0x10));
    p.fillRect(QRect(0, 0, kWidth, 10), g);
    p.fillRect(QRect(0, 9, kWidth, 1), colour::shadow);
    spacedText(p, QRectF(8, 0, 120, 10), QStringLiteral("SPINLOREX"), font(7, true), colour::label,
               1.2, Qt::AlignLeft | Qt::AlignVCenter);
    // Grip: two rows of small dimples.
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int x = kGrip.left() + 6; x < kGrip.right() - 5; x += 4) {
        for (int y : {2, 5}) {
            const int dx = (y == 5) ? 2 : 0;
            p.fillRect(QRect(x + dx, y + 1, 1, 1), QColor(255, 255, 255, 40));
            p.fillRect(QRect(x + dx, y, 1, 1), colour::shadow);
        }
    }
    p.restore();
}

void windowButton(QPainter& p, const QRect& r, bool lit, bool isClose,
                  void (*glyph)(QPainter&, const QRectF&, const QColor&)) {
    const QRectF box(r);
    p.save();
    if (lit) {
        const QColor c = isClose ? colour::stop : colour::accent;
        p.setPen(Qt::NoPen);
        p.setBrush(c.darker(125));
        p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -1), 2, 2);
        glyph(p, box, Qt::white);
    } else {
        glyph(p, box, colour::label);
    }
    p.restore();
}

void paintRhythmWell(QPainter& p) {
    recess(p, QRectF(kRhythm), 2, QColor(0, 0, 0));
    // A faint beat grid; the rhythm window covers it while the program runs.
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const int mid = kRhythm.center().y();
    p.fillRect(QRect(kRhythm.left() + 4, mid, kRhythm.width() - 8, 1), QColor(0x16, 0x19, 0x1f));
    for (int x = kRhythm.left() + 25; x < kRhythm.right() - 4; x += 50)
        p.fillRect(QRect(x, kRhythm.top() + 8, 1, kRhythm.height() - 16), QColor(0x10, 0x12, 0x17));
    p.restore();
}

void paintPlates(QPainter& p) {
    brushedMetal(p, QRectF(6, 12, 788, 109), 6, colour::plate, 5);
    brushedMetal(p, QRectF(6, 123, 788, 223), 7, colour::plate, 11);
    brushedMetal(p, QRectF(6, 349, 788, 246), 7, colour::plate, 23);
}

// ---------------------------------------------------------------------------------------
// Turntable

void paintPlatter(QPainter& p, const Deck& d) {
    // The hand is drawn from the pixel at the disc's centre, so the spindle sits there.
    const QPointF c(d.disc.center().x() + 0.5, d.disc.center().y() + 0.5);
    p.save();
    // Well around the platter.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawEllipse(c, 73, 73);
    recess(p, QRectF(c.x() - 72, c.y() - 72, 144, 144), 72, QColor(0x0d, 0x0e, 0x11));

    // Platter rim with strobe dots.
    QConicalGradient rim(c, 90);
    rim.setColorAt(0.0, QColor(0x40, 0x45, 0x4e));
    rim.setColorAt(0.25, QColor(0x22, 0x25, 0x2a));
    rim.setColorAt(0.5, QColor(0x3a, 0x3f, 0x48));
    rim.setColorAt(0.75, QColor(0x1f, 0x22, 0x27));
    rim.setColorAt(1.0, QColor(0x40, 0x45, 0x4e));
    p.setBrush(rim);
    p.drawEllipse(c, 69.5, 69.5);
    p.setBrush(QColor(0x8a, 0x91, 0x9c));
    for (int i = 0; i < 60; ++i) {
        const qreal a = i * 2 * std::numbers::pi / 60;
        p.drawEllipse(c + QPointF(std::sin(a), -std::cos(a)) * 66.8, 0.9, 0.9);
    }

    vinyl(p, c, 63.5, 22, d.colour, d.colour);
    const QColor ink = d.colour.darker(330);
    // A printed band across the top of the label.
    p.save();
    QPainterPath band;
    band.arcMoveTo(QRectF(c.x() - 18, c.y() - 18, 36, 36), 35);
    band.arcTo(QRectF(c.x() - 18, c.y() - 18, 36, 36), 35, 110);
    band.arcTo(QRectF(c.x() - 12, c.y() - 12, 24, 24), 145, -110);
    band.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(ink, 120));
    p.drawPath(band);
    p.restore();
    spacedText(p, QRectF(c.x() - 20, c.y() + 6, 40, 8), QStringLiteral("DECK %1").arg(d.number),
               font(6, true), ink, 0.5);
    p.restore();
}

void paintDeckName(QPainter& p, const Deck& d) {
    const bool left = d.number == 1;
    const QRectF box(left ? 18 : 722, 126, 60, 11);
    lamp(p, QPointF(left ? box.left() + 4 : box.right() - 4, box.center().y()), 3.2, d.colour,
         true);
    spacedText(p, box.adjusted(left ? 11 : 0, 0, left ? 0 : -11, 0),
               QStringLiteral("DECK %1").arg(d.number), font(8, true), colour::label, 1.0,
               (left ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
}

// ---------------------------------------------------------------------------------------
// Displays: the program writes its texts into these, so they stay plain and dark.

void paintDisplays(QPainter& p, const Deck& d) {
    recess(p, QRectF(d.infos), 3, colour::display);
    recess(p, QRectF(d.title), 3, colour::display);
}

// ---------------------------------------------------------------------------------------
// Deck fader: a bed for the knob (shared by the pitch and volume looks) and two scales.

void paintFaderBed(QPainter& p, const Deck& d) {
    const QRect bed(d.knobX, kTrackTop - 1, kKnobWidth, kTrackBottom - kTrackTop + 1);
    recess(p, QRectF(bed).adjusted(-1, -1, 1, 0), 2, colour::faderBed);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(bed, colour::faderBed);
    // The slot the knob runs in.
    const int slotX = d.knobX + kKnobWidth / 2 - 2;
    const int top = int(knobCentreY(0)) - 3, bottom = int(knobCentreY(256)) + 3;
    p.fillRect(QRect(slotX, top, 4, bottom - top), QColor(0, 0, 0));
    p.fillRect(QRect(slotX + 4, top, 1, bottom - top), QColor(255, 255, 255, 22));
    p.restore();
}

// x range of the scale beside the knob column.
void scaleColumn(const Deck& d, qreal& tickNear, qreal& labelLeft, qreal& labelRight) {
    if (d.scaleRight) {
        tickNear = d.knobX + kKnobWidth + 2;
        labelLeft = tickNear + 8;
        labelRight = d.slider.right() + 1;
    } else {
        tickNear = d.knobX - 2;
        labelLeft = d.slider.left();
        labelRight = tickNear - 8;
    }
}

void paintTicks(QPainter& p, const Deck& d, int count) {
    qreal near, labelLeft, labelRight;
    scaleColumn(d, near, labelLeft, labelRight);
    const qreal dir = d.scaleRight ? 1 : -1;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i <= count; ++i) {
        const int y = int(knobCentreY(256 * i / count));
        const bool major = i == 0 || i == count || 2 * i == count;
        const qreal len = major ? 6 : 3;
        const QColor c = major ? colour::bright : colour::label;
        const qreal x0 = near, x1 = near + dir * len;
        p.fillRect(QRectF(std::min(x0, x1), y, std::fabs(x1 - x0), 1), c);
    }
    p.restore();
}

QRectF labelBox(const Deck& d, qreal centreY, qreal height = 10) {
    qreal near, labelLeft, labelRight;
    scaleColumn(d, near, labelLeft, labelRight);
    return QRectF(std::min(labelLeft, labelRight), centreY - height / 2,
                  std::fabs(labelRight - labelLeft), height);
}

// Pitch: the top of the fader is the slowest speed, the bottom the fastest. The reset
// lamp, beside the middle tick, marks normal speed.
void paintPitchScale(QPainter& p, const Deck& d) {
    paintTicks(p, d, 8);
    text(p, labelBox(d, knobCentreY(0)), QString(QChar(0x2212)), font(11, true), colour::bright);
    text(p, labelBox(d, knobCentreY(256)), QStringLiteral("+"), font(11, true), colour::bright);
    // Vertical caption between the sign and the lamp.
    p.save();
    const QRectF cap = labelBox(d, (knobCentreY(0) + knobCentreY(128)) / 2, 44);
    p.translate(cap.center());
    p.rotate(-90);
    spacedText(p, QRectF(-22, -5, 44, 10), QStringLiteral("PITCH"), font(7, true), colour::labelDim,
               0.8);
    p.restore();
}

// Volume: full level at the top.
void paintVolumeScale(QPainter& p, const Deck& d) {
    paintTicks(p, d, 10);
    const QFont f = font(8, true);
    text(p, labelBox(d, knobCentreY(0)), QStringLiteral("10"), f, colour::bright);
    text(p, labelBox(d, knobCentreY(128)), QStringLiteral("5"), f, colour::bright);
    text(p, labelBox(d, knobCentreY(256)), QStringLiteral("0"), f, colour::bright);
    p.save();
    const QRectF cap = labelBox(d, (knobCentreY(0) + knobCentreY(128)) / 2, 44);
    p.translate(cap.center());
    p.rotate(-90);
    spacedText(p, QRectF(-22, -5, 44, 10), QStringLiteral("VOL"), font(7, true), colour::labelDim,
               0.8);
    p.restore();
}

// ---------------------------------------------------------------------------------------
// Crossfader

qreal crossfaderKnobCentreX(int value) {
    const int travel = kCrossfader.width() - kCrossfaderKnobLook.width();
    return kCrossfader.left() + value * travel / 384.0 + kCrossfaderKnobLook.width() / 2.0;
}

void paintCrossfader(QPainter& p) {
    recess(p, QRectF(kCrossfader), 3, colour::faderBed);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const int mid = kCrossfader.top() + kCrossfader.height() / 2;
    const int left = int(crossfaderKnobCentreX(0)) - 3, right = int(crossfaderKnobCentreX(384)) + 3;
    p.fillRect(QRect(left, mid - 2, right - left, 4), QColor(0, 0, 0));
    p.fillRect(QRect(left, mid + 2, right - left, 1), QColor(255, 255, 255, 22));
    for (int i = 0; i <= 8; ++i) {
        const int x = int(crossfaderKnobCentreX(384 * i / 8));
        const bool major = i == 0 || i == 4 || i == 8;
        const QColor c = major ? colour::bright : colour::label;
        const int len = major ? 6 : 3;
        p.fillRect(QRect(x, kCrossfader.top() + 3, 1, len), c);
        p.fillRect(QRect(x, kCrossfader.bottom() - 2 - len, 1, len), c);
    }
    p.restore();
    // Deck numbers at the ends, the name in between.
    const int y = kCrossfader.bottom() + 3;
    text(p, QRectF(crossfaderKnobCentreX(0) - 8, y, 16, 11), QStringLiteral("1"), font(9, true),
         kDeck1.colour);
    text(p, QRectF(crossfaderKnobCentreX(384) - 8, y, 16, 11), QStringLiteral("2"), font(9, true),
         kDeck2.colour);
    spacedText(p, QRectF(320, y, 160, 11), QStringLiteral("CROSSFADER"), font(7, true),
               colour::labelDim, 1.6);
}

// The name above the crossfader, passing from deck 1's colour to deck 2's.
void paintWordmark(QPainter& p) {
    const QRectF box(300, 231, 200, 22);
    QFont f = font(16, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 2.5);
    QPainterPath path;
    const QString name = QStringLiteral("SPINLOREX");
    const QFontMetricsF m(f);
    const qreal w = m.horizontalAdvance(name) - 2.5;
    path.addText(box.center().x() - w / 2, box.center().y() + m.capHeight() / 2, f, name);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 160));
    p.drawPath(path.translated(0, 1));
    QLinearGradient g(box.center().x() - w / 2, 0, box.center().x() + w / 2, 0);
    g.setColorAt(0, blend(kDeck1.colour, Qt::white, 0.25));
    g.setColorAt(0.5, QColor(0xee, 0xf1, 0xf6));
    g.setColorAt(1, blend(kDeck2.colour, Qt::white, 0.25));
    p.setBrush(g);
    p.drawPath(path);
    p.restore();
}

// ---------------------------------------------------------------------------------------
// Library area: the panel buttons' column and the files window.

void paintLibrary(QPainter& p) {
    recess(p, QRectF(16, 352, 36, 219), 4, QColor(0x14, 0x16, 0x1a));
    recess(p, QRectF(kFilesWindow), 1, colour::display);
}

// The "MIX NOW" button's place: a faint outline while the button is not on the desk.
void paintMixPlace(QPainter& p) {
    p.save();
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(kMix).adjusted(2.5, 2.5, -2.5, -2.5), 5, 5);
    p.setPen(QPen(QColor(255, 255, 255, 16), 1));
    p.drawRoundedRect(QRectF(kMix).adjusted(2.5, 3.5, -2.5, -1.5), 5, 5);
    p.restore();
}

void paintBackground(QPainter& p) {
    paintBody(p);
    paintTitleBar(p);
    paintPlates(p);
    paintRhythmWell(p);
    for (const Deck* d : {&kDeck1, &kDeck2}) {
        paintPlatter(p, *d);
        paintDeckName(p, *d);
        paintDisplays(p, *d);
        paintFaderBed(p, *d);
    }
    paintCrossfader(p);
    paintWordmark(p);
    paintLibrary(p);
    paintMixPlace(p);
}

// ---------------------------------------------------------------------------------------
// Controls

// Draws a look at `at` over a copy of the background at the control's place. Every look
// is painted in the control's own coordinates, so that the parts that do not change
// between looks come out identical to the pixel.
template <typename Paint>
void lookAt(QImage& skin, const QImage& background, const QRect& place, QPoint at, Paint paint) {
    QImage piece = background.copy(place);
    {
        QPainter p(&piece);
        prepare(p);
        p.translate(-place.topLeft());
        paint(p, QRectF(place));
    }
    copyRect(skin, at, piece, piece.rect());
}

void modeKey(QPainter& p, const QRectF& box, const QString& label, const QColor& c, bool lit) {
    const QRectF key = box.adjusted(2, 2, -2, -2);
    raised(p, key, 3, lit ? QColor(0x3a, 0x40, 0x4a) : QColor(0x2e, 0x32, 0x3a));
    // LED strip at the top of the key.
    const QRectF led(key.left() + 6, key.top() + 4, key.width() - 12, 3);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(lit ? c : c.darker(500));
    p.drawRoundedRect(led, 1.2, 1.2);
    if (lit) {
        p.setBrush(withAlpha(blend(c, Qt::white, 0.6), 200));
        p.drawRoundedRect(led.adjusted(2, 0.8, -2, -0.8), 0.6, 0.6);
    }
    p.restore();
    text(p, key.adjusted(0, 7, 0, 0), label, font(8, true),
         lit ? blend(c, Qt::white, 0.55) : colour::label);
}

void panelButton(QPainter& p, const PanelButton& b, bool lit) {
    const QRectF key = QRectF(b.place).adjusted(2, 1.5, -2, -1.5);
    raised(p, key, 3, lit ? QColor(0x3c, 0x42, 0x4d) : QColor(0x2a, 0x2e, 0x35));
    if (lit) {
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(b.lit);
        p.drawRoundedRect(QRectF(key.left() + 1, key.top() + 4, 2.5, key.height() - 8), 1, 1);
        p.restore();
    }
    const QRectF icon = QRectF(key.center().x() - 8 + 1, key.center().y() - 8, 16, 16);
    QColor c = lit ? blend(b.lit, Qt::white, 0.25) : colour::label;
    if (b.glyph == glyph::recordDot && !lit) c = colour::stop.darker(160);
    b.glyph(p, icon, c);
}

void mixButton(QPainter& p, const QRectF& box, bool lit) {
    squareKey(
        p, box.adjusted(3, 3, -3, -3), colour::magic, lit,
        [lit](QPainter& q, const QRectF& r, const QColor& c) {
            glyph::automix(q, QRectF(r.left() + 6, r.top() + 3, 18, r.height() - 6),
                           lit ? c : colour::magic);
            spacedText(q, r.adjusted(24, 0, -4, 0), QStringLiteral("MIX NOW"), font(9, true), c,
                       0.8);
        },
        4);
}

void paintDeckControls(QImage& skin, const QImage& bg, const Deck& d) {
    auto button = [&](const QRect& place, QPoint at, QColor c, Light light, const Glyph& g,
                      qreal bezel) {
        lookAt(skin, bg, place, at,
               [&](QPainter& p, const QRectF& r) { roundButton(p, r, c, light, g, bezel); });
    };
    constexpr Light off = Light::Off, lit = Light::Lit;
    const Glyph magic = glyph::magic;
    const Glyph play = glyph::play, pause = glyph::pause, stop = glyph::stop, cue = glyph::cue;
    const Glyph number = [n = d.number](QPainter& p, const QRectF& r, const QColor& c) {
        glyph::deckNumber(p, r, c, n);
    };
    button(d.go, d.go.topLeft(), colour::magic, off, magic, 5);
    button(d.go, d.goOn, colour::magic, lit, magic, 5);
    button(d.play, d.play.topLeft(), colour::play, off, play, 4);
    button(d.play, d.playOn, colour::play, lit, play, 4);
    // The pause face shows while the deck plays: its ring is alight.
    button(d.play, d.pauseOff, colour::play, Light::Ring, pause, 4);
    button(d.play, d.pauseOn, colour::play, lit, pause, 4);
    button(d.stop, d.stop.topLeft(), colour::stop, off, stop, 3.5);
    button(d.stop, d.stopOn, colour::stop, lit, stop, 3.5);
    button(d.cue, d.cue.topLeft(), colour::cue, off, cue, 3);
    button(d.cue, d.cueOn, colour::cue, lit, cue, 3);
    // The select button's bezel is 5 pixels wide, so its light stays clear of the rows
    // that the volume fader's background shares with it.
    button(d.select, d.select.topLeft(), d.colour, off, number, 5);
    button(d.select, d.selectOn, d.colour, lit, number, 5);

    for (bool on : {false, true}) {
        lookAt(skin, bg, d.reset, on ? d.resetOn : d.reset.topLeft(),
               [&](QPainter& p, const QRectF& r) {
                   lamp(p, r.center(), r.width() / 2, colour::cue, on);
               });
    }
    // Mode keys: the lit one names the fader's current job. The pitch fader (placement)
    // lights PITCH; the volume fader's pair lights VOL.
    lookAt(skin, bg, d.menuLevel, d.menuLevel.topLeft(), [&](QPainter& p, const QRectF& r) {
        modeKey(p, r, QStringLiteral("VOL"), d.colour, false);
    });
    lookAt(skin, bg, d.menuLevel, d.menuLevelOff, [&](QPainter& p, const QRectF& r) {
        modeKey(p, r, QStringLiteral("VOL"), d.colour, true);
    });
    lookAt(skin, bg, d.menuPitch, d.menuPitch.topLeft(), [&](QPainter& p, const QRectF& r) {
        modeKey(p, r, QStringLiteral("PITCH"), d.colour, true);
    });
    lookAt(skin, bg, d.menuPitch, d.menuPitchOn, [&](QPainter& p, const QRectF& r) {
        modeKey(p, r, QStringLiteral("PITCH"), d.colour, false);
    });
}

void paintControls(QImage& skin, const QImage& bg) {
    for (const Deck* d : {&kDeck1, &kDeck2}) paintDeckControls(skin, bg, *d);

    struct WindowKey {
        const Look& look;
        bool isClose;
        void (*glyph)(QPainter&, const QRectF&, const QColor&);
    };
    for (const WindowKey& k : {WindowKey{kMinimize, false, glyph::minimize},
                               WindowKey{kFullScreen, false, glyph::fullScreen},
                               WindowKey{kClose, true, glyph::close}}) {
        for (bool lit : {false, true})
            lookAt(skin, bg, k.look.place, lit ? k.look.on : k.look.place.topLeft(),
                   [&](QPainter& p, const QRectF& r) {
                       windowButton(p, r.toRect(), lit, k.isClose, k.glyph);
                   });
    }

    for (const PanelButton& b : kPanelButtons)
        for (bool lit : {false, true})
            lookAt(skin, bg, b.place, lit ? b.on : b.place.topLeft(),
                   [&](QPainter& p, const QRectF&) { panelButton(p, b, lit); });

    lookAt(skin, bg, kMix, kMixOff, [](QPainter& p, const QRectF& r) { mixButton(p, r, false); });
    lookAt(skin, bg, kMix, kMixOn, [](QPainter& p, const QRectF& r) { mixButton(p, r, true); });

    // Knob pictures.
    {
        QPainter p(&skin);
        prepare(p);
        faderCap(p, kSliderKnobLook, Qt::Vertical, colour::faderBed);
        faderCap(p, kCrossfaderKnobLook, Qt::Horizontal, colour::faderBed);
    }
}

}  // namespace

QImage defaultSkin() {
    QImage skin(kWidth, kHeight, QImage::Format_RGB32);
    {
        QPainter p(&skin);
        prepare(p);
        paintBackground(p);
    }
    // The volume fader's background starts as the pitch fader's place without its scale.
    for (const Deck* d : {&kDeck1, &kDeck2}) copyRect(skin, d->volumeLook, skin, d->slider);
    {
        QPainter p(&skin);
        prepare(p);
        for (const Deck* d : {&kDeck1, &kDeck2}) {
            p.save();
            p.setClipRect(d->slider);
            paintPitchScale(p, *d);
            p.restore();
            p.save();
            p.setClipRect(QRect(d->volumeLook, d->slider.size()));
            p.translate(d->volumeLook - d->slider.topLeft());
            paintVolumeScale(p, *d);
            p.restore();
        }
    }
    const QImage background = skin.copy();
    paintControls(skin, background);
    return skin;
}

QImage deskPreview(const QImage& skin) {
    // What the desk composes at start-up: volume faders at full level, the crossfader in
    // the middle; for show, deck 1 plays and is selected, the playlist panel is open.
    QImage desk = skin.copy(0, 0, kWidth, kDeskHeight);
    auto show = [&](QPoint from, const QRect& place) {
        copyRect(desk, place.topLeft(), skin, QRect(from, place.size()));
    };
    for (const Deck* d : {&kDeck1, &kDeck2}) {
        show(d->volumeLook, d->slider);
        show(d->menuLevelOff, d->menuLevel);
        show(d->menuPitchOn, d->menuPitch);
        show(kSliderKnobLook.topLeft(), QRect(d->knobX, kTrackTop, kKnobWidth, kKnobHeight));
    }
    const int x =
        kCrossfader.left() + 192 * (kCrossfader.width() - kCrossfaderKnobLook.width()) / 384;
    show(kCrossfaderKnobLook.topLeft(),
         QRect(QPoint(x, kCrossfader.top()), kCrossfaderKnobLook.size()));
    show(kDeck1.pauseOff, kDeck1.play);
    show(kDeck1.selectOn, kDeck1.select);
    show(kPanelButtons[2].on, kPanelButtons[2].place);
    show(kMixOff, kMix);
    return desk;
}

}  // namespace art
