#include "desk/display/DeskGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace spinlorex::display {
namespace {

// trunc() of a sine or cosine times the radius; finite by construction.
int32_t scaled(double unit, int32_t radius) { return static_cast<int32_t>(unit * radius); }

int32_t clampToInt(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// trunc(length x fraction) for fractions that may be anything a deck reports.
int32_t fractionOf(int32_t length, float fraction) {
    const double v = static_cast<double>(length) * fraction;
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::clamp(v, -2.0e9, 2.0e9));
}

// The point at that fraction of a turn, clockwise from 12 o'clock.
Point pointAt(double fraction, int32_t radius) {
    const double a = 2.0 * std::numbers::pi * fraction;
    if (!std::isfinite(a)) return {};
    return {scaled(std::sin(a), radius), -scaled(std::cos(a), radius)};
}

}  // namespace

Rect Rect::united(const Rect& other) const {
    if (other.empty()) return *this;
    if (empty()) return other;
    return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
            std::max(bottom, other.bottom)};
}

Point handEnd(float position, int32_t radius) {
    if (!(position >= 0.0f)) return {};
    return pointAt(position, radius);
}

Rect handEraseRect(Point centre, Point oldEnd, Point newEnd) {
    return {centre.x + std::min({0, oldEnd.x, newEnd.x}),
            centre.y + std::min({0, oldEnd.y, newEnd.y}),
            centre.x + std::max({0, oldEnd.x, newEnd.x}) + 1,
            centre.y + std::max({0, oldEnd.y, newEnd.y}) + 1};
}

CueMark cueMark(Point centre, float cuePoint, int32_t radius) {
    const Point end = pointAt(cuePoint, radius);
    // Integer division toward zero, as the mark has always been placed.
    return {{centre.x + end.x * 7 / 8, centre.y + end.y * 7 / 8},
            {centre.x + end.x, centre.y + end.y}};
}

int32_t barLine(int32_t left, int32_t right, float position) {
    if (!(position >= 0.0f)) return 0;
    return clampToInt(int64_t{fractionOf(right - left, position)} + 1);
}

Rect barStrip(const Rect& bar, int32_t oldLine, int32_t newLine) {
    Rect strip;
    for (int32_t line : {oldLine, newLine}) {
        if (line == 0) continue;
        const int32_t x = clampToInt(int64_t{bar.left} + line - 1);
        strip = strip.united({x, bar.top, x + 1, bar.bottom});
    }
    return strip;
}

int32_t barCueX(int32_t left, int32_t right, float cuePoint) {
    return clampToInt(int64_t{left} + fractionOf(right - left, cuePoint));
}

int32_t sliderKnobY(int32_t trackTop, int32_t trackBottom, int32_t knobHeight, int32_t position) {
    const int64_t travel = int64_t{trackBottom} - knobHeight - trackTop;
    return clampToInt(trackTop + position * travel / 256);
}

int32_t crossfaderKnobX(int32_t trackLeft, int32_t trackRight, int32_t knobWidth, int32_t value) {
    const int64_t travel = int64_t{trackRight} - knobWidth - trackLeft;
    return clampToInt(trackLeft + value * travel / 384);
}

}  // namespace spinlorex::display
