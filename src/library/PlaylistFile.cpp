#include "library/PlaylistFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <filesystem>
#include <system_error>
#include <utility>

#include "library/AudioFileTypes.h"
#include "library/TrackDatabase.h"
#include "library/TrackNaming.h"
#include "platform/core/AsciiText.h"
#include "platform/core/WholeFile.h"

#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace spinlorex {

namespace fs = std::filesystem;

namespace {

// More tracks than any real set holds: beyond it a list is refused, so that a file of
// short lines cannot flood the desk with rows.
constexpr size_t kMaxPlaylistTracks = 100000;
// How deep playlists naming playlists are followed.
constexpr size_t kMaxNesting = 8;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = ascii::lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "scheme://...": a URL rather than a path.
bool isUrl(std::string_view entry) {
    const size_t colon = entry.find("://");
    if (colon == std::string_view::npos || colon == 0 || !ascii::isLetter(entry[0])) return false;
    return std::all_of(entry.begin(), entry.begin() + static_cast<long>(colon), [](char c) {
        return ascii::isLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    });
}

// "%XX" decoded; a "%" not followed by two hex digits stays as it is.
std::string percentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            decoded.push_back(
                static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

std::string normal(const fs::path& path) { return path.lexically_normal().string(); }

bool exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

// Files of the kernel's pseudo file systems: regular to stat, but endless or not data.
bool onPseudoFileSystem(const std::string& path) {
#ifdef __linux__
    struct statfs fileSystem {};
    if (::statfs(path.c_str(), &fileSystem) != 0) return false;
    switch (static_cast<unsigned long>(fileSystem.f_type)) {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case SECURITYFS_MAGIC:
            return true;
        default:
            return false;
    }
#else
    (void)path;
    return false;
#endif
}

bool isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != '\t') || byte == 0x7F;
}

// Text as people write it: no NUL bytes and no control characters but tab and line ends.
// (Bytes above 127 are not judged: old playlists are in any 8-bit encoding.)
bool isText(std::string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return isControl(c) && c != '\n' && c != '\r'; });
}

// A path a list's line can hold and read back: none of those, nor a line end.
bool fitsOnALine(std::string_view path) {
    return std::none_of(path.begin(), path.end(), isControl);
}

// Calls `take` with each entry of the text, in order (see parsePlaylistText).
template <typename Take>
void forEachEntry(std::string_view text, Take take) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<std::pair<uint64_t, std::string_view>> numbered;  // PLS "FileN=" entries
    bool plsSection = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        if (line.size() == 10 && ascii::startsWithNoCase(line, "[playlist]")) {
            plsSection = true;
            continue;
        }
        if (!plsSection) {
            if (line.front() != '#') take(line);
            continue;
        }
        if (!ascii::startsWithNoCase(line, "file")) continue;
        uint64_t number = 0;
        const char* digits = line.data() + 4;
        const char* lineEnd = line.data() + line.size();
        const auto [after, error] = std::from_chars(digits, lineEnd, number);
        if (error != std::errc{} || after == digits || after == lineEnd || *after != '=') continue;
        const std::string_view value = line.substr(static_cast<size_t>(after - line.data()) + 1);
        if (!value.empty()) numbered.emplace_back(number, value);
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [number, value] : numbered) take(value);
}

enum class Refusal { None, CannotRead, NotAPlaylist, TooLarge };

// The whole file when it is a regular file of text of at most `limit` bytes.
Refusal readPlaylistText(const std::string& path, uint64_t limit, std::string& text) {
    switch (readWholeFile(path, text, limit)) {
        case FileRead::Read:
            break;
        case FileRead::NotAFile:
            return Refusal::NotAPlaylist;
        case FileRead::TooLarge:
            return Refusal::TooLarge;
        default:
            return Refusal::CannotRead;
    }
    if (isText(text)) return Refusal::None;
    text.clear();
    return Refusal::NotAPlaylist;
}

std::string refusalMessage(const std::string& name, Refusal refusal) {
    switch (refusal) {
        case Refusal::CannotRead:
            return name + " cannot be read.";
        case Refusal::NotAPlaylist:
            return name + " is not a playlist.";
        case Refusal::TooLarge:
            return name + " is too large (more than 16 MB).";
        default:
            return {};
    }
}

// One read of a playlist and the playlists it names.
class PlaylistReader {
public:
    PlaylistRead read(const std::string& path) {
        name_ = path;
        std::error_code ignored;
        const std::string absolute = normal(fs::absolute(path, ignored));
        const Refusal refusal = readList(absolute.empty() ? path : absolute);
        if (refusal != Refusal::None) result_.error = refusalMessage(name_, refusal);
        if (!result_.error.empty()) result_.items.clear();
        return std::move(result_);
    }

private:
    Refusal readList(const std::string& path) {
        std::string text;
        const Refusal refusal = readPlaylistText(path, budget_, text);
        if (refusal != Refusal::None) return refusal;
        budget_ -= text.size();
        chain_.push_back(path);
        const std::string folder = fs::path(path).parent_path().string();
        forEachEntry(text, [&](std::string_view entry) {
            if (result_.error.empty()) take(playlistEntryPath(entry, folder));
        });
        chain_.pop_back();
        return Refusal::None;
    }

