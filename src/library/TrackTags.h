#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "library/TrackNaming.h"

namespace spinlorex {

// What a file's tags say of its track, in UTF-8 whatever the tag's own encoding (ID3v1
// and Latin-1 frames included). Empty texts and zeros for what the tags leave out.
struct TrackTags {
    std::string artist;
    std::string title;
    std::string album;
    std::string genre;
    std::string comment;
    std::string key;  // as tagged ("Am", "8A", "A minor"...; library/MusicalKey.h reads it)
    int32_t year = 0;
    int32_t seconds = 0;  // the audio's length, 0 when unknown
    float bpm = 0.0f;     // a tempo stored in the tags, 0 when none

    bool named() const { return !artist.empty() || !title.empty(); }
    bool operator==(const TrackTags&) const = default;
};

// Reads the tags of the file at `path` through TagLib: ID3v2 and ID3v1 (MP3), the Vorbis
// comments (Ogg, FLAC), the INFO and ID3 chunks (WAV), MP4 and the others TagLib knows.
// None when the file cannot be opened or is of no kind TagLib reads; a file without tags
// or with a damaged one gives what could be read (maybe nothing). Any thread, several at
// once; takes as long as the disk.
std::optional<TrackTags> readTrackTags(const std::string& path);

// The artist and title a list shows for a track: each from the tags where they have it,
// else from the file name (splitArtistTitle); all from the file name when `fileNamesOnly`
// (the option that restores the file-name split everywhere) or without tags. Any thread.
ArtistTitle shownArtistTitle(const TrackTags* tags, std::string_view fileName, bool fileNamesOnly);

}  // namespace spinlorex
