#include "library/TrackTags.h"

#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>

#include <cmath>
#include <cstdlib>
#include <exception>

namespace spinlorex {
namespace {

std::string utf8(const TagLib::String& text) {
    std::string out = text.to8Bit(true);
    // Some taggers pad fixed-size fields with zeros or spaces.
    while (!out.empty() && (out.back() == '\0' || out.back() == ' ')) out.pop_back();
    return out;
}

std::string firstOf(const TagLib::PropertyMap& map, const char* name) {
    const auto found = map.find(name);
    if (found == map.end() || found->second.isEmpty()) return {};
    return utf8(found->second.front());
}

void readTag(const TagLib::Tag& tag, const TagLib::PropertyMap& properties, TrackTags& out) {
    out.artist = utf8(tag.artist());
    out.title = utf8(tag.title());
    out.album = utf8(tag.album());
    out.genre = utf8(tag.genre());
    out.comment = utf8(tag.comment());
    out.year = static_cast<int32_t>(tag.year());
    // ID3v2's TBPM and TKEY, Vorbis comments' BPM and INITIALKEY (or KEY), INFO's none.
    const std::string bpm = firstOf(properties, "BPM");
    const double tempo = bpm.empty() ? 0.0 : std::strtod(bpm.c_str(), nullptr);
    out.bpm =
        std::isfinite(tempo) && tempo > 0.0 && tempo < 1000.0 ? static_cast<float>(tempo) : 0.0f;
    out.key = firstOf(properties, "INITIALKEY");
    if (out.key.empty()) out.key = firstOf(properties, "KEY");
}

}  // namespace

std::optional<TrackTags> readTrackTags(const std::string& path) {
    try {
        TagLib::FileRef file(path.c_str(), true, TagLib::AudioProperties::Fast);
        if (file.isNull()) return std::nullopt;
        TrackTags tags;
        if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file.file())) {
            // A WAV file's tag() is its ID3 chunk only; the INFO chunk stands in without one.
            if (wav->hasID3v2Tag())
                readTag(*wav->ID3v2Tag(), wav->ID3v2Tag()->properties(), tags);
            else if (wav->hasInfoTag())
                readTag(*wav->InfoTag(), wav->InfoTag()->properties(), tags);
        } else if (const TagLib::Tag* tag = file.tag()) {
            readTag(*tag, file.file()->properties(), tags);
        }
        if (const TagLib::AudioProperties* audio = file.audioProperties())
            tags.seconds = audio->lengthInSeconds();
        return tags;
    } catch (const std::exception&) {
        // A tag TagLib chokes on must not keep the track from the lists.
        return std::nullopt;
    }
}

ArtistTitle shownArtistTitle(const TrackTags* tags, std::string_view fileName, bool fileNamesOnly) {
    ArtistTitle split = splitArtistTitle(fileName);
    if (fileNamesOnly || tags == nullptr || !tags->named()) return split;
    return {tags->artist.empty() ? std::move(split.artist) : tags->artist,
            tags->title.empty() ? std::move(split.title) : tags->title};
}

}  // namespace spinlorex