    void take(std::string path) {
        if (path.empty()) return;
        if (isPlaylistFileName(path)) {
            // A list named by another is read in its place; one that is refused, or is
            // already being read, adds nothing.
            if (chain_.size() < kMaxNesting &&
                std::find(chain_.begin(), chain_.end(), path) == chain_.end())
                readList(path);
            return;
        }
        if (!isTrackFileName(path)) return;
        uint32_t sizeKey = 0;
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0) {
            if (!S_ISREG(status.st_mode) || onPseudoFileSystem(path)) return;
            sizeKey = trackSizeKey(static_cast<uint64_t>(status.st_size));
        }
        if (result_.items.size() == kMaxPlaylistTracks) {
            result_.error = name_ + " is too large (more than " +
                            std::to_string(kMaxPlaylistTracks) + " tracks).";
            return;
        }
        result_.items.push_back({std::move(path), sizeKey});
    }

    std::string name_;  // the list as the caller named it, for messages
    PlaylistRead result_;
    uint64_t budget_ = kMaxPlaylistBytes;
    std::vector<std::string> chain_;  // the lists being read, outermost first
};

TrackEntry entryFor(std::string path, uint32_t sizeKey, TrackDatabase& database) {
    const std::string_view name = fileNameOf(path);
    ArtistTitle names = splitArtistTitle(name);
    TrackEntry entry;
    entry.artist = std::move(names.artist);
    entry.title = std::move(names.title);
    entry.record = database.findOrAdd(name, sizeKey);
    entry.path = std::move(path);
    return entry;
}

// How a path is written into a saved list, or empty when it is left out.
std::string savedPath(const std::string& path) {
    if (!fitsOnALine(path) || !isTrackFileName(path)) return {};
    if (isWindowsPath(path)) return path;
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? std::string() : normal(absolute);
}

std::string listText(const std::vector<std::string>& paths, std::string_view lineEnd) {
    std::string text;
    for (const std::string& p : paths)
        if (const std::string saved = savedPath(p); !saved.empty())
            text.append(saved).append(lineEnd);
    return text;
}

}  // namespace

std::vector<std::string> parsePlaylistText(std::string_view text) {
    std::vector<std::string> entries;
    forEachEntry(text, [&](std::string_view entry) { entries.emplace_back(entry); });
    return entries;
}

std::string playlistEntryPath(std::string_view entry, const std::string& playlistFolder) {
    if (entry.empty() || entry.size() > PATH_MAX || entry.find('\0') != std::string_view::npos)
        return {};
    if (isUrl(entry)) {
        if (!ascii::startsWithNoCase(entry, "file://")) return {};
        entry.remove_prefix(7);
        if (ascii::startsWithNoCase(entry, "localhost/")) entry.remove_prefix(9);
        if (!entry.starts_with('/')) return {};  // a file of another machine
        const std::string path = percentDecoded(entry);
        return fitsOnALine(path) ? normal(path) : std::string();
    }
    if (isWindowsPath(entry)) return std::string(entry);
    if (entry.front() == '/') return normal(entry);
    const fs::path folder(playlistFolder);
    const std::string asWritten = normal(folder / entry);
    if (entry.find('\\') == std::string_view::npos || exists(asWritten)) return asWritten;
    std::string slashed(entry);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return normal(folder / slashed);
}

PlaylistRead readPlaylistItems(const std::string& playlistPath) {
    return PlaylistReader().read(playlistPath);
}

std::vector<TrackEntry> playlistTrackEntries(const std::vector<PlaylistItem>& items,
                                             TrackDatabase& database) {
    std::vector<TrackEntry> entries;
    entries.reserve(items.size());
    for (const PlaylistItem& item : items)
        entries.push_back(entryFor(item.path, item.sizeKey, database));
    return entries;
}

std::vector<TrackEntry> readPlaylistFile(const std::string& path, TrackDatabase& database) {
    return playlistTrackEntries(readPlaylistItems(path).items, database);
}

TrackEntry trackEntryForPath(const std::string& path, TrackDatabase& database) {
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    return entryFor(path, error ? 0u : trackSizeKey(size), database);
}

bool writeTextFile(const std::string& path, std::string_view text) {
    return text.find('\0') == std::string_view::npos && replaceFile(path, text);
}

std::string m3uText(const std::vector<std::string>& paths) { return listText(paths, "\n"); }

std::string historyText(const std::vector<std::string>& paths) { return listText(paths, "\r\n"); }

}  // namespace spinlorex
