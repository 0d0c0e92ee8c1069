#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "library/TrackRecord.h"

namespace spinlorex {

class TrackDatabase;

// Playlist files: M3U and PLS read, M3U written; and the history's text file.

// The largest playlist file read; a larger one is refused whole.
inline constexpr uint64_t kMaxPlaylistBytes = 16u << 20;

// The entries a playlist's text names, as written, in order. Lines end with CR, LF or
// both; empty lines are skipped. M3U: one entry per line, lines starting with "#" are
// comments. A line "[Playlist]" (any case) starts a PLS section: from then on only
// "FileN=" lines (key in any case) are entries, ordered by N wherever they stand; titles,
// lengths and the entry count are not. A leading UTF-8 byte-order mark is skipped.
// Any thread: no state.
std::vector<std::string> parsePlaylistText(std::string_view text);

// Where an entry of a playlist in `playlistFolder` (absolute) points: an absolute path,
// lexically normal. A relative entry lies in the playlist's folder (with "\" read as "/"
// when only that form exists there, or when neither does); "file://" URLs (no host or
// "localhost") are percent-decoded; a Windows drive or network path stays as written.
// Empty for what is not a local file: other URLs, other hosts, a path with a control
// character (a decoded "%00" or "%0A"), an entry longer than a path can be. Any thread;
// looks at the disk.
std::string playlistEntryPath(std::string_view entry, const std::string& playlistFolder);

// One track of a playlist: its path and the size its record is keyed by (trackSizeKey of
// the file's size; 0 when the file is not there).
struct PlaylistItem {
    std::string path;
    uint32_t sizeKey = 0;
    bool operator==(const PlaylistItem&) const = default;
};

// A playlist's tracks, or why there are none: `error` is a sentence naming the file.
struct PlaylistRead {
    std::vector<PlaylistItem> items;
    std::string error;
};

// Reads a playlist file without the database, on any thread (the desk reads on a worker
// so that the window never waits on a disk). A file that is not a regular file, is
// larger than kMaxPlaylistBytes or is not text (a NUL byte or a control character other
// than tab, CR and LF) is refused with a message and no items. Only tracks become
// items: entries named as tracks (AudioFileTypes.h) that are regular files or missing (a
// disk not plugged in yet); folders, devices and files of /proc or /sys are left out.
// Playlist files it names are read in their place, each at most once along a chain and
// all together within kMaxPlaylistBytes.
PlaylistRead readPlaylistItems(const std::string& playlistPath);

// The library's rows for read items: artist and title from the file name, the record by
// name and size key. Main thread (records are found through the database).
std::vector<TrackEntry> playlistTrackEntries(const std::vector<PlaylistItem>& items,
                                             TrackDatabase& database);

// Both steps at once, for callers on the main thread: the playlist's tracks, in file
// order; empty when it is refused or cannot be read.
std::vector<TrackEntry> readPlaylistFile(const std::string& path, TrackDatabase& database);

// The track of one file on disk: its name split into artist and title, its record by
// name and size (0 when the file is missing). Symbolic links count as their target.
// Main thread.
TrackEntry trackEntryForPath(const std::string& path, TrackDatabase& database);

// Replaces the whole file with `text` through a temporary file beside it, made durable
// and renamed into place, so a failed or interrupted write leaves the old file as it was
// (a link stays a link: the file it points to is replaced). False when the text holds a
// NUL byte, the target is not a regular file, or not every byte reached the disk.
bool writeTextFile(const std::string& path, std::string_view text);

// The text of the files the library saves. Each path that names a track is written
// absolute and lexically normal (relative ones against the current folder), so it
// resolves from wherever the file is kept; what names no track ("..", a folder) or holds a
// control character (a line break, a NUL byte) is left out. Main thread or any.
// An M3U playlist: the paths, each ended by one LF, nothing else.
std::string m3uText(const std::vector<std::string>& paths);
// The history's file: the paths, each ended by CR LF.
std::string historyText(const std::vector<std::string>& paths);

}  // namespace spinlorex
