#pragma once

#include <string_view>

namespace spinlorex {

// Which files the program takes, by the extension of their name (any case). Every place
// that picks files by name asks here: the files browser, playlists, drops from a file
// manager, the deck's choice of reader and the command-line tools.

// A track the decks can play: ".mp3", ".wav", ".flac", ".ogg", ".oga" or ".opus".
bool isTrackFileName(std::string_view path);
// A track read by the WAV reader.
bool isWavFileName(std::string_view path);
// A track read through libsndfile: ".flac", ".ogg", ".oga" or ".opus". (Every other track
// goes to the MP3 reader.)
bool isSndfileFileName(std::string_view path);
// A playlist file: ".m3u", ".m3u8" or ".pls".
bool isPlaylistFileName(std::string_view path);

// True when `path` ends in `extension` (which starts with "."), ignoring the case of
// ASCII letters, and holds at least one character before it.
bool hasExtension(std::string_view path, std::string_view extension);

}  // namespace spinlorex
