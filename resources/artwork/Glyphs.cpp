#include "Glyphs.h"

#include "Paint.h"

#include <QtGui/QPainter>
#include <QtGui/QPainterPath>

#include <cmath>
#include <numbers>

namespace art::glyph {

namespace {

// Maps the 16 x 16 design grid onto the centre of `box`; restores the painter when done.
class Grid {
public:
    Grid(QPainter& p, const QRectF& box) : p_(p) {
        p_.save();
        const qreal side = std::min(box.width(), box.height());
        p_.translate(box.center());
        p_.scale(side / 16.0, side / 16.0);
        p_.translate(-8, -8);
    }
    ~Grid() { p_.restore(); }
    Grid(const Grid&) = delete;
    Grid& operator=(const Grid&) = delete;

    void stroke(const QColor& c, qreal width = 1.6) {
        p_.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p_.setBrush(Qt::NoBrush);
    }
    void fill(const QColor& c) {
        p_.setPen(Qt::NoPen);
        p_.setBrush(c);
    }

private:
    QPainter& p_;
};

QPainterPath polygon(std::initializer_list<QPointF> points) {
    QPainterPath path;
    bool first = true;
    for (const QPointF& pt : points) {
        if (first)
            path.moveTo(pt);
        else
            path.lineTo(pt);
        first = false;
    }
    path.closeSubpath();
    return path;
}

void arrowHead(QPainter& p, QPointF tip, qreal angle, qreal size) {
    const qreal a1 = angle + 2.6, a2 = angle - 2.6;
    p.drawPolyline(QPolygonF{tip + QPointF(std::cos(a1), std::sin(a1)) * size, tip,
                             tip + QPointF(std::cos(a2), std::sin(a2)) * size});
}

void houseShape(QPainter& p, const QColor& c, qreal shiftX) {
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(
        QPolygonF{QPointF(2 + shiftX, 8), QPointF(8 + shiftX, 2.5), QPointF(14 + shiftX, 8)});
    p.drawPolyline(QPolygonF{QPointF(4 + shiftX, 6.8), QPointF(4 + shiftX, 14),
                             QPointF(12 + shiftX, 14), QPointF(12 + shiftX, 6.8)});
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(QRectF(6.8 + shiftX, 9.5, 2.4, 4.5));
}

void disc(QPainter& p, const QColor& c) {
    p.setPen(QPen(c, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8, 8), 6.3, 6.3);
    p.drawEllipse(QPointF(8, 8), 2.0, 2.0);
    p.setPen(QPen(withAlpha(c, 140), 0.9, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(3.6, 3.6, 8.8, 8.8), 100 * 16, 60 * 16);
    p.drawArc(QRectF(3.6, 3.6, 8.8, 8.8), 280 * 16, 60 * 16);
}

}  // namespace

void play(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.fill(c);
    p.drawPath(polygon({{5.6, 3.8}, {12.6, 8}, {5.6, 12.2}}));
}

void pause(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.fill(c);
    p.drawRoundedRect(QRectF(4.6, 4.2, 2.5, 7.6), 0.5, 0.5);
    p.drawRoundedRect(QRectF(8.9, 4.2, 2.5, 7.6), 0.5, 0.5);
}

void stop(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.fill(c);
    p.drawRoundedRect(QRectF(4.6, 4.6, 6.8, 6.8), 0.7, 0.7);
}

void cue(QPainter& p, const QRectF& box, const QColor& c) {
    text(p, box.adjusted(-2, 0, 2, 0), QStringLiteral("CUE"), font(int(box.height() * 0.45), true),
         c);
}

void magic(QPainter& p, const QRectF& box, const QColor& c) {
    // A four-pointed sparkle above the word.
    const QPointF s(box.center().x(), box.top() + box.height() * 0.34);
    const qreal r = box.height() * 0.2;
    QPainterPath star;
    star.moveTo(s + QPointF(0, -r));
    star.quadTo(s, s + QPointF(r, 0));
    star.quadTo(s, s + QPointF(0, r));
    star.quadTo(s, s + QPointF(-r, 0));
    star.quadTo(s, s + QPointF(0, -r));
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(star);
    p.drawEllipse(s + QPointF(r * 0.95, -r * 0.75), r * 0.16, r * 0.16);
    p.restore();
    const QRectF words(box.left(), box.top() + box.height() * 0.55, box.width(),
                       box.height() * 0.26);
    spacedText(p, words, QStringLiteral("MAGIC"), font(int(box.height() * 0.21), true), c, 0.6);
}

void deckNumber(QPainter& p, const QRectF& box, const QColor& c, int deck) {
    text(p, box.translated(0, -0.5), QString::number(deck), font(int(box.height() * 0.62), true),
         c);
}

void automix(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.stroke(c, 1.5);
    QPainterPath a;
    a.moveTo(1.5, 11);
    a.cubicTo(6, 11, 9, 5, 14, 5);
    QPainterPath b;
    b.moveTo(1.5, 5);
    b.cubicTo(6, 5, 9, 11, 14, 11);
    p.drawPath(a);
    p.drawPath(b);
    arrowHead(p, QPointF(14.3, 5), 0, 2.6);
    arrowHead(p, QPointF(14.3, 11), 0, 2.6);
}

void minimize(QPainter& p, const QRectF& box, const QColor& c) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRectF(box.left() + 3, box.bottom() - 3, box.width() - 6, 1.0), c);
    p.restore();
}

