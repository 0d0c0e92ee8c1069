#pragma once

// Text into a rectangle, the way the desk wants it: lines broken at CR LF, LF or CR,
// optional word breaks, horizontal and vertical alignment, an ellipsis where the text
// does not fit, '&' prefixes, and a measuring mode that returns the rectangle the text
// needs. One helper for every panel, title and option line of the desk.
//
// Main thread only (the GUI application's font database).

#include <cstdint>

#include <QtCore/QRect>
#include <QtCore/QStringView>

class QFont;
class QPainter;

namespace spinlorex::text {

using TextFlags = uint32_t;

// Left and top alignment, a single line per paragraph and prefix processing are the
// defaults (value 0).
inline constexpr TextFlags kLeft = 0x0;
inline constexpr TextFlags kTop = 0x0;
inline constexpr TextFlags kCentre = 0x1;       // each line centred horizontally
inline constexpr TextFlags kRight = 0x2;        // each line against the right edge
inline constexpr TextFlags kVCentre = 0x4;      // the block centred vertically
inline constexpr TextFlags kBottom = 0x8;       // the block against the bottom edge
inline constexpr TextFlags kWordBreak = 0x10;   // lines wrap at word boundaries
inline constexpr TextFlags kSingleLine = 0x20;  // line breaks show as blanks, one line
inline constexpr TextFlags kNoClip = 0x100;     // may draw outside the rectangle
inline constexpr TextFlags kCalcRect = 0x400;   // measure only (drawText draws nothing)
inline constexpr TextFlags kNoPrefix = 0x800;   // '&' is an ordinary character
inline constexpr TextFlags kEndEllipsis =
    0x8000;  // a line (or the text) that does not fit ends in an ellipsis

// Without kNoPrefix, "&&" shows one '&' and '&' before any other character is dropped
// and that character is underlined (a trailing '&' is dropped).

// The rectangle the text needs: left and top of `rect`; the height of all lines; the width
// of the widest line, or with kWordBreak the width of `rect` unless a line is wider.
// Alignment flags do not move it. Empty text needs a rectangle of height 0.
QRect measureText(const QFont& font, const QRect& rect, QStringView text, TextFlags flags);

// Draws with the painter's font and pen (text background transparent) and returns the
// rectangle the lines occupy after alignment. Clipped to `rect` unless kNoClip. With
// kCalcRect nothing is drawn and the result is measureText's.
QRect drawText(QPainter& painter, const QRect& rect, QStringView text, TextFlags flags);

}  // namespace spinlorex::text
