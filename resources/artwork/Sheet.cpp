// The contact sheet of the documentation: every picture with its file name, small ones
// enlarged, pictures with transparency over a checkerboard.

#include "Artwork.h"
#include "Paint.h"

#include <algorithm>

namespace art {

namespace {

class Sheet {
public:
    explicit Sheet(QImage& image) : p_(&image) {
        prepare(p_);
        p_.fillRect(image.rect(), QColor(0x3b, 0x3f, 0x47));
    }

    // Draws `picture` enlarged by `scale` with its caption above; returns the bottom edge.
    int place(int x, int y, const QImage& picture, qreal scale, const QString& caption) {
        const QString label =
            scale == 1 ? caption : QStringLiteral("%1  (x%2)").arg(caption).arg(scale);
        text(p_, QRectF(x, y, 600, 16), label, font(10, true), QColor(0xe8, 0xec, 0xf2),
             Qt::AlignLeft | Qt::AlignVCenter);
        const QRect target(x, y + 18, int(picture.width() * scale), int(picture.height() * scale));
        if (picture.hasAlphaChannel()) checkerboard(target);
        p_.save();
        p_.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p_.drawImage(target, picture);
        p_.restore();
        p_.setPen(QPen(QColor(0, 0, 0, 120), 1));
        p_.setBrush(Qt::NoBrush);
        p_.drawRect(QRectF(target).adjusted(-0.5, -0.5, 0.5, 0.5));
        return target.bottom() + 1;
    }

    void title(const QString& s) {
        text(p_, QRectF(20, 8, 1200, 30), s, font(18, true), Qt::white,
             Qt::AlignLeft | Qt::AlignVCenter);
    }

    // A mark on the left of the skin picture where its desk ends and the looks begin.
    void rowMark(int x, int y, const QString& s) {
        p_.setPen(QPen(QColor(0xff, 0xd0, 0x40), 1, Qt::DashLine));
        p_.drawLine(QPointF(x - 14, y + 0.5), QPointF(x - 2, y + 0.5));
        p_.save();
        p_.translate(x - 6, y + 4);
        p_.rotate(90);
        text(p_, QRectF(0, -5, 230, 10), s, font(9, true), QColor(0xff, 0xd0, 0x40),
             Qt::AlignLeft | Qt::AlignVCenter);
        p_.restore();
    }

private:
    void checkerboard(const QRect& r) {
        p_.save();
        p_.setRenderHint(QPainter::Antialiasing, false);
        for (int y = r.top(); y <= r.bottom(); y += 8)
            for (int x = r.left(); x <= r.right(); x += 8)
                p_.fillRect(QRect(x, y, 8, 8).intersected(r),
                            ((x - r.left()) / 8 + (y - r.top()) / 8) % 2
                                ? QColor(0x9a, 0x9a, 0x9a)
                                : QColor(0xc8, 0xc8, 0xc8));
        p_.restore();
    }

    QPainter p_;
};

// A balloon stretched around a text the way the tooltip window builds it, its key colour
// shown as the desk behind it.
QImage balloonSample(const QImage& frame, const QString& words) {
    const QFont f = font(12);
    const QFontMetrics m(f);
    const int margin = std::max(0, (23 - m.height()) / 2);
    const int width = std::max(29, m.horizontalAdvance(words) + 2 * margin);
    QImage out(width, 30, QImage::Format_RGB32);
    out.fill(frame.pixel(0, 0));
    {
        QPainter p(&out);
        p.drawImage(QPoint(0, 0), frame.copy(0, 0, 22, 30));
        p.drawImage(QPoint(width - 6, 0), frame.copy(23, 0, 6, 30));
        p.drawImage(QRect(22, 0, width - 28, 23), frame.copy(22, 0, 1, 23));
        text(p, QRectF(margin, margin, width, m.height()), words, f, Qt::black,
             Qt::AlignLeft | Qt::AlignTop);
    }
    const QRgb key = frame.pixel(0, 0);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            if (out.pixel(x, y) == key) out.setPixel(x, y, colour::backTop.rgb());
    return out;
}

const QImage* find(const QList<NamedPicture>& pictures, const QString& name) {
    for (const NamedPicture& picture : pictures)
        if (picture.name == name) return &picture.image;
    return nullptr;
}

}  // namespace

QImage contactSheet(const QList<NamedPicture>& pictures) {
    QImage image(1300, 1400, QImage::Format_RGB32);
    Sheet sheet(image);
    sheet.title(QStringLiteral("Spinlorex built-in artwork, drawn by spinlorex-artwork"));
    auto at = [&](int x, int y, const QString& name, qreal scale) {
        const QImage* picture = find(pictures, name);
        return picture ? sheet.place(x, y, *picture, scale, name) : y;
    };
    const int left = 36, right = 870;
    at(left, 50, "skin/default.png", 1);
    sheet.rowMark(left, 50 + 18 + 600, QStringLiteral("rows 600..829: other looks"));
    if (const QImage* skin = find(pictures, "skin/default.png"))
        sheet.place(
            right, 50,
            deskPreview(*skin).scaled(400, 300, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 1,
            QStringLiteral("desk as composed at start-up (half size)"));
    at(right, 390, "startup.png", 1);
    int y = 730;
    at(right, y, "icon.png", 1);
    sheet.place(right + 90, y, icon(32), 1, QStringLiteral("(32)"));
    at(right + 150, y, "tooltip.png", 4);
    y = 880;
    at(right, y, "cursors/drag.png", 2);
    at(right + 140, y, "cursors/drop.png", 2);
    at(right + 280, y, "cursors/nodrop.png", 2);

    y = 920 + 50;
    at(left, y, "skin/buttons.png", 1.5);
    y += 18 + 72 + 20;
    int x = left;
    for (int i = 0; i < 3; ++i, x += 87 * 1.5 + 30)
        at(x, y, QStringLiteral("sound/card%1.png").arg(i), 1.5);
    for (int i = 0; i < 3; ++i, x += 105 * 1.5 + 30)
        at(x, y, QStringLiteral("sound/output%1.png").arg(i), 1.5);
    if (const QImage* frame = find(pictures, "tooltip.png"))
        sheet.place(x, y, balloonSample(*frame, QStringLiteral("Reset Pitch")), 2,
                    QStringLiteral("a balloon"));
    y += 18 + 135 + 24;
    at(left, y, "cursors/drop-several.png", 2);
    at(left + 200, y, "cursors/nodrop-several.png", 2);
    at(left + 400, y, "library/icons.png", 4);
    return image;
}

}  // namespace art