void fullScreen(QPainter& p, const QRectF& box, const QColor& c) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(c);
    p.setBrush(Qt::NoBrush);
    const QRect r(int(box.left()) + 3, int(box.top()) + 2, int(box.width()) - 7,
                  int(box.height()) - 5);
    p.drawRect(r);
    p.drawLine(r.left(), r.top() + 1, r.right(), r.top() + 1);
    p.restore();
}

void close(QPainter& p, const QRectF& box, const QColor& c) {
    p.save();
    p.setPen(QPen(c, 1.3, Qt::SolidLine, Qt::RoundCap));
    const QPointF m = box.center();
    const qreal h = 2.5;
    p.drawLine(m + QPointF(-h, -h), m + QPointF(h, h));
    p.drawLine(m + QPointF(-h, h), m + QPointF(h, -h));
    p.restore();
}

void folder(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.stroke(c, 1.4);
    QPainterPath back;
    back.moveTo(1.5, 13.5);
    back.lineTo(1.5, 3.5);
    back.lineTo(6, 3.5);
    back.lineTo(7.5, 5.2);
    back.lineTo(13.5, 5.2);
    back.lineTo(13.5, 7);
    p.drawPath(back);
    g.fill(withAlpha(c, 200));
    p.drawPath(polygon({{1.5, 13.5}, {3.6, 7.4}, {15.2, 7.4}, {13.2, 13.5}}));
}

void magnifier(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.stroke(c, 1.7);
    p.drawEllipse(QPointF(6.6, 6.6), 4.4, 4.4);
    p.setPen(QPen(c, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14, 14));
}

void list(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    for (int i = 0; i < 4; ++i) {
        const qreal y = 3.2 + i * 3.2;
        g.fill(c);
        p.drawEllipse(QPointF(2.6, y), 1.1, 1.1);
        g.stroke(c, 1.4);
        p.drawLine(QPointF(5.5, y), QPointF(14.2, y));
    }
}

void recordDot(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.stroke(withAlpha(c, 160), 1.0);
    p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
    g.fill(c);
    p.drawEllipse(QPointF(8, 8), 4.5, 4.5);
}

void clock(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.stroke(c, 1.5);
    p.drawEllipse(QPointF(8, 8), 6.3, 6.3);
    p.drawPolyline(QPolygonF{QPointF(8, 4), QPointF(8, 8), QPointF(11, 9.8)});
}

void gear(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    QPainterPath teeth;
    const int n = 8;
    for (int i = 0; i < n; ++i) {
        const qreal a = i * 2 * std::numbers::pi / n;
        QTransform t;
        t.translate(8, 8);
        t.rotateRadians(a);
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-1.5, -7.3, 3, 3.5), 0.6, 0.6);
        teeth.addPath(t.map(tooth));
    }
    QPainterPath body;
    body.addEllipse(QPointF(8, 8), 5.2, 5.2);
    QPainterPath hole;
    hole.addEllipse(QPointF(8, 8), 2.1, 2.1);
    g.fill(c);
    p.drawPath(teeth.united(body).subtracted(hole));
}

void house(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    houseShape(p, c, 0);
}

