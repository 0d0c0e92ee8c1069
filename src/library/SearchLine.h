#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The lines of the search file "mp3DataBase.txt", one scanned track each, ended by CR LF:
//
//   drive line   MOUNT POINT ":" PATH FROM THE DRIVE'S ROOT "," SIZE
//   /media/me/STICK:/Music/a.mp3,4194304
//                                                                       /:/home/me/Music/b.mp3,5120
//   disc line    DISC NAME "=" PATH FROM THE DISC'S ROOT "," SIZE       CD1=/Music/a.mp3,4194304
//
// A line that starts with "/" is a drive line; its drive key (the mount point and ":")
// ends at the first ":/". Any other line is a disc line when its first "=" comes before
// any ":" (disc names hold neither), and a drive line of another system ("C:\Music\a.mp3")
// when a ":" comes first. A line of neither kind is a plain path. The size is the number
// after the path's last ","; a line without one (the size could not be had) ends after
// the path. Because only a number counts as a size and the drive key and disc name are
// found before the path, names holding ",", "=" and ":" keep every byte.
//
// Any thread: nothing here keeps state.

namespace spinlorex {

struct SearchLine {
    enum class Kind { Drive, Disc, Plain };

    Kind kind = Kind::Plain;
    std::string_view key;       // disc name, or drive key with its ":"; empty for a plain path
    std::string_view path;      // after the key, without the size
    std::string_view folder;    // `path` up to its last separator
    std::string_view fileName;  // `path` after its last separator
    uint32_t size = 0;          // 0 when the line has none
    char separator = '/';       // "\" in lines written by the program on Windows
};

SearchLine parseSearchLine(std::string_view line);

// The text that groups a line with its drive or disc (a drive key keeps its ":").
inline std::string_view lineKey(std::string_view line) { return parseSearchLine(line).key; }

// `first` and `second` with exactly one "/" between them (none added to an empty side).
std::string joinWithOneSlash(std::string_view first, std::string_view second);

// The file a line names: a disc's path under `cdDrive` (the "CD Drive" setting), a drive's
// path under its mount point.
std::string trackPathOf(const SearchLine& line, std::string_view cdDrive);

// The folder shown for a line: a disc's folder from the disc's root, a drive's full folder.
std::string shownFolderOf(const SearchLine& line);

// The drive key of a mount point ("/" gives "/:", "/media/me/STICK" gives "/media/me/STICK:"),
// none for a mount point that a line cannot carry (one holding ":/", CR or LF).
std::optional<std::string> driveKeyOf(std::string_view root);

// Whether a typed disc name can start lines of its own: not empty, at most 253 bytes,
// without "=", ":", CR or LF, and not starting with "/".
bool isValidDiscName(std::string_view name);
inline constexpr size_t kMaxDiscName = 253;

}  // namespace spinlorex
