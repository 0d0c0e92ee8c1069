#include <gtest/gtest.h>

#include <QtGui/QFont>
#include <QtGui/QFontMetrics>
#include <QtGui/QImage>
#include <QtGui/QPainter>

#include "platform/text/TextDraw.h"
#include "support/QtApp.h"

namespace spinlorex::text {
namespace {

class TextDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        font.setPixelSize(14);
        lineHeight = QFontMetrics(font).height();
        image.fill(Qt::black);
    }

    // Draws white text on black and returns the box of the lit pixels.
    QRect inked(const QRect& rect, const QString& text, TextFlags flags) {
        image.fill(Qt::black);
        {
            QPainter p(&image);
            p.setFont(font);
            p.setPen(Qt::white);
            drawText(p, rect, text, flags);
        }
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) > 96) box |= QRect(x, y, 1, 1);
        return box;
    }

    QFont font{QStringLiteral("DejaVu Sans")};
    int lineHeight = 0;
    QImage image{300, 200, QImage::Format_RGB32};
};

TEST_F(TextDrawTest, LineBreaksAndMeasuring) {
    const QRect r(10, 20, 200, 100);
    EXPECT_EQ(measureText(font, r, u"ab\r\ncd", 0).height(), 2 * lineHeight);
    EXPECT_EQ(measureText(font, r, u"ab\ncd\ref", 0).height(), 3 * lineHeight);
    EXPECT_EQ(measureText(font, r, u"ab\r\ncd", kSingleLine).height(), lineHeight);
    EXPECT_EQ(measureText(font, r, u"", 0).height(), 0);

    // A single line measures its own width from the rectangle's corner; a word-broken text
    // keeps the rectangle's width and grows downward.
    const QRect one = measureText(font, r, u"Left: 01:00.0", kCalcRect);
    EXPECT_EQ(one.topLeft(), r.topLeft());
    EXPECT_NEAR(one.width(), QFontMetrics(font).horizontalAdvance(QStringLiteral("Left: 01:00.0")),
                1);
    const QRect wrapped =
        measureText(font, QRect(0, 0, 60, 100), u"Drag a file on the disc", kWordBreak);
    EXPECT_EQ(wrapped.width(), 60);
    EXPECT_GE(wrapped.height(), 3 * lineHeight);
}

TEST_F(TextDrawTest, Prefixes) {
    const QRect r(0, 0, 300, 50);
    EXPECT_EQ(measureText(font, r, u"a&&b", 0).width(),
              measureText(font, r, u"a&b", kNoPrefix).width());
    EXPECT_EQ(measureText(font, r, u"a&b", 0).width(), measureText(font, r, u"ab", 0).width());
    EXPECT_GT(measureText(font, r, u"a&b", kNoPrefix).width(),
              measureText(font, r, u"ab", 0).width());
}

TEST_F(TextDrawTest, AlignmentAndClipping) {
    const QRect r(50, 40, 200, 100);
    const QRect left = inked(r, QStringLiteral("II"), kLeft);
    const QRect right = inked(r, QStringLiteral("II"), kRight);
    const QRect centre = inked(r, QStringLiteral("II"), kCentre | kVCentre);
    EXPECT_LE(std::abs(left.left() - r.left()), 3);
    EXPECT_LE(std::abs(right.right() - r.right()), 3);
    EXPECT_LE(std::abs(centre.center().x() - r.center().x()), 2);
    EXPECT_LE(std::abs(centre.center().y() - r.center().y()), 3);
    EXPECT_LT(left.top(), centre.top());

    // Nothing outside the rectangle, unless asked.
    const QRect small(50, 40, 20, 8);
    EXPECT_TRUE(small.contains(inked(small, QStringLiteral("WWWW\nWWWW"), kLeft)));
    EXPECT_FALSE(small.contains(inked(small, QStringLiteral("WWWW\nWWWW"), kNoClip)));
    EXPECT_TRUE(inked(r, QStringLiteral("x"), kCalcRect).isNull());
}

TEST_F(TextDrawTest, EndEllipsis) {
    const QRect narrow(10, 10, 60, 2 * lineHeight);
    const QString longLine = QStringLiteral("A title far too long for it");
    EXPECT_LE(measureText(font, narrow, longLine, kEndEllipsis | kSingleLine).width(),
              narrow.width());
    EXPECT_GT(measureText(font, narrow, longLine, kSingleLine).width(), narrow.width());
    // Word-broken text that runs past the bottom keeps the lines that fit.
    EXPECT_EQ(measureText(font, narrow, longLine, kWordBreak | kEndEllipsis).height(),
              2 * lineHeight);
    EXPECT_GT(measureText(font, narrow, longLine, kWordBreak).height(), 2 * lineHeight);
}

}  // namespace
}  // namespace spinlorex::text
