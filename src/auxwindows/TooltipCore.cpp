#include "auxwindows/TooltipCore.h"

#include <algorithm>

namespace spinlorex {

namespace {

constexpr uint16_t kCompared = 0x0FFF;  // the lowest 12 bits decide equality

bool sameColour(uint16_t a, uint16_t b) { return ((a ^ b) & kCompared) == 0; }

}  // namespace

std::vector<RegionRect> keyedRuns(std::span<const uint16_t> pixels, int32_t width, int32_t height,
                                  int32_t a, int32_t b) {
    std::vector<RegionRect> runs;
    if (width <= 0 || height <= 0 ||
        pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height))
        return runs;
    a = std::max(a, 0);
    b = std::min(b, width);
    const uint16_t key = pixels[0];
    for (int32_t y = 0; y < height; ++y) {
        const uint16_t* row = &pixels[static_cast<size_t>(y) * static_cast<size_t>(width)];
        int32_t x = a;
        while (x < b) {
            while (x < b && sameColour(row[x], key)) ++x;
            if (x >= b - 1) break;  // nothing left, or a run starting on the last column
            const int32_t start = x;
            while (x < b && !sameColour(row[x], key)) ++x;
            runs.push_back({start, y, x, y + 1});
        }
    }
    return runs;
}

std::vector<RegionRect> balloonRuns(std::span<const uint16_t> framePixels, int32_t width) {
    width = std::max(width, kBalloonFrameWidth);
    std::vector<RegionRect> runs =
        keyedRuns(framePixels, kBalloonFrameWidth, kBalloonHeight, 0, kBalloonStretchColumn);
    runs.push_back({kBalloonStretchColumn, 0, width - kBalloonRightColumns, kBalloonBoxRows});
    const int32_t shift = width - kBalloonFrameWidth;
    for (RegionRect r : keyedRuns(framePixels, kBalloonFrameWidth, kBalloonHeight,
                                  kBalloonStretchColumn + 1, kBalloonFrameWidth))
        runs.push_back({r.left + shift, r.top, r.right + shift, r.bottom});
    return runs;
}

BalloonSize balloonSize(int32_t textWidth, int32_t textHeight) {
    BalloonSize size;
    size.margin = std::max((kBalloonBoxRows - textHeight) / 2, 0);
    size.width = std::max(textWidth + 2 * size.margin, kBalloonFrameWidth);
    return size;
}

void TooltipCore::update(int32_t x, int32_t y, int32_t id, std::string_view text) {
    if (id < 0 || (id != currentId_ && text.empty())) {
        hide();
        return;
    }
    host_.place(balloonPlace(x, y), size_.width);
    if (state_ == State::Shown && id == currentId_) {
        host_.repaint();
        return;
    }
    // A new control, or the mouse still moving over a pending one: wait afresh.
    hide();
    host_.startTimer(kDelayMs);
    currentId_ = id;
    text_ = text;
    state_ = State::Pending;
}

void TooltipCore::onTimer() {
    host_.stopTimer();
    show();
}

void TooltipCore::show() {
    if (state_ == State::Shown) hide();  // which forgets the control, so nothing shows
    if (text_.empty()) {
        state_ = State::Idle;
        currentId_ = -1;
        return;
    }
    int32_t textWidth = 0, textHeight = 0;
    host_.measure(text_, textWidth, textHeight);
    size_ = balloonSize(textWidth, textHeight);
    host_.present(size_, text_);
    state_ = State::Shown;
}

void TooltipCore::hide() {
    switch (state_) {
        case State::Pending:
            host_.stopTimer();
            break;
        case State::Shown:
            host_.conceal();
            break;
        case State::Idle:
            return;
    }
    state_ = State::Idle;
    currentId_ = -1;
    text_.clear();
}

}  // namespace spinlorex
