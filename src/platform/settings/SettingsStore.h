#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "platform/drives/Drives.h"
#include "platform/settings/Settings.h"

// The settings file: where the process-wide settings live between runs. Loaded once as the
// first step of start-up, saved once as the last step of shutdown; in between, changes
// touch memory only.
//
// The file is a REGEDIT4 export of the key HKEY_LOCAL_MACHINE\Software\Spinlorex (see
// RegFile.h), at $SPINLOREX_CONFIG_DIR/settings.reg, else
// $XDG_CONFIG_HOME/spinlorex/settings.reg, else ~/.config/spinlorex/settings.reg.
//
// Main thread only. Nothing here reports an error: a file that cannot be read leaves the
// defaults, a value of the wrong type or size leaves its default, a save that fails
// leaves the old file as it was.

namespace spinlorex {

inline constexpr std::string_view kSettingsKey = "HKEY_LOCAL_MACHINE\\Software\\Spinlorex";
// Only settings written by this version may name a skin.
inline constexpr std::string_view kSettingsVersion = "1.12";

// Empty when neither the environment nor the home folder tells where it is.
std::filesystem::path settingsFilePath();

// The "Home folder" when none is stored: $XDG_DATA_HOME/spinlorex, else
// ~/.local/share/spinlorex; the current directory when neither can be told.
std::string defaultHomeFolder();

// Sets every default (the CD drive is chosen from `drives`), then overlays what the file
// holds. Without a stored "Home folder" the default one is used and made when missing.
void loadSettings(Settings& settings, const std::filesystem::path& file,
                  std::span<const drives::Drive> drives);
// settings() from settingsFilePath() and this machine's drives; also removes what saves
// of programs that were killed mid-save left behind.
void loadSettings();

// Removes the temporary files "<file>.tmp-<pid>-<n>" beside `file` whose program no longer
// runs (a save that was interrupted); a save under way in another running copy is left
// alone.
void removeLeftoverSaves(const std::filesystem::path& file);

// Writes every value to a temporary file beside `file` and renames it into place, creating
// the folder when needed. Values that the store does not know, and other keys in the file,
// are kept.
void saveSettings(const Settings& settings, const std::filesystem::path& file);
void saveSettings();  // settings() to settingsFilePath()

// The text that saveSettings(settings, file) would write.
std::string settingsFileText(const Settings& settings, const std::filesystem::path& file);

}  // namespace spinlorex
