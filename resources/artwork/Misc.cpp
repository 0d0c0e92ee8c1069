// The start-up picture, the program icon and the drag-and-drop cursors. The record with a
// label split between deck 1's cyan and deck 2's orange is the program's emblem.

#include "Artwork.h"
#include "Paint.h"

#include <QtGui/QLinearGradient>
#include <QtGui/QPainterPath>
#include <QtGui/QRadialGradient>

#include <cmath>

namespace art {

namespace {

void gradientWord(QPainter& p, const QPointF& baseline, const QString& word, const QFont& f) {
    QPainterPath path;
    path.addText(baseline, f, word);
    const QRectF box = path.boundingRect();
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 170));
    p.drawPath(path.translated(0, 2));
    QLinearGradient g(box.topLeft(), box.topRight());
    g.setColorAt(0, blend(colour::deck1, Qt::white, 0.2));
    g.setColorAt(0.5, QColor(0xf2, 0xf5, 0xfa));
    g.setColorAt(1, blend(colour::deck2, Qt::white, 0.2));
    p.setBrush(g);
    p.drawPath(path);
    p.restore();
}

// A platter: dark rim with strobe dots around the record.
void platter(QPainter& p, const QPointF& c, qreal r) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawEllipse(c + QPointF(0, 3), r + 2, r + 2);
    QLinearGradient rim(c - QPointF(0, r), c + QPointF(0, r));
    rim.setColorAt(0, QColor(0x4a, 0x50, 0x5a));
    rim.setColorAt(1, QColor(0x1c, 0x1e, 0x23));
    p.setBrush(rim);
    p.drawEllipse(c, r, r);
    p.setBrush(QColor(0x8a, 0x91, 0x9c));
    for (int i = 0; i < 90; ++i) {
        const qreal a = i * 2 * 3.14159265358979 / 90;
        p.drawEllipse(c + QPointF(std::sin(a), -std::cos(a)) * (r - 3.5), 1.1, 1.1);
    }
    p.restore();
    vinyl(p, c, r - 8, r * 0.3, colour::deck1, colour::deck2);
}

}  // namespace

