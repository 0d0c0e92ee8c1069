#include "skin/picture/Skin.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "resources/Resources.h"
#include "skin/SkinDescription.h"

namespace spinlorex {
namespace {

constexpr int kStripHeight = 48;

bool refuse() {
    setFatalError(kMsgInvalidSkinFile);
    return false;
}

// Makes the skin picture from the loaded one and appends the button strip. Any failure,
// whatever the builder said, is an invalid skin file.
bool buildPicture(Skin& skin, Surface& loaded) {
    const int width = std::max(loaded.width(), 800);
    const int height = std::max(loaded.height(), 600);
    if (!skin.picture.buildBlank(width, height + kStripHeight)) return refuse();
    copyRect(skin.picture, 0, 0, loaded, 0, 0, width, height);
    loaded.release();

    resources::initialise();
    Surface strip;
    if (!strip.buildFromResource(resources::kButtonStrip)) return refuse();
    copyRect(skin.picture, 0, height, strip, 0, 0, width, kStripHeight);
    return true;
}

bool loadDefaultSkin(Skin& skin) {
    skin.model.controls = defaultSkinControls();
    resources::initialise();
    Surface loaded;
    if (!loaded.buildFromResource(resources::kDefaultSkin)) return refuse();
    return buildPicture(skin, loaded);
}

bool loadNamedSkin(Skin& skin, const std::string& name, const std::string& homeFolder) {
    if (readSkinDescriptionFile(skinDescriptionPath(homeFolder, name), skin.model) !=
        DescriptionVerdict::Accepted)
        return refuse();
    Surface loaded;
    if (!loaded.buildFromFile(skinPicturePath(homeFolder, name))) return refuse();
    const int height = std::max(loaded.height(), 600);
    if (!buildPicture(skin, loaded)) return false;
    deriveLibraryLayout(skin.model.controls, height);
    return true;
}

std::string skinFile(const std::string& homeFolder, const std::string& name,
                     const char* extension) {
    return homeFolder + static_cast<char>(std::filesystem::path::preferred_separator) + name +
           extension;
}

}  // namespace

std::string skinDescriptionPath(const std::string& homeFolder, const std::string& name) {
    return skinFile(homeFolder, name, ".ini");
}

std::string skinPicturePath(const std::string& homeFolder, const std::string& name) {
    return skinFile(homeFolder, name, ".bmp");
}

bool loadSkin(Skin& skin, const std::string& name, const std::string& homeFolder) {
    skin.picture.release();
    skin.model.values = SkinValues{};
    return name.empty() ? loadDefaultSkin(skin) : loadNamedSkin(skin, name, homeFolder);
}

bool loadSkin(Skin& skin, const std::string& name) {
    return loadSkin(skin, name, settings().homeFolder);
}

bool loadSkinOrDefault(Skin& skin, const std::string& name, const std::string& homeFolder) {
    if (loadSkin(skin, name, homeFolder)) return true;
    const char* message = fatalError();
    if (message == nullptr || std::strcmp(message, kMsgInvalidSkinFile) != 0) return false;
    clearFatalError();
    return loadSkin(skin, std::string(), homeFolder);
}

bool drawControlLook(Surface& desk, const Skin& skin, int32_t id, bool on) {
    const SkinControl& c = skin.control(id);
    return copyRect(desk, c.x, c.y, skin.picture, on ? c.onX : c.offX, on ? c.onY : c.offY, c.width,
                    c.height);
}

}  // namespace spinlorex