void housePin(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    houseShape(p, c, -1.5);
    // A map pin at the upper right: the place marked as home.
    p.setPen(QPen(colour::shadow, 0.8));
    p.setBrush(colour::stop);
    QPainterPath pin;
    pin.moveTo(13, 8.6);
    pin.cubicTo(10.2, 5.6, 10.2, 2.1, 13, 2.1);
    pin.cubicTo(15.8, 2.1, 15.8, 5.6, 13, 8.6);
    p.drawPath(pin);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawEllipse(QPointF(13, 4.3), 0.9, 0.9);
}

void desktop(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.stroke(c, 1.4);
    p.drawRoundedRect(QRectF(1.8, 2.5, 12.4, 8.6), 1, 1);
    p.drawLine(QPointF(8, 11.5), QPointF(8, 13.5));
    p.drawLine(QPointF(4.8, 13.8), QPointF(11.2, 13.8));
    g.fill(withAlpha(c, 90));
    p.drawRect(QRectF(3.3, 4, 9.4, 5.6));
}

void shuffle(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.stroke(c, 1.5);
    QPainterPath a;
    a.moveTo(1.5, 4.5);
    a.lineTo(4.5, 4.5);
    a.cubicTo(8.5, 4.5, 8, 11.5, 12, 11.5);
    a.lineTo(14, 11.5);
    QPainterPath b;
    b.moveTo(1.5, 11.5);
    b.lineTo(4.5, 11.5);
    b.cubicTo(8.5, 11.5, 8, 4.5, 12, 4.5);
    b.lineTo(14, 4.5);
    p.drawPath(a);
    p.drawPath(b);
    arrowHead(p, QPointF(14.5, 4.5), 0, 2.5);
    arrowHead(p, QPointF(14.5, 11.5), 0, 2.5);
}

void star(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    QPainterPath s;
    for (int i = 0; i < 10; ++i) {
        const qreal a = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const qreal r = (i % 2) ? 2.9 : 7.0;
        const QPointF pt(8 + r * std::cos(a), 8.6 + r * std::sin(a));
        if (i == 0)
            s.moveTo(pt);
        else
            s.lineTo(pt);
    }
    s.closeSubpath();
    g.fill(c);
    p.drawPath(s);
}

void floppy(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    QPainterPath body = polygon({{2, 2}, {12, 2}, {14, 4}, {14, 14}, {2, 14}});
    QPainterPath holes;
    holes.addRect(QRectF(4.6, 2, 6, 3.8));
    holes.addRoundedRect(QRectF(4, 8.4, 8, 5.6), 0.6, 0.6);
    g.fill(c);
    p.drawPath(body.subtracted(holes));
    p.drawRect(QRectF(8.6, 2.6, 1.4, 2.6));
}

void hardDrive(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.stroke(c, 1.4);
    p.drawRoundedRect(QRectF(1.5, 4.5, 13, 7.5), 1.4, 1.4);
    p.drawLine(QPointF(2.2, 8.6), QPointF(13.8, 8.6));
    g.fill(c);
    for (qreal x : {4.0, 5.8, 7.6}) p.drawRect(QRectF(x, 9.9, 1.0, 1.2));
    g.fill(colour::play);
    p.drawEllipse(QPointF(11.8, 10.4), 1.0, 1.0);
}

void compactDisc(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    disc(p, c);
}

void compactDiscDelete(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    disc(p, c);
    p.setPen(QPen(colour::shadow, 3.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.2, 10.2), QPointF(14.6, 14.6));
    p.drawLine(QPointF(10.2, 14.6), QPointF(14.6, 10.2));
    p.setPen(QPen(colour::stop, 1.7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.2, 10.2), QPointF(14.6, 14.6));
    p.drawLine(QPointF(10.2, 14.6), QPointF(14.6, 10.2));
}

void speaker(QPainter& p, const QRectF& box, const QColor& c) {
    Grid g(p, box);
    g.fill(c);
    p.drawPath(polygon({{1.5, 6}, {4.5, 6}, {8.5, 2.5}, {8.5, 13.5}, {4.5, 10}, {1.5, 10}}));
    g.stroke(c, 1.3);
    p.drawArc(QRectF(7.5, 5, 5, 6), -55 * 16, 110 * 16);
    p.drawArc(QRectF(7, 2.5, 8, 11), -55 * 16, 110 * 16);
}

}  // namespace art::glyph
