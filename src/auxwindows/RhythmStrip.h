#pragma once

// The rhythm strip without a window: each deck's onset strengths from the frame now heard
// onwards as column heights, the two decks overlaid as an 8-bit picture of values 0..3,
// its colour table from the skin, and how far a drag in the strip nudges a deck. Qt-free.
//
// Any thread: nothing here keeps state; the deck overload only reads a deck's atomics.

#include <array>
#include <cstdint>
#include <span>

#include "analysis/BeatAnalyser.h"
#include "audio/AudioFormat.h"

namespace spinlorex {

class DeckStream;
struct SkinValues;

// The column arrays are this long; a wider "rhythm window" control is drawn 800 wide.
inline constexpr int32_t kRhythmMaxColumns = 800;
// Frames of rendered audio the strip moves per pixel of drag at normal pitch.
inline constexpr int32_t kRhythmFramesPerPixel = 72;

// The columns drawn for a control `controlWidth` wide: 0..800.
constexpr int32_t rhythmColumns(int32_t controlWidth) {
    return controlWidth < 0 ? 0
                            : (controlWidth > kRhythmMaxColumns ? kRhythmMaxColumns : controlWidth);
}

// What one deck contributes, read once per picture.
struct RhythmDeckState {
    int32_t keepFrom = 0;          // decoded-ring frame now heard
    int32_t peakLevel = 0;         // the track's largest onset; 0 or less when unknown
    int32_t pitch = kNormalPitch;  // 0 counts as normal speed
};

// One height per column (heights.size() columns) for a strip `height` rows high: column
// c shows the greatest onset of the steps it covers (4 steps at normal pitch, more when
// faster), scaled so that the track's peak would fill the strip, at most height - 1, at
// least 0. `onsetAt(step)` reads the analyser's ring; steps wrap at 8192.
template <class OnsetAt>
void rhythmColumnHeights(const OnsetAt& onsetAt, const RhythmDeckState& deck, int32_t height,
                         std::span<int16_t> heights) {
    constexpr int32_t kSteps = BeatAnalyser::kRingSteps;
    const int64_t scale = deck.peakLevel > 0 ? deck.peakLevel : 1;
    const int64_t step = deck.pitch != 0 ? deck.pitch : kNormalPitch;
    int32_t read =
        static_cast<int32_t>(static_cast<uint32_t>(deck.keepFrom / kStepFrames) % kSteps);
    int64_t acc = 0;  // 1/1024 of a step
    for (int16_t& h : heights) {
        int64_t m = 0;
        acc += step;
        if (acc >= 1024) {
            int64_t n = acc / 1024;
            acc %= 1024;
            m = onsetAt(read);
            read = (read + 1) % kSteps;
            while (--n > 0) {
                const int32_t v = onsetAt(read);
                if (v > m) m = v;
                read = (read + 1) % kSteps;
            }
        }
        // In 64 bits: an onset times the strip's height may pass 32 bits.
        int64_t v = m * height / scale;
        if (v >= height) v = height - 1;
        if (v < 0) v = 0;
        h = static_cast<int16_t>(v);
    }
}

// The same for a deck: its heard frame, its pitch, the mirror of its track's peak level
// and its analyser's onset ring, each read as the relaxed atomic it is.
void rhythmColumnHeights(const DeckStream& deck, int32_t height, std::span<int16_t> heights);

// The 8-bit picture, `stride` bytes per row (rows from the top), width = the spans'
// common length, `height` rows; every pixel is written. From the bottom row upwards each
// column holds value 3 where both decks reach, then 2 where only the selected deck does
// or 1 where only the other (unselected) one does; 0 above.
void composeRhythmStrip(std::span<const int16_t> unselected, std::span<const int16_t> selected,
                        int32_t height, uint8_t* pixels, int32_t stride);

// The system's default 20-colour palette as 0xAARRGGBB, opaque: black, dark red, dark
// green, dark yellow, dark blue, dark magenta, dark cyan, light grey, money green, sky
// blue, cream, medium grey, dark grey, red, green, yellow, blue, magenta, cyan, white.
extern const std::array<uint32_t, 20> kDefaultPalette;

// The strip's four colours (values 0..3): the palette entries the skin's RhythmBackColor
// and RhythmColor1..3 name (each taken as a 16-bit index; an index past the palette gives black).
std::array<uint32_t, 4> rhythmColourTable(const SkinValues& values);

// Frames to nudge the dragged deck when the mouse moves from lastX to x: a move to the
// left plays ahead, 72 frames a pixel at normal pitch, more when faster.
int32_t rhythmNudgeFrames(int32_t lastX, int32_t x, int32_t pitch);

}  // namespace spinlorex
