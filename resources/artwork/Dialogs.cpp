// Pictures of the dialogs: the tooltip balloon and the six pictures of the sound
// configuration (kinds of sound card, what is plugged into them).

#include "Artwork.h"
#include "Glyphs.h"
#include "Paint.h"

#include <QtGui/QLinearGradient>
#include <QtGui/QPainterPath>
#include <QtGui/QRadialGradient>

namespace art {

namespace {

// ---------------------------------------------------------------------------------------
// Tooltip balloon

// The balloon's window is shaped by the pixels that differ from the key colour, so its
// edge is hard: smooth edges are blended onto the desk's dark colour, then cut at half
// coverage.
QImage hardEdged(const QImage& soft, const QColor& under, QRgb key) {
    QImage out(soft.size(), QImage::Format_RGB32);
    for (int y = 0; y < soft.height(); ++y) {
        for (int x = 0; x < soft.width(); ++x) {
            const QColor c = soft.pixelColor(x, y);
            if (c.alpha() < 128) {
                out.setPixel(x, y, key);
            } else {
                const qreal a = c.alphaF();
                out.setPixelColor(x, y, blend(under, QColor(c.red(), c.green(), c.blue()), a));
            }
        }
    }
    return out;
}

}  // namespace

QImage tooltip() {
    // Box in rows 0..22, tail in rows 23..29 towards the bottom-left corner, where the
    // mouse point lies. Column 22 is stretched to the text's width: it is plain.
    QImage soft(29, 30, QImage::Format_ARGB32_Premultiplied);
    soft.fill(Qt::transparent);
    {
        QPainter p(&soft);
        prepare(p);
        QPainterPath box;
        box.addRoundedRect(QRectF(0.5, 0.5, 28, 22), 5, 5);
        QPainterPath tail;
        tail.moveTo(4.5, 21);
        tail.lineTo(12, 21);
        tail.lineTo(1.5, 29.5);
        tail.closeSubpath();
        const QPainterPath shape = box.united(tail).simplified();
        QLinearGradient fill(0, 0, 0, 23);
        fill.setColorAt(0, QColor(0xff, 0xfb, 0xe6));
        fill.setColorAt(1, QColor(0xf3, 0xe7, 0xb8));
        p.setPen(QPen(QColor(0x2a, 0x2c, 0x33), 1));
        p.setBrush(fill);
        p.drawPath(shape);
    }
    return hardEdged(soft, colour::backTop, kTooltipKey);
}

namespace {

// ---------------------------------------------------------------------------------------
// Sound configuration pictures

void pictureBackground(QPainter& p, const QRect& r, const QString& caption) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(0x2a, 0x2e, 0x36));
    g.setColorAt(1, QColor(0x17, 0x19, 0x1e));
    p.fillRect(r, g);
    // The caption, as large as fits.
    const QRectF band(r.left() + 2, r.bottom() - 15, r.width() - 4, 14);
    int size = 10;
    while (size > 6 && QFontMetrics(font(size, true)).horizontalAdvance(caption) > band.width())
        --size;
    text(p, band, caption, font(size, true), colour::bright);
}

