#pragma once

// Where the moving parts of the desk are drawn: the disc's hand and cue mark (or a
// straight bar's line), the vertical sliders' knobs and the crossfader's knob. Pure
// integer geometry, Qt-free, so the rules can be checked without a picture.

#include <cstdint>

namespace spinlorex::display {

struct Point {
    int32_t x = 0, y = 0;
    constexpr bool operator==(const Point&) const = default;
};

// Half-open: left <= x < right, top <= y < bottom.
struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;

    constexpr bool contains(Point p) const {
        return left <= p.x && p.x < right && top <= p.y && p.y < bottom;
    }
    constexpr bool empty() const { return right <= left || bottom <= top; }
    constexpr int32_t width() const { return right - left; }
    constexpr int32_t height() const { return bottom - top; }
    // The bounding box of both (an empty one is ignored).
    Rect united(const Rect& other) const;
    constexpr bool operator==(const Rect&) const = default;
};

// ---- Disc (a positive radius) ----

// The hand's end point relative to the centre: up at position 0, clockwise once per
// track; (0, 0) without a position (negative).
Point handEnd(float position, int32_t radius);

// What must be restored before the hand moves from `oldEnd` to `newEnd` (both relative to
// `centre`): the box around the centre and both end points, one pixel wider and taller.
Rect handEraseRect(Point centre, Point oldEnd, Point newEnd);

// The cue mark: the outer eighth of the radius at the cue point's angle, drawn from
// `inner` toward `outer`.
struct CueMark {
    Point inner, outer;
};
CueMark cueMark(Point centre, float cuePoint, int32_t radius);

// Whether the hand's refresh must redraw the cue mark: only when the restored box holds
// its inner point (the box always holds the centre, so it then holds every part of the
// mark it touched).
inline bool cueMarkTouched(const CueMark& mark, const Rect& erased) {
    return erased.contains(mark.inner);
}

// ---- Straight bar (a negative radius): a vertical line moves from left to right ----

// The line's number: 0 without a position, else n with the line at x = left + n - 1.
int32_t barLine(int32_t left, int32_t right, float position);

// The columns to restore when the line goes from `oldLine` to `newLine` (numbers from
// barLine), over the bar's full height; empty when neither is drawn.
Rect barStrip(const Rect& bar, int32_t oldLine, int32_t newLine);

// The column of the cue mark (upper half of the bar).
int32_t barCueX(int32_t left, int32_t right, float cuePoint);

// ---- Knobs ----

// The top of a vertical slider's knob for a slider position 0..256 (0 = top of travel).
int32_t sliderKnobY(int32_t trackTop, int32_t trackBottom, int32_t knobHeight, int32_t position);

// The left of the crossfader's knob for a crossfader value 0..384.
int32_t crossfaderKnobX(int32_t trackLeft, int32_t trackRight, int32_t knobWidth, int32_t value);

}  // namespace spinlorex::display
