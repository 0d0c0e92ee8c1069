#include "plugins/PluginLists.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/core/FolderSearch.h"
#include "plugins/DspPlugin.h"

namespace fs = std::filesystem;

namespace spinlorex {
namespace {

const SpinlorexDspHeader* headerOf(const SharedLibrary& library) {
    const SpinlorexDspHeaderFunction function = findHeaderFunction(library);
    return function != nullptr ? function() : nullptr;
}

}  // namespace

std::vector<std::string> pluginFolders(const std::string& homeFolder,
                                       const std::string& executableFolder) {
    std::vector<fs::path> candidates;
    if (!homeFolder.empty()) {
        candidates.emplace_back(homeFolder);
        candidates.push_back(fs::path(homeFolder) / "plugins");
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        candidates.push_back(fs::path(home) / ".local" / "lib" / "spinlorex" / "plugins");
    const std::string exeFolder =
        executableFolder.empty() ? runningProgramFolder() : executableFolder;
    if (!exeFolder.empty()) {
        candidates.push_back(fs::path(exeFolder) / ".." / "lib" / "spinlorex" / "plugins");
#if defined(SPINLOREX_BUILD_DIR) && defined(SPINLOREX_BUILD_PLUGIN_DIR)
        // The build tree's executables live in per-subsystem folders, not in bin/; the
        // shipped effects are built into the installed layout at the top of the tree.
        if (isInsideFolder(exeFolder, SPINLOREX_BUILD_DIR))
            candidates.emplace_back(SPINLOREX_BUILD_PLUGIN_DIR);
#endif
    }
    return existingFolders(candidates);
}

std::vector<std::string> pluginFiles(const std::string& folder) {
    return filesOfFolder(folder, [](std::string_view name) {
        return name.size() > 7 && name.starts_with("dsp_") && name.ends_with(".so");
    });
}

bool addPluginToLists(const std::string& path, std::vector<PluginChoice>& list) {
    const SharedLibrary library(path);
    const SpinlorexDspHeader* header = headerOf(library);
    if (header == nullptr) return false;
    // A header without a description still needs a line in the list.
    std::string description =
        header->description != nullptr ? header->description : fs::path(path).filename().string();
    list.push_back({std::move(description), path});
    return true;
}

bool listModules(const std::string& path, std::vector<std::string>& modules) {
    const SharedLibrary library(path);
    const SpinlorexDspHeader* header = headerOf(library);
    if (header == nullptr) return false;
    if (header->getModule == nullptr) return true;
    for (int index = 0;; ++index) {
        const SpinlorexDspModule* module = header->getModule(index);
        if (module == nullptr) break;
        modules.emplace_back(module->description != nullptr ? module->description : "");
    }
    return true;
}

std::vector<PluginChoice> scanPlugins(const std::vector<std::string>& folders) {
    std::vector<PluginChoice> list;
    for (const std::string& folder : folders)
        for (const std::string& file : pluginFiles(folder)) addPluginToLists(file, list);
    return list;
}

}  // namespace spinlorex
