#pragma once

// The tooltip balloon without a window: when it is pending, shown or hidden, how wide it
// is and where it goes, and which pixels of the balloon artwork make its shape. Qt-free,
// so that the rules run on virtual time in tests; `Tooltip` (Tooltip.h) is the window.
//
// Main thread only.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace spinlorex {

// ---- The balloon artwork and its shape ----

// The frame picture: a rounded box in rows 0..22 whose column 22 is stretched to the
// text's width, a tail towards the bottom-left corner in rows 23..29; the top-left pixel
// holds the key colour that is cut away.
inline constexpr int32_t kBalloonFrameWidth = 29;
inline constexpr int32_t kBalloonHeight = 30;
inline constexpr int32_t kBalloonBoxRows = 23;
inline constexpr int32_t kBalloonStretchColumn = 22;
inline constexpr int32_t kBalloonRightColumns = 6;  // columns 23..28, kept at the right edge

// Half-open rectangle: left <= x < right, top <= y < bottom.
struct RegionRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    constexpr bool operator==(const RegionRect&) const = default;
};

// A 32-bit 0xAARRGGBB pixel as a 16-bit 0RRRRRGGGGGBBBBB one (each component's top five
// bits).
constexpr uint16_t toRgb555(uint32_t argb) {
    return static_cast<uint16_t>(((argb >> 19) & 0x1F) << 10 | ((argb >> 11) & 0x1F) << 5 |
                                 ((argb >> 3) & 0x1F));
}

// The runs of non-key pixels of columns a..b-1 of a 16-bit picture (`width` x `height`,
// rows from the top), one list of one-row rectangles. The key is the top-left pixel; two
// pixels count as equal when their lowest 12 bits are equal. A run that reaches column
// b - 1 ends at b; one that would start on column b - 1 is dropped.
std::vector<RegionRect> keyedRuns(std::span<const uint16_t> pixels, int32_t width, int32_t height,
                                  int32_t a, int32_t b);

// The balloon's shape at `width` (29 or more) from the frame's 16-bit pixels (29 x 30):
// the frame's shape in columns 0..21, the rectangle (22, 0)-(width - 6, 23), and the
// frame's shape in columns 23..28 moved to width - 6 .. width - 1.
std::vector<RegionRect> balloonRuns(std::span<const uint16_t> framePixels, int32_t width);

// ---- Size and place ----

struct BalloonSize {
    int32_t margin = 0;  // the text's inset from the top-left corner
    int32_t width = 0;   // at least the frame's 29
    constexpr bool operator==(const BalloonSize&) const = default;
};

// The balloon around a one-line text of textWidth x textHeight pixels: the text is centred
// in the 23-pixel box, with the same inset on the left.
BalloonSize balloonSize(int32_t textWidth, int32_t textHeight);

struct BalloonPlace {
    int32_t x = 0, y = 0;
    constexpr bool operator==(const BalloonPlace&) const = default;
};
// The balloon's top-left corner for the mouse at (x, y): the tail's tip ends next to it.
constexpr BalloonPlace balloonPlace(int32_t x, int32_t y) { return {x - 2, y - 31}; }

// ---- The state machine ----

// What the state machine asks of its window and clock.
class TooltipHost {
public:
    virtual ~TooltipHost() = default;
    // The one-shot 500 ms wait before showing; starting replaces a running one. When it
    // ends the host calls TooltipCore::onTimer().
    virtual void startTimer(int32_t milliseconds) = 0;
    virtual void stopTimer() = 0;
    // The text's one-line extent in the balloon's font.
    virtual void measure(std::string_view text, int32_t& width, int32_t& height) = 0;
    // Moves the balloon window, shown or not, leaving its visibility alone.
    virtual void place(BalloonPlace place, int32_t width) = 0;
    // A shown balloon repaints at its new place.
    virtual void repaint() = 0;
    // Shape the window to `size`, compose its picture with `text` and show it without
    // activating it.
    virtual void present(const BalloonSize& size, std::string_view text) = 0;
    // Hide the window and drop its shape.
    virtual void conceal() = 0;
};

class TooltipCore {
public:
    enum class State { Idle, Pending, Shown };
    static constexpr int32_t kDelayMs = 500;

    explicit TooltipCore(TooltipHost& host) : host_(host) {}

    // The mouse rests at (x, y) (screen coordinates) over control `id` whose tooltip is
    // `text` (-1: no control). A new control with a text restarts the wait; the shown
    // balloon of the same control follows the mouse; a control without text, or none,
    // hides it.
    void update(int32_t x, int32_t y, int32_t id, std::string_view text);
    // A mouse button went down or up: hide whatever is pending or shown.
    void hide();
    // The wait ended: show the pending text.
    void onTimer();

    State state() const { return state_; }
    int32_t currentId() const { return currentId_; }
    const std::string& text() const { return text_; }
    // The size of the last balloon shown; width 0 before the first.
    const BalloonSize& size() const { return size_; }

private:
    void show();

    TooltipHost& host_;
    State state_ = State::Idle;
    int32_t currentId_ = -1;
    std::string text_;
    BalloonSize size_;
};

}  // namespace spinlorex
