// The tooltip's rules on virtual time, over the default skin's controls as the desk finds
// them; the balloon's size; its shape from a frame picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "auxwindows/TooltipCore.h"
#include "desk/VirtualTimers.h"
#include "skin/SkinModel.h"

namespace spinlorex {
namespace {

// A balloon window that remembers what it was asked, on a virtual clock. Text is measured
// at 7 pixels a character and 15 pixels high.
class FakeBalloon : public TooltipHost {
public:
    FakeBalloon() {
        timers.setCallback([this](int) { core.onTimer(); });
    }
    void startTimer(int32_t ms) override { timers.start(kTimer, ms); }
    void stopTimer() override { timers.kill(kTimer); }
    void measure(std::string_view text, int32_t& width, int32_t& height) override {
        width = 7 * static_cast<int32_t>(text.size());
        height = 15;
    }
    void place(BalloonPlace p, int32_t width) override {
        placed = p;
        placedWidth = width;
    }
    void repaint() override { ++repaints; }
    void present(const BalloonSize& size, std::string_view text) override {
        visible = true;
        shownText = text;
        shownSize = size;
        ++presents;
    }
    void conceal() override { visible = false; }

    static constexpr int kTimer = 168;
    VirtualTimers timers;
    TooltipCore core{*this};
    BalloonPlace placed;
    int32_t placedWidth = -1;
    bool visible = false;
    std::string shownText;
    BalloonSize shownSize;
    int repaints = 0, presents = 0;
};

// The desk's side: the control under a desk point, its text, the point on the screen.
class TooltipOnDesk : public ::testing::Test {
protected:
    TooltipOnDesk() { skin.controls = defaultSkinControls(); }
    void moveTo(int32_t x, int32_t y) {
        const int32_t id = hitTest(skin, x, y, 0, 1);
        balloon.core.update(x + kScreenX, y + kScreenY, id, controlTooltip(id));
    }

