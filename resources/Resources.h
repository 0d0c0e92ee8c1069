#pragma once

// Paths of the built-in pictures in the Qt resource system.

namespace spinlorex::resources {

inline constexpr const char* kDefaultSkin = ":/skin/default.png";  // 800 x 830
inline constexpr const char* kButtonStrip = ":/skin/buttons.png";  // 672 x 48
inline constexpr const char* kStartup = ":/startup.png";           // 400 x 300
inline constexpr const char* kTooltip = ":/tooltip.png";           // 29 x 30
inline constexpr const char* kIcon = ":/icon.png";

// Makes sure the resources of the static library are registered (call once, early).
void initialise();

}  // namespace spinlorex::resources
