#pragma once

#include <QtCore/QStringList>

#include <string>
#include <vector>

namespace spinlorex {

// What `spinlorex [OPTION] [FILE...]` asks for.
struct CommandLine {
    std::vector<std::string> files;  // absolute paths, in the order given
    bool help = false;
    bool version = false;
    std::string error;  // an option the program does not know; empty when none
};

// Reads the arguments after the program's name (Qt's own options already taken out).
// Relative paths are taken from `workingFolder`, "file://" URLs (as file managers may pass
// them) become paths; "--" ends the options.
CommandLine parseCommandLine(const QStringList& arguments, const QString& workingFolder);

// Where the files of a start go: the first two tracks to deck 1 and deck 2, every other
// track, playlist file and folder to the end of the playlist, in the order given. Files of
// other kinds are left out; files that are not there are listed apart.
struct FilesToOpen {
    std::vector<std::string> decks;
    std::vector<std::string> playlist;
    std::vector<std::string> missing;
};
FilesToOpen sortFilesToOpen(const std::vector<std::string>& paths);

// The text of `spinlorex --help`.
extern const char* const kDeskUsage;

}  // namespace spinlorex
