#include "library/PlaylistFile.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "library/TrackDatabase.h"
#include "library/TrackNaming.h"

namespace spinlorex {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(text[i]) != lower(prefix[i])) return false;
    }
    return true;
}

// The whole file; false when it cannot be opened or read (a folder, a read error).
bool readWholeFile(const std::string& path, std::string& text) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return false;
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
    return std::ferror(file.get()) == 0;
}

bool exists(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::exists(path, error);
}

}  // namespace

std::vector<std::string> parsePlaylistText(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<std::string> paths;
    bool plsSection = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        if (line.size() == 10 && startsWithNoCase(line, "[playlist]")) {
            plsSection = true;
            continue;
        }
        if (!plsSection) {
            if (line.front() != '#') paths.emplace_back(line);
            continue;
        }
        if (startsWithNoCase(line, "NumberOfEntries=")) break;
        const size_t equals = line.find('=');
        if (equals != std::string_view::npos && equals + 1 < line.size())
            paths.emplace_back(line.substr(equals + 1));
    }
    return paths;
}

std::string resolvePlaylistPath(const std::string& path, const std::string& playlistFolder) {
    if (exists(path) || path.empty() || path.front() == '/' || playlistFolder.empty()) return path;
    const std::filesystem::path folder(playlistFolder);
    std::string joined = (folder / path).string();
    if (exists(joined)) return joined;
    if (path.find('\\') != std::string::npos) {
        std::string slashed = path;
        for (char& c : slashed)
            if (c == '\\') c = '/';
        joined = (folder / slashed).string();
        if (exists(joined)) return joined;
    }
    return path;
}

TrackEntry trackEntryForPath(const std::string& path, TrackDatabase& database) {
    const std::string_view name = fileNameOf(path);
    ArtistTitle names = splitArtistTitle(name);
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    TrackEntry entry;
    entry.artist = std::move(names.artist);
    entry.title = std::move(names.title);
    entry.path = path;
    // The size is part of the key as the deck's reader reports it: the low 32 bits.
    entry.record = database.findOrAdd(name, error ? 0u : static_cast<uint32_t>(size));
    return entry;
}

std::vector<TrackEntry> readPlaylistFile(const std::string& path, TrackDatabase& database) {
    std::string text;
    if (!readWholeFile(path, text)) return {};
    const std::string folder = std::filesystem::path(path).parent_path().string();
    std::vector<TrackEntry> entries;
    for (const std::string& written : parsePlaylistText(text))
        entries.push_back(trackEntryForPath(resolvePlaylistPath(written, folder), database));
    return entries;
}

bool writeTextFile(const std::string& path, std::string_view text) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    return std::fclose(file.release()) == 0 && written;
}

std::string m3uText(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& p : paths) text.append(p).push_back('\n');
    return text;
}

std::string historyText(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& p : paths) text.append(p).append("\r\n");
    return text;
}

}  // namespace spinlorex
