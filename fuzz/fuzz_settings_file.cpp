// Feeds arbitrary bytes to the store as its settings file (and to the drive list as a mount
// table), loads, saves over the same file and loads again: what a save writes must load as
// exactly what was saved, and must read and write back unchanged.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/drives/Drives.h"
#include "platform/settings/RegFile.h"
#include "platform/settings/SettingsStore.h"

using namespace spinlorex;

namespace {

bool same(const Settings& a, const Settings& b) {
    for (auto field :
         {&Settings::limitPitch, &Settings::masterTempo, &Settings::longMix, &Settings::autoZPitch,
          &Settings::autoLevel, &Settings::autoBpm, &Settings::multiInstance, &Settings::crossfader,
          &Settings::maximized, &Settings::outputMode, &Settings::toolTip, &Settings::babySecure}) {
        if (get(a.*field) != get(b.*field)) return false;
    }
    return a.homeFolder == b.homeFolder && a.cdDrive == b.cdDrive && a.skin == b.skin &&
           a.initialFolder == b.initialFolder && a.columnSizes == b.columnSizes &&
           a.soundCardGuid == b.soundCardGuid && a.soundCard1Guid == b.soundCard1Guid &&
           a.soundCard2Guid == b.soundCard2Guid;
}

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string folder =
        (std::filesystem::temp_directory_path() / "spinlorex-fuzz-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) return 0;
    const std::filesystem::path file = std::filesystem::path(folder) / "settings.reg";
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::ofstream(file, std::ios::binary) << input;

    drives::DriveSources sources{input, [](const std::string& d) { return d.size() % 2 == 0; }, {}};
    std::vector<drives::Drive> machine = drives::listDrives(sources);
    machine.push_back({"/media/cd", "/dev/sr0", "iso9660", drives::DriveType::CdRom});
    machine.push_back({"/media/stick", "/dev/sdb1", "vfat", drives::DriveType::Removable});

    Settings first;
    loadSettings(first, file, machine);
    saveSettings(first, file);
    const std::string saved = readAll(file);
    Settings second;
    loadSettings(second, file, machine);
    if (!same(first, second)) __builtin_trap();
    if (reg::format(reg::parse(saved, kSettingsKey)) != saved) __builtin_trap();

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
