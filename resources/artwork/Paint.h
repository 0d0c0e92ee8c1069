#pragma once

// Shared drawing vocabulary of the artwork: the palette, fonts, metal and recessed
// surfaces, round buttons, lamps and fader caps.

#include <QtGui/QColor>
#include <QtGui/QFont>
#include <QtGui/QImage>
#include <QtGui/QPainter>

#include <functional>

namespace art {

// The desk's palette: dark graphite surfaces, near-black displays, one LED colour per
// function.
namespace colour {
inline const QColor backTop{0x23, 0x26, 0x2d};
inline const QColor backBottom{0x17, 0x19, 0x1e};
inline const QColor plate{0x2b, 0x2f, 0x37};
inline const QColor plateLight{0x3d, 0x42, 0x4c};
inline const QColor shadow{0x06, 0x07, 0x09};
inline const QColor display{0x08, 0x0a, 0x0d};
inline const QColor faderBed{0x12, 0x14, 0x18};  // under the slider and crossfader knobs
inline const QColor label{0x8c, 0x95, 0xa5};
inline const QColor labelDim{0x5a, 0x61, 0x6d};
inline const QColor bright{0xe6, 0xec, 0xf5};
inline const QColor deck1{0x2f, 0xd3, 0xff};  // cyan
inline const QColor deck2{0xff, 0x93, 0x2e};  // orange
inline const QColor play{0x3c, 0xe8, 0x7c};
inline const QColor stop{0xff, 0x4b, 0x4b};
inline const QColor cue{0xff, 0xb8, 0x34};
inline const QColor magic{0xc0, 0x7c, 0xff};
inline const QColor accent{0x2f, 0xd3, 0xff};  // lit panel buttons
}  // namespace colour

// Blends a toward b by t (0 gives a, 1 gives b).
QColor blend(const QColor& a, const QColor& b, qreal t);
QColor withAlpha(QColor c, int alpha);

// DejaVu Sans at an exact pixel height (the font is loaded from Debian's fonts-dejavu-core).
QFont font(int pixelSize, bool bold = false);
void loadFonts();

// A painter with antialiasing on, ready for artwork.
void prepare(QPainter& p);

// Copies a rectangle of an image to another place of the same (or another) image.
void copyRect(QImage& to, QPoint at, const QImage& from, const QRect& source);

// A dark brushed-metal surface with fine horizontal grain, reproducible from its seed.
void brushedMetal(QPainter& p, const QRectF& r, qreal radius, const QColor& base, unsigned seed);

// A surface sunk into the desk: dark fill, inner shadow at the top, light lip below.
void recess(QPainter& p, const QRectF& r, qreal radius, const QColor& fill);

// A surface standing out of the desk: gradient fill, highlight on top, shadow below.
void raised(QPainter& p, const QRectF& r, qreal radius, const QColor& base);

// Text centred in a rectangle.
void text(QPainter& p, const QRectF& r, const QString& s, const QFont& f, const QColor& c,
          int flags = Qt::AlignCenter);
// Text with extra letter spacing (engraved labels).
void spacedText(QPainter& p, const QRectF& r, const QString& s, const QFont& f, const QColor& c,
                qreal spacing, int flags = Qt::AlignCenter);

using Glyph = std::function<void(QPainter&, const QRectF&, const QColor&)>;

// How a button shows its LED: dark, its ring alight (a running state), or fully lit.
enum class Light { Off, Ring, Lit };

// A round push button filling the square `box`: metal bezel, dark face, glyph in the
// button's colour; lit, the face glows in that colour. The light never leaves the face,
// whose radius is the box radius less `bezel`.
void roundButton(QPainter& p, const QRectF& box, const QColor& ledColour, Light light,
                 const Glyph& glyph, qreal bezel = 4.0);

// The colour of a glyph on a face lit in `led`: white, or a deep shade on bright LEDs.
QColor glyphOnLit(const QColor& led);

// A vinyl record: grooves, sheen, and a label that is split between two colours (the
// same colour twice for a plain label).
void vinyl(QPainter& p, const QPointF& centre, qreal radius, qreal labelRadius,
           const QColor& label1, const QColor& label2);

// A rectangular key: rounded dark cap; lit, its face glows in `ledColour`.
void squareKey(QPainter& p, const QRectF& box, const QColor& ledColour, bool lit,
               const Glyph& glyph, qreal radius = 3.0);

// An LED lamp: a dark lens when off, a glowing dot with a halo when lit.
void lamp(QPainter& p, const QPointF& centre, qreal radius, const QColor& c, bool lit);

// A fader cap filling `box` (the picture the program moves along a track): a ribbed
// dark cap with a light index line across the direction of travel. Corners show `bed`.
void faderCap(QPainter& p, const QRect& box, Qt::Orientation travel, const QColor& bed);

}  // namespace art
