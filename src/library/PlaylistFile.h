#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "library/TrackRecord.h"

namespace spinlorex {

class TrackDatabase;

// Playlist files: M3U and PLS read, M3U written; and the history's text file.
// Main thread (records are found through the database).

// The paths a playlist's text names, in order. Lines end with CR, LF or both; empty lines
// are skipped. M3U: one path per line, lines starting with "#" are comments. A line
// "[Playlist]" (any case) starts a PLS section: from then on every line holding a "="
// gives the text after its first "=", whatever its key, and a line starting with
// "NumberOfEntries=" (any case) ends the file. A leading UTF-8 byte-order mark is skipped.
std::vector<std::string> parsePlaylistText(std::string_view text);

// Where a path of a playlist file lies: as written when that exists; else, for a relative
// path, the same path under the playlist's folder (with "\" read as "/" when only that
// form exists there); else as written.
std::string resolvePlaylistPath(const std::string& path, const std::string& playlistFolder);

// The tracks of a playlist file, in file order; empty when it cannot be read. Each
// entry's record is found or made by file name (after the last "/" or "\") and size, the
// size 0 for a file that does not exist; artist and title come from the file name.
std::vector<TrackEntry> readPlaylistFile(const std::string& path, TrackDatabase& database);

// The track of one file on disk: its name split into artist and title, its record by
// name and size (0 when the file is missing). Symbolic links count as their target.
TrackEntry trackEntryForPath(const std::string& path, TrackDatabase& database);

// Writes `text` as the whole file (created or replaced). False when the file could not
// be created or not every byte reached it.
bool writeTextFile(const std::string& path, std::string_view text);

// An M3U playlist: the paths, each ended by one LF, nothing else.
std::string m3uText(const std::vector<std::string>& paths);
// The history's file: the paths, each ended by CR LF.
std::string historyText(const std::vector<std::string>& paths);

}  // namespace spinlorex
