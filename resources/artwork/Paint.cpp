#include "Paint.h"

#include <QtGui/QConicalGradient>
#include <QtGui/QFontDatabase>
#include <QtGui/QLinearGradient>
#include <QtGui/QPainterPath>
#include <QtGui/QRadialGradient>

#include <algorithm>
#include <cmath>

namespace art {

QColor blend(const QColor& a, const QColor& b, qreal t) {
    auto mixChannel = [t](int x, int y) { return int(std::lround(x + (y - x) * t)); };
    return QColor(mixChannel(a.red(), b.red()), mixChannel(a.green(), b.green()),
                  mixChannel(a.blue(), b.blue()), mixChannel(a.alpha(), b.alpha()));
}

QColor withAlpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

void loadFonts() {
    // Loaded by file so that the build does not depend on what else fontconfig offers.
    for (const char* file : {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                             "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"})
        QFontDatabase::addApplicationFont(QString::fromLatin1(file));
}

QFont font(int pixelSize, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

void prepare(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

void copyRect(QImage& to, QPoint at, const QImage& from, const QRect& source) {
    const QImage piece = from.copy(source);
    QPainter p(&to);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(at, piece);
}

void brushedMetal(QPainter& p, const QRectF& r, qreal radius, const QColor& base, unsigned seed) {
    p.save();
    QPainterPath shape;
    shape.addRoundedRect(r, radius, radius);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, base.lighter(118));
    g.setColorAt(0.5, base);
    g.setColorAt(1.0, base.darker(118));
    p.fillPath(shape, g);

    // Grain: thin horizontal strokes of random length and brightness.
    p.setClipPath(shape);
    unsigned state = seed * 2654435761u + 12345u;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) & 0xffffu;
    };
    const int strokes = int(r.width() * r.height() / 40.0);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < strokes; ++i) {
        const qreal y = r.top() + (next() % 10000) / 10000.0 * r.height();
        const qreal x = r.left() + (next() % 10000) / 10000.0 * r.width();
        const qreal len = 8 + next() % 40;
        const bool light = next() & 1;
        p.setPen(QPen(
            light ? QColor(255, 255, 255, 5 + next() % 5) : QColor(0, 0, 0, 8 + next() % 8), 1));
        p.drawLine(QPointF(x, y), QPointF(x + len, y));
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setClipping(false);
    // Bevel: light top edge, dark bottom edge.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 34), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    QLinearGradient edge(r.topLeft(), r.bottomLeft());
    edge.setColorAt(0.0, QColor(0, 0, 0, 0));
    edge.setColorAt(0.7, QColor(0, 0, 0, 0));
    edge.setColorAt(1.0, QColor(0, 0, 0, 150));
    p.setPen(QPen(QBrush(edge), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.restore();
}

void recess(QPainter& p, const QRectF& r, qreal radius, const QColor& fill) {
    p.save();
    // Light lip below and right, dark rim above and left.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 22));
    p.drawRoundedRect(r.adjusted(0, 0, 1, 1), radius, radius);
    p.setBrush(colour::shadow);
    p.drawRoundedRect(r.adjusted(-1, -1, 0, 0), radius, radius);
    p.setBrush(fill);
    p.drawRoundedRect(r, radius, radius);
    // Inner shadow along the top.
    QPainterPath shape;
    shape.addRoundedRect(r, radius, radius);
    p.setClipPath(shape);
    QLinearGradient g(r.topLeft(), r.topLeft() + QPointF(0, std::min<qreal>(6, r.height() / 3)));
    g.setColorAt(0, QColor(0, 0, 0, 120));
    g.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(QRectF(r.left(), r.top(), r.width(), 6), g);
    p.restore();
}

void raised(QPainter& p, const QRectF& r, qreal radius, const QColor& base) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawRoundedRect(r.translated(0, 1), radius, radius);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, base.lighter(135));
    g.setColorAt(0.45, base);
    g.setColorAt(1, base.darker(130));
    p.setBrush(g);
    p.drawRoundedRect(r, radius, radius);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.restore();
}

void text(QPainter& p, const QRectF& r, const QString& s, const QFont& f, const QColor& c,
          int flags) {
    p.save();
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, flags, s);
    p.restore();
}

void spacedText(QPainter& p, const QRectF& r, const QString& s, const QFont& f, const QColor& c,
                qreal spacing, int flags) {
    QFont spaced = f;
    spaced.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    // Letter spacing also follows the last letter; shift back by half of it so that the
    // word stays centred.
    const qreal shift = (flags & Qt::AlignHCenter) ? spacing / 2 : 0;
    text(p, r.translated(shift, 0), s, spaced, c, flags);
}

