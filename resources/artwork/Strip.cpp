// The library's button strip (672 x 48): small keys with their off looks in the top row
// and their on looks in the bottom row, the automatic-mixing switch and the recording
// button. The desk shows them on the dark files window, so their corners take its colour.

#include "Artwork.h"
#include "Glyphs.h"
#include "Paint.h"

#include <QtGui/QLinearGradient>
#include <QtGui/QPainterPath>

namespace art {

namespace {

constexpr int kCell = 24;

struct StripKey {
    int x;
    void (*glyph)(QPainter&, const QRectF&, const QColor&);
};
const StripKey kKeys[] = {
    {0, glyph::housePin},    {24, glyph::desktop},      {48, glyph::house},
    {120, glyph::shuffle},   {144, glyph::star},        {168, glyph::floppy},
    {192, glyph::hardDrive}, {216, glyph::compactDisc}, {240, glyph::compactDiscDelete},
    {264, glyph::magnifier},
};

void key(QPainter& p, const QRectF& cell, void (*g)(QPainter&, const QRectF&, const QColor&),
         bool lit) {
    squareKey(p, cell.adjusted(1, 1, -1, -1), colour::accent, lit,
              [g, lit](QPainter& q, const QRectF& face, const QColor& c) {
                  // Pressed keys sink by a pixel.
                  const QRectF box = face.adjusted(3, 3, -3, -3).translated(0, lit ? 0.5 : 0);
                  g(q, box, lit ? c : colour::bright.darker(115));
              });
}

// A slide switch: the automix glyph above a slot whose thumb sits low when off and high,
// with the slot lit, when on.
void automixSwitch(QPainter& p, const QRectF& r, bool on) {
    const QColor led = colour::magic;
    raised(p, r.adjusted(1, 1, -1, -1), 3, QColor(0x2e, 0x32, 0x3a));
    glyph::automix(p, QRectF(r.left() + 4, r.top() + 3, r.width() - 8, 14),
                   on ? blend(led, Qt::white, 0.3) : colour::label);
    const QRectF slot(r.center().x() - 4, r.top() + 19, 8, 25);
    recess(p, slot, 3, on ? led.darker(260) : QColor(0x05, 0x06, 0x08));
    if (on) {
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(led, 150));
        p.drawRoundedRect(slot.adjusted(2, 2, -2, -2), 2, 2);
        p.restore();
    }
    const QRectF thumb(slot.left() - 2, on ? slot.top() - 1 : slot.bottom() - 10, 12, 11);
    raised(p, thumb, 2, QColor(0x6a, 0x70, 0x7a));
    p.save();
    p.setPen(QPen(on ? led : colour::shadow, 1.4));
    p.drawLine(QPointF(thumb.left() + 3, thumb.center().y()),
               QPointF(thumb.right() - 3, thumb.center().y()));
    p.restore();
}

void recordButton(QPainter& p, const QRectF& r, bool on) {
    const QRectF cap = r.adjusted(3, 3, -3, -3);
    squareKey(
        p, cap, colour::stop, on, [](QPainter&, const QRectF&, const QColor&) {}, 6);
    const QPointF dot(cap.left() + 26, cap.center().y());
    p.save();
    p.setPen(Qt::NoPen);
    if (on) {
        p.setBrush(QColor(255, 255, 255, 60));
        p.drawEllipse(dot, 11, 11);
    }
    p.restore();
    lamp(p, dot, 9, colour::stop, true);
    if (!on) {
        // Unlit: the lamp is only a red lens.
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 110));
        p.drawEllipse(dot, 8, 8);
        p.restore();
    }
    const QRectF words = cap.adjusted(44, 0, -8, 0);
    if (on) {
        spacedText(p, words, QStringLiteral("RECORDING"), font(14, true), Qt::white, 1.5,
                   Qt::AlignLeft | Qt::AlignVCenter);
    } else {
        spacedText(p, QRectF(words.left(), cap.top() + 7, words.width(), 11),
                   QStringLiteral("START"), font(9, true), colour::label, 1.5,
                   Qt::AlignLeft | Qt::AlignVCenter);
        spacedText(p, QRectF(words.left(), cap.top() + 18, words.width(), 17),
                   QStringLiteral("RECORDING"), font(13, true), colour::bright, 1.2,
                   Qt::AlignLeft | Qt::AlignVCenter);
    }
}

}  // namespace

QImage buttonStrip() {
    QImage strip(672, 48, QImage::Format_RGB32);
    strip.fill(colour::display);
    QPainter p(&strip);
    prepare(p);
    for (const StripKey& k : kKeys) {
        key(p, QRectF(k.x, 0, kCell, kCell), k.glyph, false);
        key(p, QRectF(k.x, kCell, kCell, kCell), k.glyph, true);
    }
    automixSwitch(p, QRectF(72, 0, kCell, 48), false);
    automixSwitch(p, QRectF(96, 0, kCell, 48), true);
    recordButton(p, QRectF(288, 0, 192, 48), false);
    recordButton(p, QRectF(480, 0, 192, 48), true);
    return strip;
}

}  // namespace art
