// The rhythm strip's arithmetic: column heights from an onset ring, the overlaid picture
// values, its colours and width, the drag distance; and the heights of real decks.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "auxwindows/RhythmStrip.h"
#include "skin/SkinModel.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

constexpr int32_t kSteps = 8192;

struct Ring {
    std::vector<int32_t> onsets = std::vector<int32_t>(kSteps, 0);
    int32_t operator()(int32_t step) const { return onsets.at(static_cast<size_t>(step)); }
};

std::vector<int16_t> heightsOf(const Ring& ring, RhythmDeckState deck, int32_t height,
                               int32_t columns) {
    std::vector<int16_t> h(static_cast<size_t>(columns), -7);
    rhythmColumnHeights(ring, deck, height, h);
    return h;
}

TEST(RhythmHeights, EachColumnShowsTheStrongestOnsetOfItsStepsScaledToThePeak) {
    Ring ring;
    // From step 100 (frame 3600, or anywhere within its 36 frames) on: columns of 4 steps.
    ring.onsets[100] = 10, ring.onsets[103] = 50;  // column 0: 50
    ring.onsets[104] = 30;                         // column 1: 30
    ring.onsets[111] = 200;                        // column 2: at the peak
    ring.onsets[112] = -40;                        // column 3: below 0
    ring.onsets[116] = 400;                        // column 4: above the peak
    const std::vector<int16_t> want = {25, 15, 99, 0, 99, 0};
    EXPECT_EQ(heightsOf(ring, {3600, 200, 4096}, 100, 6), want);
    EXPECT_EQ(heightsOf(ring, {3635, 200, 4096}, 100, 6), want);
    EXPECT_EQ(heightsOf(ring, {3600, 200, 0}, 100, 6), want) << "pitch 0 plays at normal speed";

    // Unknown peak: scale 1, every onset fills the strip.
    EXPECT_EQ(heightsOf(ring, {3600, 0, 4096}, 100, 3), (std::vector<int16_t>{99, 99, 99}));

    // Faster: 6 steps a column; one and a half times as fast: 6, 6 ... from an accumulator
    // in 1/1024 steps, so 4.5 steps alternate 4 and 5.
    EXPECT_EQ(heightsOf(ring, {3600, 200, 6144}, 100, 3), (std::vector<int16_t>{25, 99, 99}));
    Ring counting;
    for (int32_t s = 0; s < kSteps; ++s) counting.onsets[static_cast<size_t>(s)] = s % 1000;
    EXPECT_EQ(heightsOf(counting, {0, 1000, 4608}, 1000, 4), (std::vector<int16_t>{3, 8, 12, 17}));
    // Slower than 1024: some columns cover no step and stay empty.
    EXPECT_EQ(heightsOf(counting, {0, 1000, 512}, 1000, 4), (std::vector<int16_t>{0, 0, 0, 1}));
}

TEST(RhythmHeights, TheRingWrapsAndLargeOnsetsDoNotOverflow) {
    Ring ring;
    ring.onsets[8191] = 1 << 30;
    ring.onsets[1] = (1 << 30) / 2;
    // Column 0 from step 8190 covers steps 8190, 8191, 0 and 1.
    EXPECT_EQ(heightsOf(ring, {8190 * 36, 1 << 30, 4096}, 600, 2), (std::vector<int16_t>{599, 0}));
    EXPECT_EQ(heightsOf(ring, {8188 * 36, 1 << 30, 4096}, 600, 2),
              (std::vector<int16_t>{599, 300}));
}

TEST(RhythmStripPicture, BothDecksInThreeTheSelectedAloneInTwoTheOtherInOne) {
    const int32_t height = 6, stride = 8;
    const std::vector<int16_t> unselected = {0, 3, 2, 5, 0};
    const std::vector<int16_t> selected = {0, 1, 4, 5, 2};
    std::vector<uint8_t> pixels(static_cast<size_t>(height * stride), 0xAA);
    composeRhythmStrip(unselected, selected, height, pixels.data(), stride);

    auto column = [&](int x) {  // bottom row first
        std::string values;
        for (int y = height - 1; y >= 0; --y)
            values += static_cast<char>('0' + pixels[static_cast<size_t>(y * stride + x)]);
        return values;
    };
    EXPECT_EQ(column(0), "000000");
    EXPECT_EQ(column(1), "311000");
    EXPECT_EQ(column(2), "332200");
    EXPECT_EQ(column(3), "333330");
    EXPECT_EQ(column(4), "220000");
    // The padding past the width is left alone.
    EXPECT_EQ(pixels[5], 0xAA);
}

