#include "platform/settings/SettingsStore.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <utility>

#include "platform/core/WholeFile.h"
#include "platform/settings/RegFile.h"

namespace spinlorex {
namespace {

namespace fs = std::filesystem;
using Dword = std::atomic<int32_t> Settings::*;
using Guid = std::optional<Settings::DeviceId> Settings::*;

constexpr size_t kMaxStringSize = Settings::kMaxText + 1;  // terminator included
constexpr size_t kColumnBytes = 4 * Settings::kColumnSizes;

// In the order in which they are read and written. "Baby Secure" is also found when the
// file says "Baby secure": names are compared without case.
constexpr std::pair<const char*, Dword> kDwords[] = {
    {"Output mode", &Settings::outputMode},
    {"ToolTip", &Settings::toolTip},
    {"Baby Secure", &Settings::babySecure},
    {"Maximized", &Settings::maximized},
    {"Crossfader", &Settings::crossfader},
    {"MultiInstance", &Settings::multiInstance},
    {"AutoBpm", &Settings::autoBpm},
    {"AutoLevel", &Settings::autoLevel},
    {"AutoZPitch", &Settings::autoZPitch},
    {"LongMix", &Settings::longMix},
    {"MasterTempo", &Settings::masterTempo},
    {"LimitPitch", &Settings::limitPitch},
    {"Waveforms", &Settings::waveforms},
    {"Waveform zoom", &Settings::waveformZoom},
    {"FileNameTitles", &Settings::fileNameTitles},
    {"KeyNotation", &Settings::keyNotation},
    {"MasterTempoQuality", &Settings::masterTempoQuality},
    {"CompatibleFirst", &Settings::compatibleFirst},
};
constexpr std::pair<const char*, Guid> kGuids[] = {
    {"Sound card GUID", &Settings::soundCardGuid},
    {"Sound card 1 GUID", &Settings::soundCard1Guid},
    {"Sound card 2 GUID", &Settings::soundCard2Guid},
};
constexpr const char* kHomeFolder = "Home folder";
constexpr const char* kCdDrive = "CD Drive";
constexpr const char* kSkin = "Skin";
constexpr const char* kInitialFolder = "Initial folder";
constexpr const char* kColumnSizes = "Column Sizes";
constexpr const char* kAddedColumns = "Added Columns";
constexpr const char* kVersion = "Version";

bool isStoreName(std::string_view name) {
    for (const char* own :
         {kHomeFolder, kCdDrive, kSkin, kInitialFolder, kColumnSizes, kAddedColumns, kVersion}) {
        if (reg::equalNoCase(name, own)) return true;
    }
    return std::ranges::any_of(kDwords,
                               [&](const auto& d) { return reg::equalNoCase(name, d.first); }) ||
           std::ranges::any_of(kGuids,
                               [&](const auto& g) { return reg::equalNoCase(name, g.first); });
}

// --- reading rules: a value of the wrong type or size leaves the target as it was ---

bool readString(const reg::Key& key, const char* name, std::string& target) {
    const reg::Value* value = key.find(name);
    if (value == nullptr || value->type != reg::kString || value->data.size() > kMaxStringSize)
        return false;
    const auto end = std::find(value->data.begin(), value->data.end(), uint8_t{0});
    target.assign(value->data.begin(), end);
    return true;
}

void readDword(const reg::Key& key, const char* name, std::atomic<int32_t>& target) {
    const reg::Value* value = key.find(name);
    if (value == nullptr || value->type != reg::kDword || value->data.size() != 4) return;
    const auto& d = value->data;
    set(target,
        static_cast<int32_t>(d[0] | d[1] << 8 | d[2] << 16 | static_cast<uint32_t>(d[3]) << 24));
}

// Binary of exactly `size` bytes, or of any size when `size` is none.
const std::vector<uint8_t>* readBinary(const reg::Key& key, const char* name,
                                       std::optional<size_t> size) {
    const reg::Value* value = key.find(name);
    if (value == nullptr || value->type != reg::kBinary) return nullptr;
    if (size && value->data.size() != *size) return nullptr;
    return &value->data;
}

// Widths of zero make columns that cannot be seen or grabbed again: a group of four that
// adds up to nothing gets 16 pixels each, and the last group (the panes) at least 16.
void repairColumns(std::array<int32_t, Settings::kColumnSizes>& columns) {
    for (size_t group = 0; group < 6; ++group) {
        uint32_t sum = 0;  // wraps like the 32-bit sum it always was
        for (size_t i = 0; i < 4; ++i) sum += static_cast<uint32_t>(columns[group * 4 + i]);
        if (sum == 0) std::fill_n(columns.begin() + static_cast<long>(group * 4), 4, 16);
    }
    for (size_t i = 24; i < 28; ++i) columns[i] = std::max(columns[i], 16);
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string currentDirectory() {
    std::error_code ec;
    std::string path = fs::current_path(ec).string();
    // A longer path would not fit the stored form; no home folder beats a cut one.
    if (ec || path.size() > Settings::kMaxText) return {};
    return path;
}

std::optional<std::string> settingsText(const fs::path& file) {
    std::string text;
    if (file.empty() || readWholeFile(file.string(), text) != FileRead::Read) return std::nullopt;
    return text;
}

}  // namespace

fs::path settingsFilePath() {
    const auto env = environment;
    if (const std::string dir = env("SPINLOREX_CONFIG_DIR"); !dir.empty())
        return fs::path(dir) / "settings.reg";
    // The base directory rules ignore a relative XDG_CONFIG_HOME.
    if (const std::string xdg = env("XDG_CONFIG_HOME"); !xdg.empty() && xdg.starts_with('/'))
        return fs::path(xdg) / "spinlorex" / "settings.reg";
    if (const std::string home = env("HOME"); !home.empty())
        return fs::path(home) / ".config" / "spinlorex" / "settings.reg";
    return {};
}

std::string defaultHomeFolder() {
    fs::path folder;
    // The base directory rules ignore a relative XDG_DATA_HOME.
    if (const std::string xdg = environment("XDG_DATA_HOME"); xdg.starts_with('/'))
        folder = fs::path(xdg) / "spinlorex";
    else if (const std::string home = environment("HOME"); !home.empty())
        folder = fs::path(home) / ".local" / "share" / "spinlorex";
    else
        return currentDirectory();
    return folder.string().size() > Settings::kMaxText ? currentDirectory() : folder.string();
}

void loadSettings(Settings& s, const fs::path& file, std::span<const drives::Drive> drives) {
    s.resetToDefaults();
    s.homeFolder = defaultHomeFolder();
    s.cdDrive = drives::defaultCdDrive(drives);
    // The default folder is made on first use; a stored one is taken as it stands.
    const auto makeDefaultFolder = [&s, defaultFolder = s.homeFolder] {
        if (s.homeFolder != defaultFolder || defaultFolder.empty()) return;
        std::error_code ignored;
        fs::create_directories(defaultFolder, ignored);
    };

    const std::optional<std::string> text = settingsText(file);
    if (!text) {
        makeDefaultFolder();
        return;
    }
    const reg::File parsed = reg::parse(*text, kSettingsKey);
    static const reg::Key kNoValues;
    const reg::Key* found = parsed.find(kSettingsKey);
    const reg::Key& key = found != nullptr ? *found : kNoValues;

    readString(key, kHomeFolder, s.homeFolder);
    // A stored CD drive counts only while it is still a drive that takes discs.
    if (std::string stored; readString(key, kCdDrive, stored) && !stored.empty()) {
        const auto type = drives::driveType(drives, stored);
        if (type == drives::DriveType::Removable || type == drives::DriveType::CdRom)
            s.cdDrive = std::move(stored);
    }
    if (const auto* blob = readBinary(key, kInitialFolder, std::nullopt)) s.initialFolder = *blob;
    // Skins of other versions may not fit this one: they start with the built-in skin.
    if (std::string version; readString(key, kVersion, version) && version == kSettingsVersion)
        readString(key, kSkin, s.skin);
    readString(key, kAddedColumns, s.addedColumns);
    readDword(key, kDwords[0].first, s.*kDwords[0].second);
    for (const auto& [name, field] : kGuids) {
        if (const auto* blob = readBinary(key, name, sizeof(Settings::DeviceId))) {
            Settings::DeviceId id;
            std::copy(blob->begin(), blob->end(), id.begin());
            s.*field = id;
        }
    }
    if (const auto* blob = readBinary(key, kColumnSizes, kColumnBytes)) {
        for (size_t i = 0; i < s.columnSizes.size(); ++i) {
            const uint8_t* b = blob->data() + 4 * i;
            s.columnSizes[i] = static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 |
                                                    static_cast<uint32_t>(b[3]) << 24);
        }
    }
    for (const auto& [name, field] : std::span(kDwords).subspan(1)) readDword(key, name, s.*field);
    repairColumns(s.columnSizes);
    makeDefaultFolder();
}

void loadSettings() {
    const std::vector<drives::Drive> drives = drives::listDrives();
    const fs::path file = settingsFilePath();
    removeLeftoverSaves(file);
    loadSettings(settings(), file, drives);
}

void removeLeftoverSaves(const fs::path& file) {
    if (file.empty()) return;
    const std::string prefix = file.filename().string() + ".tmp-";
    std::error_code ec;
    for (fs::directory_iterator it(file.parent_path(), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(prefix)) continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        const bool running = pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
        if (!running || pid == ::getpid()) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

std::string settingsFileText(const Settings& s, const fs::path& file) {
    reg::File out = reg::parse(settingsText(file).value_or(""), kSettingsKey);
    reg::Key& key = out.findOrAdd(kSettingsKey);
    const reg::Key old{std::string(kSettingsKey), std::exchange(key.values, {})};
    key.path = kSettingsKey;

    // An empty text or folder is not written, so what the file held stays, as a registry
    // key keeps a value that is not set again. A device that is not chosen is removed:
    // no value means the default device.
    const auto setOrKeep = [&](bool write, reg::Value value) {
        if (write) {
            key.set(std::move(value));
        } else if (const reg::Value* kept = old.find(value.name)) {
            key.set(*kept);
        }
    };
    setOrKeep(!s.homeFolder.empty(), reg::stringValue(kHomeFolder, s.homeFolder));
    setOrKeep(!s.cdDrive.empty(), reg::stringValue(kCdDrive, s.cdDrive));
    key.set(reg::stringValue(kSkin, s.skin));
    // Written once there are added columns, and from then on (none is then an empty text).
    if (!s.addedColumns.empty() || old.find(kAddedColumns) != nullptr)
        key.set(reg::stringValue(kAddedColumns, s.addedColumns));
    setOrKeep(s.initialFolder && !s.initialFolder->empty(),
              reg::binaryValue(kInitialFolder, s.initialFolder.value_or(std::vector<uint8_t>{})));
    std::vector<uint8_t> columns;
    for (int32_t width : s.columnSizes) {
        const auto w = static_cast<uint32_t>(width);
        columns.insert(columns.end(),
                       {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)});
    }
    key.set(reg::binaryValue(kColumnSizes, std::move(columns)));
    key.set(reg::stringValue(kVersion, kSettingsVersion));
    for (const auto& [name, field] : kDwords)
        key.set(reg::dwordValue(name, static_cast<uint32_t>(get(s.*field))));
    for (const auto& [name, field] : kGuids) {
        if (const auto& id = s.*field)
            key.set(reg::binaryValue(name, std::vector<uint8_t>(id->begin(), id->end())));
    }
    // Values the store does not know (left by another version, or by hand) stay.
    for (const reg::Value& value : old.values) {
        if (!isStoreName(value.name)) key.values.push_back(value);
    }
    return reg::format(out);
}

void saveSettings(const Settings& s, const fs::path& file) {
    if (file.empty()) return;
    replaceFile(file, settingsFileText(s, file), FileReplacement::Folder::Create);
}

void saveSettings() { saveSettings(settings(), settingsFilePath()); }

}  // namespace spinlorex
