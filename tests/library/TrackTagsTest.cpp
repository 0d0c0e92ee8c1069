#include <gtest/gtest.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "audio/Mp3Reader.h"
#include "library/MusicLibrary.h"
#include "library/TagCache.h"
#include "library/TrackDatabase.h"
#include "library/TrackTags.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

namespace fs = std::filesystem;

class TrackTagsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("spinlorex-tags-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string audio(const std::string& name) {
        const std::string path = (dir_ / name).string();
        synth::Params p;
        p.seconds = 3.0;
        const auto samples = synth::render(p);
        const bool written = name.ends_with(".mp3") ? synth::writeMp3(path, samples, 44100, 2, 128)
                             : name.ends_with(".wav")
                                 ? synth::writeWav(path, samples, 44100, 2, 16)
                                 : synth::writeSndfile(path, samples, 44100, 2);
        EXPECT_TRUE(written) << name;
        return path;
    }

    fs::path dir_;
};

// ID3v2 text frames in the given encoding.
void setId3v2(TagLib::ID3v2::Tag& tag, TagLib::String::Type encoding, const TagLib::String& artist,
              const TagLib::String& title) {
    auto add = [&](const char* id, const TagLib::String& text) {
        tag.removeFrames(id);
        auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, encoding);
        frame->setText(text);
        tag.addFrame(frame);
    };
    add("TPE1", artist);
    add("TIT2", title);
    add("TALB", "Album");
    add("TCON", "House");
    add("TDRC", "1997");
    add("TBPM", "126");
    add("TKEY", "Am");
}

const TagLib::String kCafe("Caf\u00e9 M\u00fcller", TagLib::String::UTF8);

TEST_F(TrackTagsTest, EveryFormatAndEncodingReadsAsUtf8) {
    struct Case {
        const char* name;
        TagLib::String::Type encoding;
    };
    for (const Case& c :
         {Case{"latin1.mp3", TagLib::String::Latin1}, Case{"utf8.mp3", TagLib::String::UTF8},
          Case{"utf16.mp3", TagLib::String::UTF16}}) {
        const std::string path = audio(c.name);
        {
            TagLib::MPEG::File file(path.c_str());
            setId3v2(*file.ID3v2Tag(true), c.encoding, kCafe, "Groove");
            ASSERT_TRUE(file.save(
                TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers,
                c.encoding == TagLib::String::UTF8 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3));
        }
        const auto tags = readTrackTags(path);
        ASSERT_TRUE(tags) << c.name;
        EXPECT_EQ(tags->artist, "Caf\u00e9 M\u00fcller") << c.name;
        EXPECT_EQ(tags->title, "Groove");
        EXPECT_EQ(tags->album, "Album");
        EXPECT_EQ(tags->genre, "House");
        EXPECT_EQ(tags->year, 1997);
        EXPECT_EQ(tags->bpm, 126.0f);
        EXPECT_EQ(tags->key, "Am");
        EXPECT_EQ(tags->seconds, 3);
    }

    // ID3v1 alone (Latin-1 by definition).
    const std::string v1 = audio("v1.mp3");
    {
        TagLib::MPEG::File file(v1.c_str());
        file.ID3v1Tag(true)->setArtist(kCafe);
        file.ID3v1Tag()->setTitle("Old Tune");
        file.ID3v1Tag()->setYear(1984);
        ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v1, TagLib::File::StripOthers));
    }
    auto tags = readTrackTags(v1);
    ASSERT_TRUE(tags);
    EXPECT_EQ(tags->artist, "Caf\u00e9 M\u00fcller");
    EXPECT_EQ(tags->title, "Old Tune");
    EXPECT_EQ(tags->year, 1984);

    // Vorbis comments in FLAC and Ogg, with their tempo and key fields.
    for (const char* name : {"x.flac", "x.ogg"}) {
        const std::string path = audio(name);
        {
            TagLib::FileRef file(path.c_str());
            TagLib::PropertyMap map;
            map["ARTIST"] = TagLib::StringList(kCafe);
            map["TITLE"] = TagLib::StringList("Vorbis");
            map["BPM"] = TagLib::StringList("128.5");
            map["INITIALKEY"] = TagLib::StringList("8A");
            file.file()->setProperties(map);
            ASSERT_TRUE(file.save()) << name;
        }
        tags = readTrackTags(path);
        ASSERT_TRUE(tags) << name;
        EXPECT_EQ(tags->artist, "Caf\u00e9 M\u00fcller") << name;
        EXPECT_EQ(tags->title, "Vorbis");
        EXPECT_EQ(tags->bpm, 128.5f);
        EXPECT_EQ(tags->key, "8A");
    }

    // WAV: the INFO chunk alone, then an ID3 chunk, which wins.
    const std::string wav = audio("x.wav");
    {
        TagLib::RIFF::WAV::File file(wav.c_str());
        file.InfoTag()->setArtist("Info Artist");
        file.InfoTag()->setTitle("Info Title");
        ASSERT_TRUE(file.save(TagLib::RIFF::WAV::File::Info));
    }
    tags = readTrackTags(wav);
    ASSERT_TRUE(tags);
    EXPECT_EQ(tags->artist, "Info Artist");
    EXPECT_EQ(tags->title, "Info Title");
    {
        TagLib::RIFF::WAV::File file(wav.c_str());
        setId3v2(*file.ID3v2Tag(), TagLib::String::UTF8, "Id3 Artist", "Id3 Title");
        ASSERT_TRUE(file.save(TagLib::RIFF::WAV::File::AllTags));
    }
    tags = readTrackTags(wav);
    ASSERT_TRUE(tags);
    EXPECT_EQ(tags->artist, "Id3 Artist");
    EXPECT_EQ(tags->bpm, 126.0f);
}