// A sound card seen from above: green board, metal bracket with three jacks on the left,
// gold contacts along the bottom, a chip and a few parts.
void card(QPainter& p, const QPointF& at, bool threeD, bool faded) {
    p.save();
    p.translate(at);
    const QColor board = faded ? QColor(0x17, 0x4d, 0x33) : QColor(0x1f, 0x7a, 0x4e);
    // Board with a notch in its contact edge.
    QPainterPath pcb;
    pcb.addRoundedRect(QRectF(8, 0, 58, 38), 2, 2);
    p.setPen(QPen(board.darker(180), 1));
    p.setBrush(board);
    p.drawPath(pcb);
    // Gold contacts.
    p.setPen(Qt::NoPen);
    p.setBrush(faded ? QColor(0x8a, 0x74, 0x30) : QColor(0xd9, 0xb4, 0x4a));
    for (int i = 0; i < 14; ++i)
        if (i != 5) p.drawRect(QRectF(18 + i * 3.1, 38, 2, 4));
    // Traces.
    p.setPen(QPen(board.lighter(140), 0.8));
    for (int i = 0; i < 5; ++i) p.drawLine(QPointF(20 + i * 6, 37), QPointF(20 + i * 6, 30 - i));
    // Chip.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x15, 0x16, 0x19));
    p.drawRoundedRect(QRectF(34, 8, 18, 18), 1.5, 1.5);
    p.setBrush(QColor(0xb8, 0xbe, 0xc8));
    for (int i = 0; i < 5; ++i) {
        p.drawRect(QRectF(36 + i * 3.2, 6.5, 1.2, 1.5));
        p.drawRect(QRectF(36 + i * 3.2, 26, 1.2, 1.5));
    }
    if (threeD) {
        text(p, QRectF(34, 8, 18, 18), QStringLiteral("3D"), font(9, true), colour::deck1);
    } else {
        p.setBrush(QColor(0x3a, 0x3d, 0x44));
        p.drawEllipse(QPointF(37.5, 11.5), 1.3, 1.3);
    }
    // Capacitors and a crystal.
    for (const QPointF& c : {QPointF(58, 9), QPointF(58, 18), QPointF(24, 10)}) {
        QRadialGradient g(c - QPointF(1, 1), 4);
        g.setColorAt(0, QColor(0x8e, 0xb8, 0xe8));
        g.setColorAt(1, QColor(0x22, 0x44, 0x7a));
        p.setBrush(g);
        p.drawEllipse(c, 3, 3);
    }
    p.setBrush(QColor(0xc8, 0xcc, 0xd4));
    p.drawRoundedRect(QRectF(18, 18, 10, 4), 2, 2);
    // Bracket with jacks: line out (green), line in (blue), microphone (pink).
    QLinearGradient metal(0, 0, 8, 0);
    metal.setColorAt(0, QColor(0x9a, 0xa1, 0xad));
    metal.setColorAt(1, QColor(0x5a, 0x60, 0x6a));
    p.setPen(QPen(colour::shadow, 0.8));
    p.setBrush(metal);
    p.drawRect(QRectF(0, -4, 8, 46));
    const QColor jacks[] = {QColor(0x7c, 0xd9, 0x4a), QColor(0x4a, 0x8c, 0xe8),
                            QColor(0xf0, 0x7c, 0xb4)};
    for (int i = 0; i < 3; ++i) {
        const QPointF c(4, 6 + i * 9);
        p.setPen(Qt::NoPen);
        p.setBrush(faded ? jacks[i].darker(160) : jacks[i]);
        p.drawEllipse(c, 3, 3);
        p.setBrush(colour::shadow);
        p.drawEllipse(c, 1.3, 1.3);
    }
    p.restore();
}

// Sound spreading from a point: arcs opening to the right.
void waves(QPainter& p, const QPointF& from, const QColor& c) {
    p.save();
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        p.setPen(QPen(withAlpha(c, 255 - i * 55), 1.6, Qt::SolidLine, Qt::RoundCap));
        const qreal r = 3.5 * i;
        p.drawArc(QRectF(from.x() - r, from.y() - r, 2 * r, 2 * r), -50 * 16, 100 * 16);
    }
    p.restore();
}

void speakerBox(QPainter& p, const QRectF& r) {
    p.save();
    raised(p, r, 3, QColor(0x2c, 0x30, 0x37));
    const qreal cx = r.center().x();
    const qreal woofer = r.width() * 0.36;
    const QPointF wc(cx, r.bottom() - woofer - 4);
    for (const auto& [c, radius] :
         {std::pair{wc, woofer}, std::pair{QPointF(cx, r.top() + 8), 4.5}}) {
        p.setPen(Qt::NoPen);
        p.setBrush(colour::shadow);
        p.drawEllipse(c, radius + 1, radius + 1);
        QRadialGradient cone(c - QPointF(radius * 0.3, radius * 0.3), radius * 1.3);
        cone.setColorAt(0, QColor(0x5a, 0x60, 0x6a));
        cone.setColorAt(0.5, QColor(0x22, 0x25, 0x2a));
        cone.setColorAt(1, QColor(0x0c, 0x0d, 0x10));
        p.setBrush(cone);
        p.drawEllipse(c, radius, radius);
        p.setBrush(QColor(0x70, 0x76, 0x80));
        p.drawEllipse(c, radius * 0.28, radius * 0.28);
    }
    p.restore();
}

