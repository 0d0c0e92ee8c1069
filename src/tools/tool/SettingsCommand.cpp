// spinlorex-tool settings: loads the settings as the desk does at start-up (defaults, the
// file, the checks against this machine's drives) and prints what a save would write.

#include <cstdio>

#include "platform/drives/Drives.h"
#include "platform/settings/SettingsStore.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/Commands.h"

namespace spinlorex::tool {

int settingsCommand(const Args& args) {
    ArgParser a(args, {"--file"}, {});
    if (!a.ok() || !a.positional().empty()) {
        std::fprintf(stderr, "usage: spinlorex-tool settings [--file SETTINGS.reg]\n");
        return 2;
    }
    const std::filesystem::path file = a.value("--file").value_or(settingsFilePath().string());
    const std::vector<drives::Drive> drives = drives::listDrives();
    loadSettings(settings(), file, drives);
    const std::string text = settingsFileText(settings(), file);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace spinlorex::tool