namespace {

void bezelRing(QPainter& p, const QPointF& c, qreal outer, qreal inner) {
    // A dark seat around the button, then a brushed ring lit from above.
    p.setPen(Qt::NoPen);
    p.setBrush(colour::shadow);
    p.drawEllipse(c, outer, outer);
    QLinearGradient g(c - QPointF(0, outer), c + QPointF(0, outer));
    g.setColorAt(0, QColor(0x9a, 0xa1, 0xad));
    g.setColorAt(0.5, QColor(0x4a, 0x50, 0x5a));
    g.setColorAt(1, QColor(0x22, 0x25, 0x2b));
    p.setBrush(g);
    p.drawEllipse(c, outer - 1, outer - 1);
    p.setBrush(colour::shadow);
    p.drawEllipse(c, inner + 0.8, inner + 0.8);
}

}  // namespace

QColor glyphOnLit(const QColor& led) {
    const qreal luma = (0.299 * led.red() + 0.587 * led.green() + 0.114 * led.blue()) / 255.0;
    return luma > 0.7 ? led.darker(380) : QColor(0xff, 0xff, 0xff);
}

void roundButton(QPainter& p, const QRectF& box, const QColor& ledColour, Light light,
                 const Glyph& glyph, qreal bezel) {
    p.save();
    const QPointF c = box.center();
    const qreal outer = box.width() / 2.0;
    const qreal face = outer - bezel;
    const bool lit = light == Light::Lit;
    bezelRing(p, c, outer, face);

    QRadialGradient g(c - QPointF(0, face * 0.35), face * 1.3);
    if (lit) {
        g.setColorAt(0, blend(ledColour, Qt::white, 0.45));
        g.setColorAt(0.55, ledColour);
        g.setColorAt(1, ledColour.darker(190));
    } else {
        g.setColorAt(0, QColor(0x3a, 0x3f, 0x48));
        g.setColorAt(1, QColor(0x16, 0x18, 0x1c));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(c, face, face);
    // The LED ring at the rim of the face.
    p.setBrush(Qt::NoBrush);
    if (light == Light::Ring) {
        p.setPen(QPen(withAlpha(ledColour, 110), 2.2));
        p.drawEllipse(c, face - 1.1, face - 1.1);
        p.setPen(QPen(blend(ledColour, Qt::white, 0.3), 1.0));
        p.drawEllipse(c, face - 0.9, face - 0.9);
    } else {
        p.setPen(QPen(lit ? blend(ledColour, Qt::white, 0.6) : withAlpha(ledColour, 70), 1.0));
        p.drawEllipse(c, face - 0.5, face - 0.5);
    }
    // Specular highlight on the upper half.
    QLinearGradient shine(c - QPointF(0, face), c);
    shine.setColorAt(0, QColor(255, 255, 255, lit ? 90 : 40));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(QRectF(c.x() - face * 0.72, c.y() - face * 0.92, face * 1.44, face * 0.95));

    const QRectF glyphBox(c.x() - face, c.y() - face, 2 * face, 2 * face);
    glyph(p, glyphBox, lit ? glyphOnLit(ledColour) : ledColour);
    p.restore();
}

void vinyl(QPainter& p, const QPointF& c, qreal radius, qreal labelRadius, const QColor& label1,
           const QColor& label2) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x0a, 0x0a, 0x0c));
    p.drawEllipse(c, radius, radius);
    // Grooves, with two wider gaps between tracks.
    p.setBrush(Qt::NoBrush);
    const qreal step = std::max<qreal>(1.5, radius / 40);
    for (qreal r = labelRadius + 3; r < radius - 1; r += step) {
        const qreal f = (r - labelRadius) / (radius - labelRadius);
        const bool gap = std::fabs(f - 0.35) < 0.02 || std::fabs(f - 0.68) < 0.02;
        p.setPen(QPen(gap ? QColor(0x26, 0x27, 0x2b) : QColor(0x17, 0x18, 0x1b), 0.7));
        p.drawEllipse(c, r, r);
    }
    QConicalGradient sheen(c, 45);
    sheen.setColorAt(0.00, QColor(255, 255, 255, 36));
    sheen.setColorAt(0.10, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.40, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.50, QColor(255, 255, 255, 32));
    sheen.setColorAt(0.60, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.90, QColor(255, 255, 255, 0));
    sheen.setColorAt(1.00, QColor(255, 255, 255, 36));
    QPainterPath ring;
    ring.addEllipse(c, radius - 0.5, radius - 0.5);
    ring.addEllipse(c, labelRadius + 1, labelRadius + 1);
    p.fillPath(ring, sheen);

    // Label: one colour, or two halves split on the diagonal.
    QPainterPath label;
    label.addEllipse(c, labelRadius, labelRadius);
    auto shade = [&](const QColor& col) {
        QRadialGradient g(c - QPointF(labelRadius * 0.3, labelRadius * 0.35), labelRadius * 1.4);
        g.setColorAt(0, blend(col, Qt::white, 0.35));
        g.setColorAt(0.6, col);
        g.setColorAt(1, col.darker(170));
        return g;
    };
    p.fillPath(label, shade(label1));
    if (label2 != label1) {
        QPainterPath half;
        half.moveTo(c + QPointF(labelRadius, -labelRadius) * 1.5);
        half.lineTo(c + QPointF(labelRadius, labelRadius) * 1.5);
        half.lineTo(c + QPointF(-labelRadius, labelRadius) * 1.5);
        half.closeSubpath();
        p.fillPath(label.intersected(half), shade(label2));
    }
    p.setPen(QPen(withAlpha(colour::shadow, 150), 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, labelRadius, labelRadius);
    p.setPen(QPen(withAlpha(colour::shadow, 90), 0.8));
    p.drawEllipse(c, labelRadius * 0.8, labelRadius * 0.8);
    // Spindle.
    const qreal s = std::max<qreal>(1.5, labelRadius * 0.15);
    QRadialGradient spindle(c - QPointF(s / 3, s / 3), s * 1.3);
    spindle.setColorAt(0, QColor(0xf2, 0xf4, 0xf7));
    spindle.setColorAt(1, QColor(0x6a, 0x70, 0x7a));
    p.setPen(QPen(colour::shadow, 0.8));
    p.setBrush(spindle);
    p.drawEllipse(c, s, s);
    p.restore();
}

