#pragma once

// The Qt-free part of a skin: the 87 control records and the skin-wide values, the hit
// test, the layout of the library area derived from "files window", and the built-in
// default skin's records. The picture that goes with it is the Qt part (skin/picture/).
//
// Main thread only (the desk and its dialogs); nothing here blocks or allocates beyond
// the two template strings and the font name.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "skin/SkinControl.h"

namespace spinlorex {

// A colour as the skin holds it: red in the low byte, green in the middle, blue high.
using SkinColour = uint32_t;
constexpr SkinColour skinRgb(uint32_t red, uint32_t green, uint32_t blue) {
    return (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16;
}
constexpr uint32_t redOf(SkinColour c) { return c & 0xFF; }
constexpr uint32_t greenOf(SkinColour c) { return (c >> 8) & 0xFF; }
constexpr uint32_t blueOf(SkinColour c) { return (c >> 16) & 0xFF; }

// The longest font name and template a skin can give, in bytes; longer values are cut.
inline constexpr size_t kMaxFontName = 127;
inline constexpr size_t kMaxTemplate = 511;

inline constexpr std::string_view kDefaultSimpleInfos = "%29Left: %left\n\nBPM: %Pbpm";
inline constexpr std::string_view kDefaultExtendedInfos =
    "Spent: %spent\nLeft: %left\nTo CUE: %cue\nTo End: %end\n%58BPM: %bpm\n(local: %Lbpm)\nLevel: "
    "%leveldB";

// The skin-wide values, with the defaults every skin starts from. Each member is named
// after its description key.
struct SkinValues {
    bool playPause = true;             // faces of play/pause follow the playing state
    bool cueStop = false;              // stop stores the cue while stopped, cue stops
    bool pitchLevel = true;            // one slider per deck, switched pitch/volume
    bool mixNowAlwaysVisible = false;  // "mix" live in every panel

    std::string fontName{"Verdana"};  // at most kMaxFontName bytes

    SkinColour fontColor = skinRgb(255, 255, 255);  // library lists: text
    SkinColour fontBackColor = skinRgb(0, 0, 0);    // library lists: background
    SkinColour fontColorTitle = skinRgb(0, 255, 0);
    SkinColour fontColorAuthor = skinRgb(0, 128, 0);
    SkinColour fontColorSimpleInfos = skinRgb(255, 255, 0);
    SkinColour fontColorExtendedInfos = skinRgb(255, 255, 0);
    SkinColour fontColorOptions = skinRgb(255, 255, 0);
    SkinColour fontColorRecord = skinRgb(0, 255, 0);
    SkinColour cueColor = skinRgb(128, 128, 128);

    int32_t fontSizeTitle = 14;
    int32_t fontSizeSimpleInfos = 14;
    int32_t fontSizeExtendedInfos = 12;
    int32_t fontSizeAuthor = 14;
    int32_t fontSizeText = 14;

    // Indices into the system's 20-colour default palette.
    int32_t rhythmBackColor = 0;
    int32_t rhythmColor1 = 1;
    int32_t rhythmColor2 = 2;
    int32_t rhythmColor3 = 3;

    std::string simpleInfos{kDefaultSimpleInfos};      // at most kMaxTemplate bytes
    std::string extendedInfos{kDefaultExtendedInfos};  // at most kMaxTemplate bytes

    bool operator==(const SkinValues&) const = default;
};

using ControlTable = std::array<SkinControl, kControlCount>;

struct SkinModel {
    ControlTable controls{};
    SkinValues values;

    // Out-of-range ids read as an absent control, never past the table.
    const SkinControl& control(int32_t id) const;
};

// Whether a control reacts in the given desk state: bit (currentPanel mod 32) of its mask,
// else mask 256 with faderMode not 1, else mask 512 with faderMode not 0.
bool isLive(const SkinControl& control, int32_t currentPanel, int32_t faderMode);

// Whether (x, y) lies in the control's hit area: the rectangle [hit left, hit right) x
// [hit top, hit bottom) for a negative radius, the closed disc of the radius around
// (hit left, hit top) for a positive one, nothing for 0. Liveness is not checked.
bool isHit(const SkinControl& control, int32_t x, int32_t y);

// The first live control, in id order, whose hit area holds (x, y); ctl::None when none.
// currentPanel: 0..5, -1 before the first panel; faderMode: 0 pitch, 1 volume, -1 both.
int32_t hitTest(const SkinModel& skin, int32_t x, int32_t y, int32_t currentPanel,
                int32_t faderMode);

// Places ids 53..85 (library area, its buttons, the options lines) from the "files window"
// rectangle and the skin picture's height H (the button strip's rows start at H). Every
// field but the radius and the panel mask is overwritten.
void deriveLibraryLayout(ControlTable& controls, int32_t pictureHeight);

// The built-in default skin: its 87 records, as stored with the program.
const ControlTable& defaultSkinControls();
inline constexpr int32_t kDefaultSkinHeight = 830;  // H of the default skin picture

}  // namespace spinlorex