QImage startup() {
    QImage image(400, 300, QImage::Format_RGB32);
    QPainter p(&image);
    prepare(p);
    QRadialGradient back(QPointF(120, 110), 330);
    back.setColorAt(0, QColor(0x2c, 0x31, 0x3a));
    back.setColorAt(1, QColor(0x0b, 0x0c, 0x0f));
    p.fillRect(image.rect(), back);

    platter(p, QPointF(330, 150), 118);
    // The tone arm, its head in the outer grooves.
    p.save();
    const QPointF pivot(392, 2), head(292, 66);
    p.setPen(QPen(QColor(0, 0, 0, 140), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(pivot + QPointF(-2, 4), head + QPointF(-2, 4));
    p.setPen(QPen(QColor(0xc8, 0xce, 0xd8), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(pivot, head);
    p.translate(head);
    p.rotate(QLineF(pivot, head).angle() * -1 + 180);
    p.setPen(QPen(colour::shadow, 1));
    p.setBrush(QColor(0x30, 0x34, 0x3b));
    p.drawRoundedRect(QRectF(-4, -5, 16, 10), 2, 2);
    p.restore();

    gradientWord(p, QPointF(22, 132), QStringLiteral("SPINLOREX"), font(36, true));
    spacedText(p, QRectF(24, 142, 240, 14), QStringLiteral("TWO-DECK MIXING DESK"), font(10, true),
               colour::label, 2.2, Qt::AlignLeft | Qt::AlignVCenter);

    // A crossfader underlining the name.
    const QRectF slot(24, 180, 170, 4);
    recess(p, slot, 2, QColor(0, 0, 0));
    p.save();
    for (int i = 0; i <= 8; ++i) {
        const qreal x = slot.left() + 4 + i * (slot.width() - 8) / 8;
        p.fillRect(QRectF(x, slot.top() - 7, 1, (i % 4) ? 3 : 5), colour::label);
    }
    text(p, QRectF(slot.left() - 2, slot.bottom() + 4, 10, 12), QStringLiteral("1"), font(10, true),
         colour::deck1);
    text(p, QRectF(slot.right() - 8, slot.bottom() + 4, 10, 12), QStringLiteral("2"),
         font(10, true), colour::deck2);
    p.restore();
    faderCap(p, QRect(int(slot.center().x()) - 6, int(slot.center().y()) - 10, 12, 20),
             Qt::Horizontal, QColor(0x22, 0x25, 0x2b));

    text(p, QRectF(24, 262, 220, 14), QStringLiteral("MP3 \u00b7 WAV \u00b7 beat matching"),
         font(10), colour::labelDim, Qt::AlignLeft | Qt::AlignVCenter);
    p.setPen(QPen(QColor(255, 255, 255, 30), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 399, 299));
    return image;
}

QImage icon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    prepare(p);
    p.scale(size / 64.0, size / 64.0);
    const QRectF tile(2, 2, 60, 60);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawRoundedRect(tile.translated(0, 1.5), 13, 13);
    QLinearGradient g(tile.topLeft(), tile.bottomLeft());
    g.setColorAt(0, QColor(0x3a, 0x3f, 0x49));
    g.setColorAt(1, QColor(0x15, 0x17, 0x1b));
    p.setBrush(g);
    p.drawRoundedRect(tile, 13, 13);
    QLinearGradient edge(tile.topLeft(), tile.bottomRight());
    edge.setColorAt(0, colour::deck1);
    edge.setColorAt(1, colour::deck2);
    p.setPen(QPen(QBrush(edge), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(tile.adjusted(1, 1, -1, -1), 12, 12);
    vinyl(p, QPointF(32, 32), 24, 9.5, colour::deck1, colour::deck2);
    return image;
}

QImage cursor(Cursor kind, bool several) {
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    prepare(p);
    // Badge first, so the pointer stays on top; several tracks are a record behind it.
    const QPointF badge(22.5, 22.5);
    if (several) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 90));
        p.drawEllipse(badge + QPointF(-4, -5), 8.5, 8.5);
        vinyl(p, badge + QPointF(-4.5, -5.5), 8, 3.2, colour::deck2, colour::deck1);
    }
    if (kind != Cursor::NoDrop || several) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 90));
        p.drawEllipse(badge + QPointF(0.5, 1), 8.5, 8.5);
        vinyl(p, badge, 8, 3.2, colour::deck1, colour::deck2);
    }
    if (kind == Cursor::Drop) {
        const QPointF c(26.5, 26.5);
        p.setPen(QPen(Qt::white, 1.2));
        p.setBrush(colour::play.darker(120));
        p.drawEllipse(c, 4.8, 4.8);
        p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(c - QPointF(2.6, 0), c + QPointF(2.6, 0));
        p.drawLine(c - QPointF(0, 2.6), c + QPointF(0, 2.6));
    } else if (kind == Cursor::NoDrop) {
        p.setPen(QPen(Qt::white, 5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(badge, 6.5, 6.5);
        p.drawLine(badge + QPointF(-4.6, -4.6), badge + QPointF(4.6, 4.6));
        p.setPen(QPen(colour::stop.darker(115), 2.6));
        p.drawEllipse(badge, 6.5, 6.5);
        p.drawLine(badge + QPointF(-4.6, -4.6), badge + QPointF(4.6, 4.6));
    }
    // The pointer, its tip on the hot spot (1, 1).
    QPainterPath arrow;
    arrow.moveTo(1.5, 1.5);
    arrow.lineTo(1.5, 19);
    arrow.lineTo(5.8, 14.9);
    arrow.lineTo(8.8, 21.6);
    arrow.lineTo(11.6, 20.4);
    arrow.lineTo(8.7, 13.9);
    arrow.lineTo(14.6, 13.9);
    arrow.closeSubpath();
    p.setPen(QPen(Qt::black, 1.2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    return image;
}

QImage libraryIcons() {
    QImage image(64, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    prepare(p);
    // A small record, readable on dark and light list backgrounds alike.
    const auto disc = [&](const QPointF& c, qreal r, const QColor& label) {
        p.setPen(QPen(colour::bright, 1.2));
        p.setBrush(QColor(0x1c, 0x1e, 0x23));
        p.drawEllipse(c, r, r);
        p.setPen(Qt::NoPen);
        p.setBrush(label);
        p.drawEllipse(c, r * 0.42, r * 0.42);
        p.setBrush(colour::shadow);
        p.drawEllipse(c, 0.9, 0.9);
    };
    // 0: a record played before, its label grey; 1: never played, its label lit, a spark.
    disc(QPointF(8, 8), 6.6, colour::label);
    disc(QPointF(24, 8.6), 6.2, colour::deck1);
    p.setPen(Qt::NoPen);
    p.setBrush(colour::cue);
    QPainterPath spark;
    const QPointF c(28.5, 3.5);
    for (int i = 0; i < 8; ++i) {
        const qreal r = i % 2 ? 1.1 : 3.2;
        const qreal a = i * 3.14159265358979 / 4;
        const QPointF point = c + QPointF(std::sin(a), -std::cos(a)) * r;
        i == 0 ? spark.moveTo(point) : spark.lineTo(point);
    }
    spark.closeSubpath();
    p.drawPath(spark);
    // 2: in the history: a clock face with its hands.
    const QPointF clock(40, 8);
    p.setPen(QPen(colour::bright, 1.3));
    p.setBrush(colour::deck2.darker(160));
    p.drawEllipse(clock, 6.3, 6.3);
    p.setPen(QPen(colour::bright, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(clock, clock + QPointF(0, -4.2));
    p.drawLine(clock, clock + QPointF(3.2, 1.2));
    // 3: a playlist file: a page of lines with a folded corner.
    QPainterPath page;
    page.moveTo(51.5, 1.5);
    page.lineTo(59.5, 1.5);
    page.lineTo(62.5, 4.5);
    page.lineTo(62.5, 14.5);
    page.lineTo(51.5, 14.5);
    page.closeSubpath();
    p.setPen(QPen(colour::labelDim, 1));
    p.setBrush(colour::bright);
    p.drawPath(page);
    p.setPen(QPen(colour::deck1.darker(130), 1.2));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(53.5, 5.5 + i * 2.4), QPointF(60.5, 5.5 + i * 2.4));
    return image;
}

}  // namespace art
