#pragma once

#include <string>
#include <vector>

// What the plug-in dialog needs to offer DSP plug-ins: the folders to search, the plug-in
// files in them, each file's description and its modules. Qt-free; main thread. Loading a
// file to describe it runs the plug-in's own code (plug-ins are trusted).

namespace spinlorex {

// A plug-in file as the dialog lists it: its header's description, and its path, which
// the dialog hands to DspPlugin when the user picks it.
struct PluginChoice {
    std::string description;
    std::string path;
};

// The folders searched for plug-ins, in this order, each listed once and only when it
// exists: the home folder, its "plugins" folder, ~/.local/lib/spinlorex/plugins, and the
// installed folder <executable's folder>/../lib/spinlorex/plugins. A program run from the
// build tree also searches the build tree's plug-in folder (where the shipped effects are
// built). `executableFolder` defaults to the running program's folder.
std::vector<std::string> pluginFolders(const std::string& homeFolder,
                                       const std::string& executableFolder = {});

// The files named dsp_*.so in `folder` (not in its subfolders), full paths in name order.
std::vector<std::string> pluginFiles(const std::string& folder);

// Loads the file at `path` and, when it exports a DSP header, appends {its description,
// path} to `list` and returns true; false when it is not a DSP plug-in (`list` untouched).
// Both decks' lists show the same entries: the dialog fills each from one list.
bool addPluginToLists(const std::string& path, std::vector<PluginChoice>& list);

// Loads the file at `path` and appends its modules' descriptions to `modules`, module 0
// first, up to the first index without a module. False when it is not a DSP plug-in.
bool listModules(const std::string& path, std::vector<std::string>& modules);

// Every plug-in in `folders`, folder by folder, files in name order; files that are not
// DSP plug-ins are skipped.
std::vector<PluginChoice> scanPlugins(const std::vector<std::string>& folders);

}  // namespace spinlorex
