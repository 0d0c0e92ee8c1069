#include "app/CommandLine.h"

#include <QtCore/QDir>
#include <QtCore/QUrl>

#include <filesystem>

#include "library/AudioFileTypes.h"

namespace spinlorex {

const char* const kDeskUsage =
    "Usage: spinlorex [FILE...]\n"
    "The two-deck mixing desk. The first track given loads on deck 1, the second on deck 2;\n"
    "further tracks, playlists (.m3u, .m3u8, .pls) and folders join the playlist.\n"
    "When a desk already runs, the files go to it.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the program's version\n";

CommandLine parseCommandLine(const QStringList& arguments, const QString& workingFolder) {
    CommandLine out;
    bool options = true;
    const QDir base(workingFolder);
    for (const QString& argument : arguments) {
        if (options && argument == "--") {
            options = false;
        } else if (options && (argument == "--help" || argument == "-h")) {
            out.help = true;
        } else if (options && argument == "--version") {
            out.version = true;
        } else if (options && argument.startsWith('-') && argument.size() > 1) {
            if (out.error.empty()) out.error = argument.toStdString();
        } else if (argument.startsWith("file:", Qt::CaseInsensitive)) {
            const QUrl url(argument);
            if (url.isLocalFile())
                out.files.push_back(QDir::cleanPath(url.toLocalFile()).toStdString());
        } else if (!argument.isEmpty()) {
            out.files.push_back(QDir::cleanPath(base.absoluteFilePath(argument)).toStdString());
        }
    }
    return out;
}

FilesToOpen sortFilesToOpen(const std::vector<std::string>& paths) {
    FilesToOpen out;
    for (const std::string& path : paths) {
        std::error_code error;
        const auto status = std::filesystem::status(path, error);
        if (!std::filesystem::exists(status)) {
            out.missing.push_back(path);
            continue;
        }
        const bool folder = std::filesystem::is_directory(status);
        if (!folder && isTrackFileName(path) && out.decks.size() < 2)
            out.decks.push_back(path);
        else if (folder || isTrackFileName(path) || isPlaylistFileName(path))
            out.playlist.push_back(path);
    }
    return out;
}

}  // namespace spinlorex