void headphones(QPainter& p, const QRectF& r) {
    p.save();
    const QColor band(0xc8, 0xce, 0xd8);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour::shadow, 5, Qt::SolidLine, Qt::RoundCap));
    const QRectF arc(r.left() + 3, r.top(), r.width() - 6, r.height() * 1.1);
    p.drawArc(arc, 10 * 16, 160 * 16);
    p.setPen(QPen(band, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(arc, 10 * 16, 160 * 16);
    for (qreal x : {r.left(), r.right() - 10}) {
        const QRectF cup(x, r.center().y() - 2, 10, 17);
        p.setPen(QPen(colour::shadow, 1));
        QLinearGradient g(cup.topLeft(), cup.topRight());
        g.setColorAt(0, QColor(0x3a, 0x3f, 0x48));
        g.setColorAt(1, QColor(0x1a, 0x1c, 0x21));
        p.setBrush(g);
        p.drawRoundedRect(cup, 4, 4);
        p.setPen(Qt::NoPen);
        p.setBrush(colour::deck2);
        p.drawRoundedRect(QRectF(x + 3.5, cup.top() + 3, 3, cup.height() - 6), 1.5, 1.5);
    }
    p.restore();
}

// An external mixing desk: channel faders, knobs and a crossfader on a metal plate, with
// its two input cables.
void mixer(QPainter& p, const QRectF& r) {
    p.save();
    p.setPen(QPen(QColor(0x9a, 0xa1, 0xad), 1.6));
    p.setBrush(Qt::NoBrush);
    for (qreal x : {r.left() + 18, r.right() - 18}) {
        QPainterPath cable;
        cable.moveTo(x, r.top() + 6);
        cable.cubicTo(x, r.top() - 2, x + (x < r.center().x() ? -14 : 14), r.top() + 2,
                      x + (x < r.center().x() ? -16 : 16), r.top() - 8);
        p.drawPath(cable);
    }
    const QRectF plate = r.adjusted(0, 6, 0, 0);
    brushedMetal(p, plate, 4, QColor(0x3a, 0x3f, 0x48), 7);
    const qreal top = plate.top();
    // Two channel strips: two knobs above a fader each.
    for (int ch = 0; ch < 2; ++ch) {
        const qreal x = plate.left() + plate.width() * (ch == 0 ? 0.27 : 0.73);
        const QColor led = ch == 0 ? colour::deck1 : colour::deck2;
        for (int k = 0; k < 2; ++k) {
            const QPointF c(x, top + 7 + k * 8);
            p.setPen(QPen(colour::shadow, 0.8));
            p.setBrush(QColor(0x1c, 0x1e, 0x23));
            p.drawEllipse(c, 3.2, 3.2);
            p.setPen(QPen(led, 1.2));
            p.drawLine(c, c + QPointF(k ? 2 : -2, -2.2));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(colour::shadow);
        p.drawRoundedRect(QRectF(x - 1.5, top + 21, 3, 15), 1, 1);
        faderCap(p, QRect(int(x - 5), int(top + (ch ? 22 : 28)), 10, 6), Qt::Vertical,
                 QColor(0x3a, 0x3f, 0x48));
    }
    // Level meters between the strips.
    for (int col = 0; col < 2; ++col) {
        for (int i = 0; i < 6; ++i) {
            const QColor c = i == 0 ? colour::stop : i < 2 ? colour::cue : colour::play;
            const bool lit = i >= (col ? 2 : 1);
            p.setPen(Qt::NoPen);
            p.setBrush(lit ? c : c.darker(400));
            p.drawRect(QRectF(plate.center().x() - 4 + col * 5, top + 5 + i * 5, 3, 3.4));
        }
    }
    // Crossfader.
    p.setPen(Qt::NoPen);
    p.setBrush(colour::shadow);
    p.drawRoundedRect(QRectF(plate.center().x() - 16, top + 40, 32, 3), 1, 1);
    faderCap(p, QRect(int(plate.center().x() - 3), int(top + 37), 6, 9), Qt::Horizontal,
             QColor(0x3a, 0x3f, 0x48));
    p.restore();
}

}  // namespace

QImage soundCard(int kind) {
    QImage image(87, 90, QImage::Format_RGB32);
    QPainter p(&image);
    prepare(p);
    static const char* captions[] = {"One sound card", "3D sound card", "Two sound cards"};
    pictureBackground(p, image.rect(), QString::fromLatin1(captions[kind]));
    switch (kind) {
        case 0:
            card(p, QPointF(10, 20), false, false);
            break;
        case 1:
            card(p, QPointF(6, 24), true, false);
            waves(p, QPointF(70, 16), colour::deck1);
            break;
        default:
            card(p, QPointF(16, 12), false, true);
            card(p, QPointF(6, 28), false, false);
            break;
    }
    return image;
}

QImage soundOutput(int kind) {
    QImage image(105, 90, QImage::Format_RGB32);
    QPainter p(&image);
    prepare(p);
    static const char* captions[] = {"Speakers", "Speakers + headphones", "External mixer"};
    pictureBackground(p, image.rect(), QString::fromLatin1(captions[kind]));
    switch (kind) {
        case 0:
            speakerBox(p, QRectF(14, 10, 30, 56));
            speakerBox(p, QRectF(61, 10, 30, 56));
            break;
        case 1:
            speakerBox(p, QRectF(8, 10, 30, 56));
            speakerBox(p, QRectF(42, 10, 30, 56));
            headphones(p, QRectF(74, 28, 28, 30));
            break;
        default:
            mixer(p, QRectF(13, 17, 79, 52));
            break;
    }
    return image;
}

}  // namespace art
