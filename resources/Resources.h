#pragma once

// Paths of the built-in pictures in the Qt resource system.

namespace spinlorex::resources {

inline constexpr const char* kDefaultSkin = ":/skin/default.png";  // 800 x 830
inline constexpr const char* kButtonStrip = ":/skin/buttons.png";  // 672 x 48
inline constexpr const char* kStartup = ":/startup.png";           // 400 x 300
inline constexpr const char* kTooltip = ":/tooltip.png";           // 29 x 30
inline constexpr const char* kIcon = ":/icon.png";
// The library's drag: a drop possible or not, for one track or several (hot spot 1, 1).
inline constexpr const char* kCursorDrop = ":/cursors/drop.png";
inline constexpr const char* kCursorDropSeveral = ":/cursors/drop-several.png";
inline constexpr const char* kCursorNoDrop = ":/cursors/nodrop.png";
inline constexpr const char* kCursorNoDropSeveral = ":/cursors/nodrop-several.png";
// 64 x 16: the library rows' icons (played, never played, in the history, playlist file).
inline constexpr const char* kLibraryIcons = ":/library/icons.png";

// Makes sure the resources of the static library are registered (call once, early).
void initialise();

}  // namespace spinlorex::resources
