#pragma once

#include "desk/DeskView.h"

namespace spinlorex {

// A view that draws nothing: the desk run headless.
class NullDeskView : public DeskView {
public:
    void drawControl(int, bool) override {}
    void restoreControl(int) override {}
    void drawDisc(int, float, float, bool) override {}
    void redrawCueMark(int, float, bool) override {}
    void drawSliderKnob(int, int32_t, int32_t) override {}
    void drawCrossfaderKnob(int32_t, int32_t) override {}
    void drawDeckInfo(int, const DeckInfo&) override {}
    void drawDeckTitle(int, const std::string&, const std::string&) override {}
    void drawOptionsPanel() override {}
    void drawRecordStatus(const std::string&) override {}
};

}  // namespace spinlorex