    static constexpr int32_t kScreenX = 300, kScreenY = 100;  // the desk window's corner
    SkinModel skin;
    FakeBalloon balloon;
    TooltipCore& core = balloon.core;
};

TEST_F(TooltipOnDesk, RestingOnPlayShowsItAfterHalfASecondAndTheBalloonFollowsTheMouse) {
    // play1 and pause1 share the circle around (238, 326): the lower id, "Play", is found.
    moveTo(238, 326);
    EXPECT_EQ(core.state(), TooltipCore::State::Pending);
    EXPECT_EQ(core.currentId(), ctl::Play1);
    balloon.timers.advance(499);
    EXPECT_FALSE(balloon.visible);
    balloon.timers.advance(1);
    ASSERT_TRUE(balloon.visible);
    EXPECT_EQ(core.state(), TooltipCore::State::Shown);
    EXPECT_EQ(balloon.shownText, "Play");
    EXPECT_FALSE(balloon.timers.running(FakeBalloon::kTimer));
    EXPECT_EQ(balloon.placed, (BalloonPlace{238 + kScreenX - 2, 326 + kScreenY - 31}));

    // Within the button: the balloon moves with the mouse at its width, shown once.
    moveTo(244, 330);
    EXPECT_EQ(balloon.placed, (BalloonPlace{244 + kScreenX - 2, 330 + kScreenY - 31}));
    EXPECT_EQ(balloon.placedWidth, 4 * 7 + 2 * 4);
    EXPECT_EQ(balloon.repaints, 1);
    balloon.timers.advance(2000);
    EXPECT_EQ(balloon.presents, 1);
    EXPECT_EQ(balloon.shownText, "Play");

    // Onto the information panel (no text): gone at once.
    moveTo(300, 180);
    EXPECT_FALSE(balloon.visible);
    EXPECT_EQ(core.state(), TooltipCore::State::Idle);
    EXPECT_EQ(core.currentId(), -1);
    balloon.timers.advance(2000);
    EXPECT_FALSE(balloon.visible);
}

TEST_F(TooltipOnDesk, TheWaitStartsAfreshWhileTheMouseMovesAndForEachNewControl) {
    moveTo(238, 326);
    balloon.timers.advance(300);
    moveTo(240, 326);  // still moving over the same button
    balloon.timers.advance(300);
    EXPECT_FALSE(balloon.visible);
    balloon.timers.advance(200);
    ASSERT_TRUE(balloon.visible);

    // From a shown balloon onto another control with a text: hidden, then its own wait.
    moveTo(273, 333);  // stop1
    EXPECT_FALSE(balloon.visible);
    EXPECT_EQ(core.currentId(), ctl::Stop1);
    balloon.timers.advance(500);
    EXPECT_EQ(balloon.shownText, "Stop");

    // Off every control.
    moveTo(5, 590);
    EXPECT_FALSE(balloon.visible);
    EXPECT_EQ(core.currentId(), -1);
}

TEST_F(TooltipOnDesk, AButtonHidesWhatIsShownOrPending) {
    moveTo(238, 326);
    balloon.timers.advance(500);
    ASSERT_TRUE(balloon.visible);
    core.hide();
    EXPECT_FALSE(balloon.visible);
    EXPECT_EQ(core.state(), TooltipCore::State::Idle);

    moveTo(238, 326);
    balloon.timers.advance(100);
    core.hide();
    EXPECT_FALSE(balloon.timers.running(FakeBalloon::kTimer));
    balloon.timers.advance(1000);
    EXPECT_FALSE(balloon.visible);
    core.hide();  // nothing to hide
    EXPECT_EQ(core.state(), TooltipCore::State::Idle);
}

TEST(TooltipSize, TheTextIsCentredInTheBoxAndTheBalloonIsNeverNarrowerThanItsFrame) {
    EXPECT_EQ(balloonSize(7, 15), (BalloonSize{4, 29}));  // one character
    EXPECT_EQ(balloonSize(80, 15), (BalloonSize{4, 88}));
    EXPECT_EQ(balloonSize(80, 16), (BalloonSize{3, 86}));  // (23 - 16) / 2 rounds down
    EXPECT_EQ(balloonSize(80, 30), (BalloonSize{0, 80}));  // a text taller than the box
    EXPECT_EQ(balloonSize(0, 0), (BalloonSize{11, 29}));

    FakeBalloon b;
    b.core.update(10, 40, ctl::Go1, "M");
    b.timers.advance(500);
    EXPECT_EQ(b.shownSize.width, 29);
    EXPECT_EQ(b.core.size().width, 29);
}

// ---- Shape ----

constexpr uint16_t kKey = 0x7C1F;   // magenta
constexpr uint16_t kInk = 0x0000;   // black
constexpr uint16_t kFill = 0x7FE0;  // yellow

bool contains(const std::vector<RegionRect>& runs, int32_t x, int32_t y) {
    return std::ranges::any_of(runs, [&](const RegionRect& r) {
        return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
    });
}

TEST(TooltipShape, RunsOfNonKeyPixelsWithTheLastColumnRules) {
    // One row, columns 0..9, scanned over 0..9 (b = 10).
    auto runsOf = [](std::vector<uint16_t> row, int32_t a = 0, int32_t b = 10) {
        return keyedRuns(row, static_cast<int32_t>(row.size()), 1, a, b);
    };
    const uint16_t K = kKey, I = kInk;
    EXPECT_EQ(runsOf({K, I, I, K, K, I, K, I, I, I}),
              (std::vector<RegionRect>{
                  {1, 0, 3, 1}, {5, 0, 6, 1}, {7, 0, 10, 1}}));  // the last reaches b
    EXPECT_EQ(runsOf({K, I, K, K, K, K, K, K, K, I}),
              (std::vector<RegionRect>{{1, 0, 2, 1}}));  // starts on b - 1
    EXPECT_EQ(runsOf({K, I, I, I, I, I, I, I, I, I}, 0, 5),
              (std::vector<RegionRect>{{1, 0, 5, 1}}));
    // Only the lowest 12 bits count: a red differing in its top bits is the key.
    const uint16_t nearKey = static_cast<uint16_t>(kKey ^ 0x7000);
    EXPECT_EQ(runsOf({K, nearKey, nearKey, I, K, K, K, K, K, K}),
              (std::vector<RegionRect>{{3, 0, 4, 1}}));
}

TEST(TooltipShape, TheBalloonKeepsItsCornersAndStretchesItsMiddle) {
    // A frame: key everywhere, a box of fill with an ink edge in rows 1..21, columns
    // 1..27, and a tail of ink in rows 23..29 at columns 2..4.
    std::vector<uint16_t> frame(29 * 30, kKey);
    auto at = [&](int x, int y) -> uint16_t& { return frame[static_cast<size_t>(y * 29 + x)]; };
    for (int y = 1; y <= 21; ++y)
        for (int x = 1; x <= 27; ++x)
            at(x, y) = (y == 1 || y == 21 || x == 1 || x == 27) ? kInk : kFill;
    for (int y = 23; y < 30; ++y)
        for (int x = 2; x <= 4; ++x) at(x, y) = kInk;

    const int32_t width = 60;
    const std::vector<RegionRect> runs = balloonRuns(frame, width);
    for (const RegionRect& r : runs) {
        EXPECT_GE(r.left, 0);
        EXPECT_LE(r.right, width);
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.bottom, 30);
    }
    // The left part as drawn, key pixels cut away.
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 22; ++x)
            EXPECT_EQ(contains(runs, x, y), at(x, y) != kKey) << x << "," << y;
    // The right part moved to the right edge.
    for (int y = 0; y < 30; ++y)
        for (int x = 23; x < 29; ++x)
            EXPECT_EQ(contains(runs, x + width - 29, y), at(x, y) != kKey) << x << "," << y;
    // The middle: the whole box rows, whatever the frame's column 22 holds, and nothing
    // below them.
    for (int x = 22; x < width - 6; ++x) {
        EXPECT_TRUE(contains(runs, x, 0));
        EXPECT_TRUE(contains(runs, x, 22));
        EXPECT_FALSE(contains(runs, x, 23));
    }
    EXPECT_FALSE(contains(runs, width, 10));
}

TEST(TooltipShape, ColoursAreComparedAsTheirTopFiveBits) {
    EXPECT_EQ(toRgb555(0xFFFF00FF), 0x7C1F);
    EXPECT_EQ(toRgb555(0xFF070707), 0x0000);  // below one step of five bits
    EXPECT_EQ(toRgb555(0x00F80800), 0x7C20);
}

}  // namespace
}  // namespace spinlorex
