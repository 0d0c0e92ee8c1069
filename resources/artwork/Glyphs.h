#pragma once

// Pictograms of the desk and the library, each drawn centred in a box in one colour.
// They are designed on a 16 x 16 grid and scaled to the box's shorter side.

#include <QtCore/QRectF>
#include <QtGui/QColor>

class QPainter;

namespace art::glyph {

// Transport
void play(QPainter& p, const QRectF& box, const QColor& c);
void pause(QPainter& p, const QRectF& box, const QColor& c);
void stop(QPainter& p, const QRectF& box, const QColor& c);
void cue(QPainter& p, const QRectF& box, const QColor& c);    // the word CUE
void magic(QPainter& p, const QRectF& box, const QColor& c);  // sparkle and MAGIC
void deckNumber(QPainter& p, const QRectF& box, const QColor& c, int deck);
void automix(QPainter& p, const QRectF& box, const QColor& c);  // two crossing arrows

// Window
void minimize(QPainter& p, const QRectF& box, const QColor& c);
void fullScreen(QPainter& p, const QRectF& box, const QColor& c);
void close(QPainter& p, const QRectF& box, const QColor& c);

// Panels and library
void folder(QPainter& p, const QRectF& box, const QColor& c);
void magnifier(QPainter& p, const QRectF& box, const QColor& c);
void list(QPainter& p, const QRectF& box, const QColor& c);
void recordDot(QPainter& p, const QRectF& box, const QColor& c);
void clock(QPainter& p, const QRectF& box, const QColor& c);
void gear(QPainter& p, const QRectF& box, const QColor& c);
void house(QPainter& p, const QRectF& box, const QColor& c);
void housePin(QPainter& p, const QRectF& box, const QColor& c);
void desktop(QPainter& p, const QRectF& box, const QColor& c);
void shuffle(QPainter& p, const QRectF& box, const QColor& c);
void star(QPainter& p, const QRectF& box, const QColor& c);
void floppy(QPainter& p, const QRectF& box, const QColor& c);
void hardDrive(QPainter& p, const QRectF& box, const QColor& c);
void compactDisc(QPainter& p, const QRectF& box, const QColor& c);
void compactDiscDelete(QPainter& p, const QRectF& box, const QColor& c);
void speaker(QPainter& p, const QRectF& box, const QColor& c);

}  // namespace art::glyph
