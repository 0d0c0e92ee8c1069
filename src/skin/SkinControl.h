#pragma once

// The skin's fixed table of the desk's 87 controls: their ids, names, tooltips and panel
// masks, and the record each skin gives every control. Qt-free, so that the desk's logic
// and its tests run without a display.

#include <array>
#include <cstdint>
#include <string_view>

namespace spinlorex {

// A control's index in the table. The members of a pair differ by one (deck 2 second),
// and the menu buttons follow the panel order, so the desk adds a deck or panel number.
namespace ctl {
enum ControlId : int32_t {
    None = -1,  // what hitTest returns when nothing is hit
    Unused = 0,
    Close,
    Minimize,
    Maximize,
    Go1,
    Go2,
    Play1,
    Play2,
    Pause1,
    Pause2,
    Stop1,
    Stop2,
    Mem1,
    Mem2,
    Platine1,
    Platine2,
    Infos1,
    Infos2,
    Title1,
    Title2,
    Disc1,
    Disc2,
    Pitch1,
    Pitch2,
    Level1,
    Level2,
    ResetPitch1,
    ResetPitch2,
    MenuLevel1,
    MenuLevel2,
    MenuPitch1,
    MenuPitch2,
    Reserved1,
    Reserved2,
    Crossfader,
    HorizontalFader,
    VerticalFader1,
    VerticalFader2,
    SyncPitch1,
    SyncPitch2,
    SyncLevel1,
    SyncLevel2,
    SyncBeat1,
    SyncBeat2,
    MenuFiles,
    MenuSearch,
    MenuPlaylist,
    MenuRecord,
    MenuHistory,
    MenuConfig,
    Mix,
    RhythmWindow,
    FilesWindow,
    // The library area, derived from "files window" (53..85).
    FilesArea,
    SearchArea,
    PlaylistArea,
    HistoryArea,
    SetHomeFolder,
    GoDesktop,
    GoHomeFolder,
    SearchText,
    SearchGo,
    ScanDisk,
    ScanCd,
    DeleteCd,
    AutoMixSwitch,
    Shuffle,
    NewSongsOnly,
    Save,
    StartRecording,
    RecordStatus,
    OptAutoPitch,
    OptAutoReset,
    OptAutoLevel,
    OptMixLength,
    OptCrossfader,
    OptSecurity,
    OptToolTip,
    OptSkin,
    OptPlugins,
    OptSoundConfig,
    OptAbout,
    OptMultiInstance,
    OptShortcuts,
    OptMasterTempo,
    OptPitchRange,
    WindowDrag,
    Count  // 87
};
}  // namespace ctl
using ControlId = ctl::ControlId;

inline constexpr int32_t kControlCount = ctl::Count;
static_assert(kControlCount == 87);
inline constexpr int32_t kFirstDerivedControl = ctl::FilesArea;     // 53
inline constexpr int32_t kLastDerivedControl = ctl::OptPitchRange;  // 85

// Panel masks: bit k = live while panel k is shown (0 files, 1 search, 2 playlist,
// 3 record, 4 history, 5 options); two exact values tie the deck sliders to the fader mode.
inline constexpr int32_t kMaskAlways = -1;
inline constexpr int32_t kMaskNever = 0;
inline constexpr int32_t kMaskPitchSet = 256;   // live while faderMode is not 1
inline constexpr int32_t kMaskVolumeSet = 512;  // live while faderMode is not 0
inline constexpr int32_t kMaskMixPlaylistOnly = 4;

// One control of a skin: 18 signed 32-bit fields in this order, which is also the order
// of the default skin's stored records and of the tool's listing.
struct SkinControl {
    int32_t x, y, width, height;                   // placement on the 800 x 600 desk
    int32_t left, top, right, bottom;              // the placement as a rectangle
    int32_t offX, offY;                            // "off" look in the skin picture
    int32_t onX, onY;                              // "on" look
    int32_t hitLeft, hitTop, hitRight, hitBottom;  // hit rectangle, or centre of a circle
    int32_t radius;                                // -1 rectangle, > 0 circle, 0 never hit
    int32_t panelMask;                             // when the control is live

    static constexpr int kFieldCount = 18;
    constexpr std::array<int32_t, kFieldCount> fields() const {
        return {x,    y,   width, height,  left,   top,      right,     bottom, offX,
                offY, onX, onY,   hitLeft, hitTop, hitRight, hitBottom, radius, panelMask};
    }
    static constexpr SkinControl fromFields(const std::array<int32_t, kFieldCount>& f) {
        return {f[0], f[1],  f[2],  f[3],  f[4],  f[5],  f[6],  f[7],  f[8],
                f[9], f[10], f[11], f[12], f[13], f[14], f[15], f[16], f[17]};
    }
    // A control the skin lacks: -1 everywhere but the mask, so it is never hit.
    static constexpr SkinControl absent(int32_t mask) {
        return {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, mask};
    }
    constexpr bool operator==(const SkinControl&) const = default;
};
static_assert(sizeof(SkinControl) == 72);

// The control's section name in a description file; empty for the controls a skin cannot
// describe (0 and 53..85) and for ids outside the table.
std::string_view controlName(int32_t id);

// The tooltip text; empty when the control has none.
std::string_view controlTooltip(int32_t id);

// The panel mask of the table ("mix": the playlist panel only; a skin's
// "MixNowAlwaysVisible" widens it). kMaskNever outside the table.
int32_t controlPanelMask(int32_t id);

// The first id, in id order, whose name equals `name` without regard to ASCII case; the
// empty name finds id 0. ctl::None when no control has that name.
ControlId findControl(std::string_view name);

}  // namespace spinlorex
