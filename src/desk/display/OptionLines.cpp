#include "desk/display/OptionLines.h"

namespace spinlorex::display {
namespace {

std::string_view enabled(const std::atomic<int32_t>& value) {
    return get(value) != 0 ? ": Enabled" : ": Disabled";
}

std::string_view mixLength(Settings& s) {
    switch (get(s.longMix)) {
        case 0:
            return ": short";
        case 16:
            return ": 10s";
        case 40:
            return ": 15s";
        case 64:
            return ": 20s";
        case 112:
            return ": 30s";
        default:
            set(s.longMix, 0);
            return ": short";
    }
}

std::string_view crossfaderCurve(Settings& s) {
    switch (get(s.crossfader)) {
        case 0:
            return ": Smooth";
        case 1:
            return ": Full";
        case 2:
            return ": Cut";
        default:
            set(s.crossfader, 0);
            return ": Smooth";
    }
}

std::string_view security(const Settings& s) {
    switch (get(s.babySecure)) {
        case 0:
            return ": None";
        case 1:
            return ": Ask";
        default:
            return ": Always";
    }
}

}  // namespace

OptionText optionText(int32_t id, Settings& s) {
    switch (id) {
        case ctl::OptAutoPitch:
            return {"Auto-Pitch ", enabled(s.autoBpm)};
        case ctl::OptAutoReset:
            return {"Auto-Reset ", enabled(s.autoZPitch)};
        case ctl::OptAutoLevel:
            return {"Auto-Level ", enabled(s.autoLevel)};
        case ctl::OptMasterTempo:
            return {"Master Tempo ", enabled(s.masterTempo)};
        case ctl::OptPitchRange:
            return {"Pitch Range ", get(s.limitPitch) != 0 ? ": -8% to +8%" : ": -34% to +34%"};
        case ctl::OptMixLength:
            return {"Mix Length ", mixLength(s)};
        case ctl::OptCrossfader:
            return {"Crossfader ", crossfaderCurve(s)};
        case ctl::OptSecurity:
            return {"Security ", security(s)};
        case ctl::OptToolTip:
            return {"ToolTip ", enabled(s.toolTip)};
        case ctl::OptMultiInstance:
            return {"Multi-Instance ", enabled(s.multiInstance)};
        case ctl::OptSkin:
            return {"Skin", "..."};
        case ctl::OptPlugins:
            return {"Plugins", "..."};
        case ctl::OptSoundConfig:
            return {"Sound Config", "..."};
        case ctl::OptShortcuts:
            return {"Shortcuts", "..."};
        case ctl::OptAbout:
            return {"About", "..."};
        default:
            return {};
    }
}

}  // namespace spinlorex::display

namespace spinlorex::display {

Rect extraOptionBox(const SkinModel& skin, int32_t k) {
    if (k < 0 || k >= kExtraOptionCount) return {};
    const bool left = k < kExtraLeftLines;
    const SkinControl& last = skin.controls[left ? ctl::OptSoundConfig : ctl::OptAbout];
    const SkinControl& files = skin.controls[ctl::FilesWindow];
    const int32_t row = left ? k : k - kExtraLeftLines;
    const int32_t height = last.bottom - last.top;
    const Rect box{last.left, last.bottom + row * height, last.right,
                   last.bottom + (row + 1) * height};
    if (height <= 0 || box.bottom > files.bottom) return {};
    return box;
}

int32_t extraOptionAt(const SkinModel& skin, int32_t x, int32_t y) {
    for (int32_t k = 0; k < kExtraOptionCount; ++k)
        if (extraOptionBox(skin, k).contains({x, y})) return k;
    return -1;
}

OptionText extraOptionText(int32_t k, const Settings& s) {
    switch (k) {
        case kMasterTempoQuality:
            return {"Master Tempo Quality ",
                    get(s.masterTempoQuality) != 0 ? ": High" : ": Standard"};
        case kKeyNotation:
            switch (get(s.keyNotation)) {
                case 1:
                    return {"Key Notation ", ": Open Key"};
                case 2:
                    return {"Key Notation ", ": Musical"};
                default:
                    return {"Key Notation ", ": Camelot"};
            }
        case kFileNameTitles:
            return {"Track Names ", get(s.fileNameTitles) != 0 ? ": File Names" : ": Tags"};
        case kCompatibleFirst:
            return {"Compatible Next ", get(s.compatibleFirst) != 0 ? ": Enabled" : ": Disabled"};
        case kControllers:
            return {"Controllers", "..."};
        default:
            return {};
    }
}

}  // namespace spinlorex::display
