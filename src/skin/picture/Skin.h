#pragma once

// A skin as the desk uses it: the Qt-free model (control records, skin-wide values) and
// the skin picture, W x (H + 48) with W = max(picture width, 800), H = max(picture height,
// 600): the skin's own picture at the top left, the library buttons' strip in rows H to
// H + 47.
//
// Main thread only.

#include <cstdint>
#include <string>

#include "platform/surface/Surface.h"
#include "skin/SkinModel.h"

namespace spinlorex {

struct Skin {
    SkinModel model;
    Surface picture;

    const SkinControl& control(int32_t id) const { return model.control(id); }
    const SkinValues& values() const { return model.values; }
    // H: the first row of the button strip; 0 without a picture.
    int32_t stripTop() const { return picture.height() > 48 ? picture.height() - 48 : 0; }
};

inline int32_t hitTest(const Skin& skin, int32_t x, int32_t y, int32_t currentPanel,
                       int32_t faderMode) {
    return hitTest(skin.model, x, y, currentPanel, faderMode);
}

// The two files of a named skin: "<home>/<name>.ini" and "<home>/<name>.bmp" (with the
// platform's separator).
std::string skinDescriptionPath(const std::string& homeFolder, const std::string& name);
std::string skinPicturePath(const std::string& homeFolder, const std::string& name);

// Builds `skin` from the built-in default skin (empty name) or from the named skin's two
// files in `homeFolder`. True when built; otherwise the fatal-error channel holds "Invalid
// skin file" and the skin is partly filled, for the caller to discard. The fatal error is
// never cleared here.
bool loadSkin(Skin& skin, const std::string& name, const std::string& homeFolder);
// The same with the "Home folder" setting.
bool loadSkin(Skin& skin, const std::string& name);

// The start-up order: the named skin and, when it is refused as an invalid skin file, the
// default skin (the refusal is cleared first). False when neither could be built; the
// channel then holds the last message.
bool loadSkinOrDefault(Skin& skin, const std::string& name, const std::string& homeFolder);

// Copies the control's "off" or "on" look (its width x height block of the skin picture)
// to its place on `desk`. The caller invalidates the control's rectangle.
bool drawControlLook(Surface& desk, const Skin& skin, int32_t id, bool on);

}  // namespace spinlorex
