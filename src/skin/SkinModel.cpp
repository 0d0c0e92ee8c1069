#include "skin/SkinModel.h"

namespace spinlorex {
namespace {

// Skin files may hold any 32-bit values; the layout's sums are worked out in 64 bits and
// wrapped back, so a wild rectangle gives wild numbers but never undefined behaviour.
constexpr int32_t wrap(int64_t v) { return static_cast<int32_t>(v); }

struct Box {
    int64_t left, top, right, bottom;
};

// Where a derived control takes its looks from.
enum class Look { Own, Strip, AutoMix, Record };

void place(SkinControl& c, const Box& b, Look look, int32_t stripX, int32_t h) {
    c.x = c.left = wrap(b.left);
    c.y = c.top = wrap(b.top);
    c.right = wrap(b.right);
    c.bottom = wrap(b.bottom);
    c.width = wrap(b.right - b.left);
    c.height = wrap(b.bottom - b.top);
    c.hitLeft = c.left;
    c.hitTop = c.top;
    c.hitRight = c.right;
    c.hitBottom = c.bottom;
    switch (look) {
        case Look::Own:
            c.offX = c.onX = c.x;
            c.offY = c.onY = c.y;
            break;
        case Look::Strip:  // off look in the strip's upper row, on look in the lower
            c.offX = c.onX = stripX;
            c.offY = h;
            c.onY = wrap(int64_t{h} + 24);
            break;
        case Look::AutoMix:  // a 24 x 48 switch: off and on looks side by side
            c.offX = 72;
            c.onX = 96;
            c.offY = c.onY = h;
            break;
        case Look::Record:  // a 192 x 48 button: off and on looks side by side
            c.offX = 288;
            c.onX = 480;
            c.offY = c.onY = h;
            break;
    }
}

}  // namespace

const SkinControl& SkinModel::control(int32_t id) const {
    static const SkinControl kAbsent = SkinControl::absent(kMaskNever);
    return id >= 0 && id < kControlCount ? controls[static_cast<size_t>(id)] : kAbsent;
}

bool isLive(const SkinControl& control, int32_t currentPanel, int32_t faderMode) {
    // "mod 32" is the shift count's wrap: panel -1 asks for bit 31, which only the
    // always-live mask -1 has.
    const uint32_t bit = 1u << (static_cast<uint32_t>(currentPanel) & 31u);
    if ((static_cast<uint32_t>(control.panelMask) & bit) != 0) return true;
    if (control.panelMask == kMaskPitchSet) return faderMode != 1;
    if (control.panelMask == kMaskVolumeSet) return faderMode != 0;
    return false;
}

bool isHit(const SkinControl& control, int32_t x, int32_t y) {
    if (control.radius < 0) {
        return control.hitLeft <= x && x < control.hitRight && control.hitTop <= y &&
               y < control.hitBottom;
    }
    if (control.radius == 0) return false;
    // Each square fits in 64 unsigned bits even for the widest 32-bit distances; their sum
    // might not, so the comparison subtracts instead of adding.
    const auto square = [](int64_t d) {
        return static_cast<uint64_t>(d < 0 ? -d : d) * static_cast<uint64_t>(d < 0 ? -d : d);
    };
    const uint64_t dx2 = square(int64_t{x} - control.hitLeft);
    const uint64_t dy2 = square(int64_t{y} - control.hitTop);
    const uint64_t r2 = square(control.radius);
    return dx2 <= r2 && dy2 <= r2 - dx2;
}

int32_t hitTest(const SkinModel& skin, int32_t x, int32_t y, int32_t currentPanel,
                int32_t faderMode) {
    for (int32_t id = 0; id < kControlCount; ++id) {
        const SkinControl& c = skin.controls[static_cast<size_t>(id)];
        if (isLive(c, currentPanel, faderMode) && isHit(c, x, y)) return id;
    }
    return ctl::None;
}

void deriveLibraryLayout(ControlTable& controls, int32_t pictureHeight) {
    const SkinControl& files = controls[ctl::FilesWindow];
    const int64_t L = files.left, T = files.top, R = files.right, B = files.bottom;
    const int64_t M = (T + B) / 2, C = (L + R) / 2;  // C++ division truncates toward zero
    const int64_t q1 = (3 * L + R) / 4, q3 = (L + 3 * R) / 4;
    const int32_t h = pictureHeight;

    struct Row {
        int32_t id;
        Box box;
        Look look;
        int32_t stripX;
    };
    const Row rows[] = {
        {ctl::FilesArea, {L + 24, T, R, B}, Look::Own, 0},
        {ctl::SearchArea, {L, T + 30, R, B}, Look::Own, 0},
        {ctl::PlaylistArea, {L + 24, T, R, B}, Look::Own, 0},
        {ctl::HistoryArea, {L + 24, T, R, B}, Look::Own, 0},
        {ctl::SetHomeFolder, {L, T, L + 24, T + 24}, Look::Strip, 0},
        {ctl::GoDesktop, {L, T + 24, L + 24, T + 48}, Look::Strip, 24},
        {ctl::GoHomeFolder, {L, T + 48, L + 24, T + 72}, Look::Strip, 48},
        {ctl::SearchText, {q1, T + 3, q3 - 27, T + 27}, Look::Own, 0},
        {ctl::SearchGo, {q3 - 24, T + 3, q3, T + 27}, Look::Strip, 264},
        {ctl::ScanDisk, {L + 3, T + 3, L + 27, T + 27}, Look::Strip, 192},
        {ctl::ScanCd, {L + 28, T + 3, L + 52, T + 27}, Look::Strip, 216},
        {ctl::DeleteCd, {L + 53, T + 3, L + 77, T + 27}, Look::Strip, 240},
        {ctl::AutoMixSwitch, {L, M - 24, L + 24, M + 24}, Look::AutoMix, 0},
        {ctl::Shuffle, {L, B - 72, L + 24, B - 48}, Look::Strip, 120},
        {ctl::NewSongsOnly, {L, B - 48, L + 24, B - 24}, Look::Strip, 144},
        {ctl::Save, {L, B - 24, L + 24, B}, Look::Strip, 168},
        {ctl::StartRecording, {C - 96, M - 52, C + 96, M - 4}, Look::Record, 0},
        {ctl::RecordStatus, {L, M + 4, R, B}, Look::Own, 0},
        // Options: the left column, then the right one, top to bottom.
        {ctl::OptAutoPitch, {L, M - 64, C, M - 48}, Look::Own, 0},
        {ctl::OptAutoReset, {L, M - 48, C, M - 32}, Look::Own, 0},
        {ctl::OptAutoLevel, {L, M - 32, C, M - 16}, Look::Own, 0},
        {ctl::OptMasterTempo, {L, M - 16, C, M}, Look::Own, 0},
        {ctl::OptPitchRange, {L, M, C, M + 16}, Look::Own, 0},
        {ctl::OptMixLength, {L, M + 16, C, M + 32}, Look::Own, 0},
        {ctl::OptCrossfader, {L, M + 32, C, M + 48}, Look::Own, 0},
        {ctl::OptSoundConfig, {L, M + 48, C, M + 64}, Look::Own, 0},
        {ctl::OptSecurity, {C, M - 56, R, M - 40}, Look::Own, 0},
        {ctl::OptToolTip, {C, M - 40, R, M - 24}, Look::Own, 0},
        {ctl::OptMultiInstance, {C, M - 24, R, M - 8}, Look::Own, 0},
        {ctl::OptSkin, {C, M - 8, R, M + 8}, Look::Own, 0},
        {ctl::OptPlugins, {C, M + 8, R, M + 24}, Look::Own, 0},
        {ctl::OptShortcuts, {C, M + 24, R, M + 40}, Look::Own, 0},
        {ctl::OptAbout, {C, M + 40, R, M + 56}, Look::Own, 0},
    };
    static_assert(std::size(rows) == kLastDerivedControl - kFirstDerivedControl + 1);
    for (const Row& row : rows)
        place(controls[static_cast<size_t>(row.id)], row.box, row.look, row.stripX, h);
}

}  // namespace spinlorex