TEST(RhythmStripPicture, WidthColoursAndDragDistance) {
    EXPECT_EQ(rhythmColumns(750), 750);
    EXPECT_EQ(rhythmColumns(1200), 800);
    EXPECT_EQ(rhythmColumns(-1), 0);

    SkinValues values;  // the defaults: black, dark red, dark green, dark yellow
    EXPECT_EQ(rhythmColourTable(values),
              (std::array<uint32_t, 4>{0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000}));
    values.rhythmBackColor = 19;
    values.rhythmColor1 = 8;
    values.rhythmColor2 = 0x10000 + 13;  // a 16-bit index
    values.rhythmColor3 = 20;            // past the palette
    EXPECT_EQ(rhythmColourTable(values),
              (std::array<uint32_t, 4>{0xFFFFFFFF, 0xFFC0DCC0, 0xFFFF0000, 0xFF000000}));

    EXPECT_EQ(rhythmNudgeFrames(310, 300, 4096), 720);   // 10 pixels left: ahead
    EXPECT_EQ(rhythmNudgeFrames(300, 310, 4096), -720);  // right: back
    EXPECT_EQ(rhythmNudgeFrames(301, 300, 4000), 70);    // 70.3, toward zero
    EXPECT_EQ(rhythmNudgeFrames(300, 301, 4000), -70);
    EXPECT_EQ(rhythmNudgeFrames(32767, -32768, 8192), 9437040);
}

// ---- Real decks ----

// A deck with no track shows nothing; two decks on the same music at the same place show
// the same bars, drawn in the colour of both.
TEST(RhythmDecks, AnEmptyDeckIsFlatAndEqualDecksOverlapEverywhere) {
    test::TempDir dir;
    // Two files, so that each deck has a record of its own and analyses on its own.
    const std::string path = dir.file("beat.wav"), copy = dir.file("beat-copy.wav");
    const std::vector<float> music = synth::render({.bpm = 128, .seconds = 12});
    ASSERT_TRUE(synth::writeWav(path, music, 44100, 2, 16));
    ASSERT_TRUE(synth::writeWav(copy, music, 44100, 2, 16));

    test::DeckHarness h(test::DeckHarness::RealReaders{});
    const int32_t width = 750, height = 110;
    std::vector<int16_t> one(width), two(width);
    rhythmColumnHeights(h.deck(0), height, one);
    EXPECT_TRUE(std::ranges::all_of(one, [](int16_t v) { return v == 0; }));

    h.call([&] { ASSERT_TRUE(h.load(0, path)); });
    h.runPasses(300);  // decodes and analyses the ring ahead of the start
    rhythmColumnHeights(h.deck(0), height, one);
    rhythmColumnHeights(h.deck(1), height, two);
    EXPECT_GT(std::ranges::count_if(one, [](int16_t v) { return v > height / 2; }), 3);
    EXPECT_GT(std::ranges::count_if(one, [](int16_t v) { return v > 0; }), 20);
    EXPECT_TRUE(std::ranges::all_of(two, [](int16_t v) { return v == 0; }));

    std::vector<uint8_t> pixels(static_cast<size_t>(width * height));
    auto valuesDrawn = [&](const std::vector<int16_t>& unselected,
                           const std::vector<int16_t>& selected) {
        composeRhythmStrip(unselected, selected, height, pixels.data(), width);
        std::array<int, 4> counts{};
        for (uint8_t v : pixels) ++counts.at(v);
        return counts;
    };
    const auto onlySelected = valuesDrawn(two, one);
    EXPECT_GT(onlySelected[2], 0);
    EXPECT_EQ(onlySelected[1] + onlySelected[3], 0);
    const auto onlyOther = valuesDrawn(one, two);
    EXPECT_EQ(onlyOther[1], onlySelected[2]);
    EXPECT_EQ(onlyOther[2] + onlyOther[3], 0);

    h.call([&] { ASSERT_TRUE(h.load(1, copy)); });
    h.runPasses(300);
    rhythmColumnHeights(h.deck(0), height, one);
    rhythmColumnHeights(h.deck(1), height, two);
    EXPECT_EQ(h.deck(0).analyser().peakLevel(), h.deck(1).analyser().peakLevel());
    EXPECT_EQ(one, two);
    const auto both = valuesDrawn(one, two);
    EXPECT_GT(both[3], 0);
    EXPECT_EQ(both[1] + both[2], 0);
}

}  // namespace
}  // namespace spinlorex