TEST_F(TrackTagsTest, NoTagDamagedTagAndNoAudioFile) {
    const std::string bare = audio("bare.mp3");
    auto tags = readTrackTags(bare);
    ASSERT_TRUE(tags);
    EXPECT_FALSE(tags->named());
    EXPECT_EQ(tags->seconds, 3);

    // An ID3v2 header that claims frames of impossible sizes before the audio.
    const std::string damaged = (dir_ / "damaged.mp3").string();
    {
        std::ifstream in(bare, std::ios::binary);
        const std::string body((std::istreambuf_iterator<char>(in)), {});
        std::string tag("ID3\x03\x00\x00\x00\x00\x02\x00", 10);
        tag += std::string("TIT2\x7f\xff\xff\xff\x00\x00garbage", 17);
        tag.resize(10 + 256, '\xff');
        std::ofstream(damaged, std::ios::binary) << tag << body;
    }
    tags = readTrackTags(damaged);  // what can be read, never a crash
    if (tags) {
        EXPECT_LT(tags->title.size(), 300u);
    }
    Mp3Reader reader;
    EXPECT_GT(reader.open(damaged), 0);  // the track still loads

    const std::string text = (dir_ / "notes.mp3").string();
    std::ofstream(text) << "not audio at all";
    EXPECT_FALSE(readTrackTags(text).value_or(TrackTags{}).named());
    EXPECT_FALSE(readTrackTags((dir_ / "missing.mp3").string()));
}

TEST(TrackTagsNaming, TagsWinFieldByFieldUnlessTheFileNameOptionIsOn) {
    TrackTags tags;
    const std::string file = "01 DJ Test - Groove 120.mp3";
    EXPECT_EQ(shownArtistTitle(nullptr, file, false), (ArtistTitle{"01 DJ Test", "Groove 120"}));
    EXPECT_EQ(shownArtistTitle(&tags, file, false), (ArtistTitle{"01 DJ Test", "Groove 120"}));
    tags.artist = "DJ Test";
    tags.title = "Groove";
    EXPECT_EQ(shownArtistTitle(&tags, file, false), (ArtistTitle{"DJ Test", "Groove"}));
    EXPECT_EQ(shownArtistTitle(&tags, file, true), (ArtistTitle{"01 DJ Test", "Groove 120"}));
    tags.artist.clear();
    EXPECT_EQ(shownArtistTitle(&tags, file, false), (ArtistTitle{"01 DJ Test", "Groove"}));
}

TEST_F(TrackTagsTest, CacheAnswersFromTheStoreUntilTheFileChanges) {
    const std::string path = audio("cached.mp3");
    auto retitle = [&](const char* title) {
        TagLib::MPEG::File file(path.c_str());
        setId3v2(*file.ID3v2Tag(true), TagLib::String::UTF8, "Artist", title);
        ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers));
    };
    retitle("First");
    auto run = [&](uint64_t expectedReads) {
        TrackStore store;  // the one writer of the file
        store.open(dir_.string());
        TagCache cache;
        cache.open(dir_.string(), store.tagWriter());
        cache.request({path, path});
        cache.flush();
        store.flush();
        cache.take();
        EXPECT_EQ(cache.filesRead(), expectedReads);  // asked twice, read at most once
        auto tags = cache.tags(path);
        return tags ? tags->title : std::string("(none)");
    };
    EXPECT_EQ(run(1), "First");
    EXPECT_EQ(run(0), "First");  // a new run answers from the store
    retitle("Second title, longer");
    EXPECT_EQ(run(1), "Second title, longer");
    EXPECT_EQ(run(0), "Second title, longer");
}

// The files list shows the names first and takes the tags as they come; the option
// brings the file names back, and a file without tags keeps its name all along.
TEST_F(TrackTagsTest, TheFilesListTakesTagsAsTheyComeAndTheOptionRestoresFileNames) {
    const std::string tagged = audio("01 DJ Test - Groove 120.mp3");
    {
        TagLib::MPEG::File file(tagged.c_str());
        setId3v2(*file.ID3v2Tag(true), TagLib::String::UTF8, "DJ Test", "Groove");
        ASSERT_TRUE(file.save());
    }
    const std::string bare = audio("Other - Bare.mp3");
    TrackDatabase database;
    MusicLibrary library(database);
    TagCache cache;
    cache.open("");
    library.setTagCache(&cache);
    library.fillFiles({{"01 DJ Test - Groove 120.mp3", tagged, 10, false},
                       {"Other - Bare.mp3", bare, 20, false}});
    auto names = [&] {
        std::string all;
        for (const LibraryRow& row : library.files().rows())
            all += row.entry.artist + "/" + row.entry.title + ";";
        return all;
    };
    const std::string fromFileNames = "01 DJ Test/Groove 120;Other/Bare;";
    EXPECT_EQ(names(), fromFileNames);
    cache.flush();
    library.applyTags();
    EXPECT_EQ(names(), "DJ Test/Groove;Other/Bare;");
    library.setFileNamesOnly(true);
    EXPECT_EQ(names(), fromFileNames);
    library.setFileNamesOnly(false);
    EXPECT_EQ(names(), "DJ Test/Groove;Other/Bare;");
    ASSERT_TRUE(library.files().row(0).entry.tags);
    EXPECT_EQ(library.files().row(0).entry.tags->album, "Album");
}

}  // namespace
}  // namespace spinlorex