void squareKey(QPainter& p, const QRectF& box, const QColor& ledColour, bool lit,
               const Glyph& glyph, qreal radius) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(colour::shadow);
    p.drawRoundedRect(box, radius + 1, radius + 1);
    const QRectF cap = box.adjusted(1, 1, -1, -1);
    QLinearGradient g(cap.topLeft(), cap.bottomLeft());
    if (lit) {
        g.setColorAt(0, blend(ledColour, QColor(0x20, 0x24, 0x2a), 0.35));
        g.setColorAt(1, blend(ledColour, QColor(0x10, 0x12, 0x16), 0.65));
    } else {
        g.setColorAt(0, QColor(0x40, 0x45, 0x4f));
        g.setColorAt(1, QColor(0x1d, 0x20, 0x25));
    }
    p.setBrush(g);
    p.drawRoundedRect(cap, radius, radius);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(lit ? blend(ledColour, Qt::white, 0.5) : QColor(255, 255, 255, 36), 1));
    p.drawRoundedRect(cap.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    glyph(p, cap, lit ? blend(ledColour, Qt::white, 0.75) : colour::label);
    p.restore();
}

void lamp(QPainter& p, const QPointF& centre, qreal radius, const QColor& c, bool lit) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(colour::shadow);
    p.drawEllipse(centre, radius, radius);
    QRadialGradient g(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.2);
    if (lit) {
        g.setColorAt(0, blend(c, Qt::white, 0.8));
        g.setColorAt(0.45, c);
        g.setColorAt(1, c.darker(160));
    } else {
        g.setColorAt(0, blend(c.darker(300), QColor(0x50, 0x50, 0x50), 0.5));
        g.setColorAt(1, c.darker(600));
    }
    p.setBrush(g);
    p.drawEllipse(centre, radius - 1, radius - 1);
    p.restore();
}

void faderCap(QPainter& p, const QRect& box, Qt::Orientation travel, const QColor& bed) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(box, bed);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF r = QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(colour::shadow, 1));
    QLinearGradient body(r.topLeft(), travel == Qt::Vertical ? r.bottomLeft() : r.topRight());
    body.setColorAt(0, QColor(0x6c, 0x73, 0x7f));
    body.setColorAt(0.45, QColor(0x3b, 0x40, 0x49));
    body.setColorAt(0.55, QColor(0x2c, 0x30, 0x37));
    body.setColorAt(1, QColor(0x4c, 0x52, 0x5c));
    p.setBrush(body);
    p.drawRoundedRect(r, 2.5, 2.5);
    // Ribs across the grip on either side of the index line.
    const QRectF in = r.adjusted(2, 2, -2, -2);
    if (travel == Qt::Vertical) {
        const qreal mid = in.center().y();
        for (qreal d : {-6.0, -3.5, 3.5, 6.0}) {
            p.setPen(QPen(QColor(0, 0, 0, 120), 1));
            p.drawLine(QPointF(in.left() + 1, mid + d), QPointF(in.right() - 1, mid + d));
            p.setPen(QPen(QColor(255, 255, 255, 40), 1));
            p.drawLine(QPointF(in.left() + 1, mid + d + 1), QPointF(in.right() - 1, mid + d + 1));
        }
        p.setPen(QPen(QColor(0xf4, 0xf7, 0xfb), 2));
        p.drawLine(QPointF(in.left(), mid), QPointF(in.right(), mid));
    } else {
        const qreal mid = in.center().x();
        for (qreal d : {-7.0, -4.5, 4.5, 7.0}) {
            p.setPen(QPen(QColor(0, 0, 0, 120), 1));
            p.drawLine(QPointF(mid + d, in.top() + 2), QPointF(mid + d, in.bottom() - 2));
            p.setPen(QPen(QColor(255, 255, 255, 40), 1));
            p.drawLine(QPointF(mid + d + 1, in.top() + 2), QPointF(mid + d + 1, in.bottom() - 2));
        }
        p.setPen(QPen(QColor(0xf4, 0xf7, 0xfb), 2));
        p.drawLine(QPointF(mid, in.top()), QPointF(mid, in.bottom()));
    }
    p.restore();
}

}  // namespace art
