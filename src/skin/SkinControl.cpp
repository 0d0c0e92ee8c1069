#include "skin/SkinControl.h"

#include "platform/core/AsciiText.h"

namespace spinlorex {
namespace {

struct ControlInfo {
    std::string_view name;
    std::string_view tooltip;
    int32_t mask;
};

constexpr int32_t panel(int k) { return 1 << k; }

constexpr ControlInfo kTable[kControlCount] = {
    {"", "", kMaskNever},
    {"close", "Close", kMaskAlways},
    {"minimize", "Minimize", kMaskAlways},
    {"maximize", "Full screen", kMaskAlways},
    {"go1", "Magic !", kMaskAlways},
    {"go2", "Magic !", kMaskAlways},
    {"play1", "Play", kMaskAlways},
    {"play2", "Play", kMaskAlways},
    {"pause1", "Pause", kMaskAlways},
    {"pause2", "Pause", kMaskAlways},
    {"stop1", "Stop", kMaskAlways},
    {"stop2", "Stop", kMaskAlways},
    {"mem1", "Cue", kMaskAlways},
    {"mem2", "Cue", kMaskAlways},
    {"platine1", "Select", kMaskAlways},
    {"platine2", "Select", kMaskAlways},
    {"infos1", "", kMaskAlways},
    {"infos2", "", kMaskAlways},
    {"title1", "", kMaskAlways},
    {"title2", "", kMaskAlways},
    {"disc1", "", kMaskAlways},
    {"disc2", "", kMaskAlways},
    {"pitch1", "", kMaskPitchSet},
    {"pitch2", "", kMaskPitchSet},
    {"level1", "", kMaskVolumeSet},
    {"level2", "", kMaskVolumeSet},
    {"reset pitch1", "Reset Pitch", kMaskPitchSet},
    {"reset pitch2", "Reset Pitch", kMaskPitchSet},
    {"menu level1", "Switch to Volume Control", kMaskPitchSet},
    {"menu level2", "Switch to Volume Control", kMaskPitchSet},
    {"menu pitch1", "Switch to Pitch Control", kMaskVolumeSet},
    {"menu pitch2", "Switch to Pitch Control", kMaskVolumeSet},
    {"reserved", "", kMaskNever},
    {"reserved", "", kMaskNever},
    {"crossfader", "", kMaskAlways},
    {"horizontal fader", "", kMaskNever},
    {"vertical fader1", "", kMaskNever},
    {"vertical fader2", "", kMaskNever},
    {"sync pitch1", "Automatic pitch matching", kMaskAlways},
    {"sync pitch2", "Automatic pitch matching", kMaskAlways},
    {"sync level1", "Automatic volume matching", kMaskAlways},
    {"sync level2", "Automatic volume matching", kMaskAlways},
    {"sync beat1", "Automatic beat matching", kMaskAlways},
    {"sync beat2", "Automatic beat matching", kMaskAlways},
    {"menu files", "Browse by directory", kMaskAlways},
    {"menu search", "Browse by search", kMaskAlways},
    {"menu playlist", "Playlist", kMaskAlways},
    {"menu record", "Record", kMaskAlways},
    {"menu history", "History", kMaskAlways},
    {"menu config", "Options", kMaskAlways},
    {"mix", "AutoMix Now !", kMaskMixPlaylistOnly},
    {"rhythm window", "", kMaskAlways},
    {"files window", "", kMaskNever},
    {"", "", panel(0)},  // 53 files panel area
    {"", "", panel(1)},  // 54 search results area
    {"", "", panel(2)},  // 55 playlist panel area
    {"", "", panel(4)},  // 56 history area
    {"", "Set current as home folder", panel(0) | panel(2)},
    {"", "Go to desktop", panel(0) | panel(2)},
    {"", "Go to home folder", panel(0) | panel(2)},
    {"", "", panel(1)},  // 60 search text box
    {"", "Search !", panel(1)},
    {"", "Scan Hard Drive", panel(1)},
    {"", "Scan CD", panel(1)},
    {"", "Delete CD", panel(1)},
    {"", "Automatic mixing", panel(2)},
    {"", "Shuffle", panel(2)},
    {"", "New songs only", panel(2)},
    {"", "Save", panel(2) | panel(4)},
    {"", "Start recording", panel(3)},
    {"", "", kMaskNever},  // 70 recorder status area
    {"", "Automatic bpm matching", panel(5)},
    {"", "Automatic pitch reset", panel(5)},
    {"", "Automatic volume matching", panel(5)},
    {"", "AutoMix Length", panel(5)},
    {"", "Crossfader Beahvior", panel(5)},  // sic: the text the user has always seen
    {"", "Desk Security", panel(5)},
    {"", "ToolTip", panel(5)},
    {"", "Load a new skin", panel(5)},
    {"", "Set DSP-plugin effects", panel(5)},
    {"", "Sound cards configuration", panel(5)},
    {"", "About", panel(5)},
    {"", "Run several Spinlorex at the same time", panel(5)},
    {"", "Shows the keyboard shortcuts available", panel(5)},
    {"", "Modify the speed without changing the pitch", panel(5)},
    {"", "Set the range of the pitch slider", panel(5)},
    {"window drag", "", kMaskAlways},
};

constexpr bool inTable(int32_t id) { return id >= 0 && id < kControlCount; }

}  // namespace

std::string_view controlName(int32_t id) {
    return inTable(id) ? kTable[id].name : std::string_view{};
}
std::string_view controlTooltip(int32_t id) {
    return inTable(id) ? kTable[id].tooltip : std::string_view{};
}
int32_t controlPanelMask(int32_t id) { return inTable(id) ? kTable[id].mask : kMaskNever; }

ControlId findControl(std::string_view name) {
    for (int32_t id = 0; id < kControlCount; ++id) {
        if (ascii::equalsNoCase(kTable[id].name, name)) return static_cast<ControlId>(id);
    }
    return ctl::None;
}

}  // namespace spinlorex
