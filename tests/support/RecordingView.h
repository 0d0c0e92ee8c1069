#pragma once

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "desk/DeskView.h"

namespace spinlorex::test {

// A desk view that draws nothing and remembers what it was asked: most calls as one line
// of a log ("on 26", "off 50", "restore 50", "knob 22 128 130", "crossfader 0 12", ...),
// and the last state of each lamp, the crossfader knob, information panels and titles.
class RecordingView : public DeskView {
public:
    void drawControl(int id, bool on) override {
        lamp[id] = on;
        note((on ? "on " : "off ") + std::to_string(id));
    }
    void restoreControl(int id) override { note("restore " + std::to_string(id)); }
    void drawDisc(int, float, float, bool) override {}
    void redrawCueMark(int deck, float, bool) override { note("cue " + std::to_string(deck)); }
    void drawSliderKnob(int sliderId, int32_t oldPosition, int32_t newPosition) override {
        note("knob " + std::to_string(sliderId) + " " + std::to_string(oldPosition) + " " +
             std::to_string(newPosition));
    }
    void drawCrossfaderKnob(int32_t oldValue, int32_t newValue) override {
        crossfaderKnob = newValue;
        note("crossfader " + std::to_string(oldValue) + " " + std::to_string(newValue));
    }
    void drawDeckInfo(int deck, const DeckInfo& i) override { info[static_cast<size_t>(deck)] = i; }
    void drawDeckTitle(int deck, const std::string& artist, const std::string& title) override {
        titles[static_cast<size_t>(deck)] = artist + "/" + title;
    }
    void drawOptionsPanel() override { note("options"); }
    void drawRecordStatus(const std::string& text) override { note("record " + text); }

    bool logged(const std::string& line) const {
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    int count(const std::string& line) const {
        return static_cast<int>(std::count(log.begin(), log.end(), line));
    }
    bool isOn(int id) const {
        const auto it = lamp.find(id);
        return it != lamp.end() && it->second;
    }

    std::vector<std::string> log;
    std::map<int, bool> lamp;
    int32_t crossfaderKnob = -1;
    std::array<DeckInfo, 2> info{};
    std::array<std::string, 2> titles{};

private:
    void note(std::string line) { log.push_back(std::move(line)); }
};

}  // namespace spinlorex::test
