#include "auxwindows/RhythmStrip.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "audio/DeckStream.h"
#include "skin/SkinModel.h"

namespace spinlorex {

const std::array<uint32_t, 20> kDefaultPalette = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080,
    0xFFC0C0C0, 0xFFC0DCC0, 0xFFA6CAF0, 0xFFFFFBF0, 0xFFA0A0A4, 0xFF808080, 0xFFFF0000,
    0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
};

void rhythmColumnHeights(const DeckStream& deck, int32_t height, std::span<int16_t> heights) {
    const BeatAnalyser& analyser = deck.analyser();
    const RhythmDeckState state{deck.timeline().keepFrom.load(std::memory_order_relaxed),
                                analyser.peakLevel(), deck.pitch()};
    rhythmColumnHeights([&analyser](int32_t step) { return analyser.onsetAt(step); }, state, height,
                        heights);
}

void composeRhythmStrip(std::span<const int16_t> unselected, std::span<const int16_t> selected,
                        int32_t height, uint8_t* pixels, int32_t stride) {
    const int32_t width = static_cast<int32_t>(std::min(unselected.size(), selected.size()));
    for (int32_t y = 0; y < height; ++y)
        std::memset(pixels + static_cast<ptrdiff_t>(y) * stride, 0, static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x) {
        const int32_t a = std::clamp<int32_t>(unselected[static_cast<size_t>(x)], 0, height);
        const int32_t b = std::clamp<int32_t>(selected[static_cast<size_t>(x)], 0, height);
        const int32_t both = std::min(a, b);
        const int32_t top = std::max(a, b);
        const uint8_t alone = a < b ? 2 : 1;
        uint8_t* p = pixels + static_cast<ptrdiff_t>(height - 1) * stride + x;
        for (int32_t r = 0; r < top; ++r, p -= stride) *p = r < both ? 3 : alone;
    }
}

std::array<uint32_t, 4> rhythmColourTable(const SkinValues& values) {
    auto entry = [](int32_t index) {
        const uint32_t i = static_cast<uint32_t>(index) & 0xFFFF;
        return i < kDefaultPalette.size() ? kDefaultPalette[i] : kDefaultPalette[0];
    };
    return {entry(values.rhythmBackColor), entry(values.rhythmColor1), entry(values.rhythmColor2),
            entry(values.rhythmColor3)};
}

int32_t rhythmNudgeFrames(int32_t lastX, int32_t x, int32_t pitch) {
    const int64_t frames = (int64_t{lastX} - x) * pitch * kRhythmFramesPerPixel / kNormalPitch;
    return static_cast<int32_t>(std::clamp<int64_t>(frames, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace spinlorex
