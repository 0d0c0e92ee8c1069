#include <gtest/gtest.h>

#include "library/AudioFileTypes.h"

namespace spinlorex {
namespace {

TEST(AudioFileTypes, ExtensionsAreMatchedInAnyCaseAndNeedANameBeforeThem) {
    EXPECT_TRUE(isTrackFileName("/music/a.MP3"));
    EXPECT_TRUE(isTrackFileName("b.Wav"));
    EXPECT_FALSE(isTrackFileName(".mp3"));
    EXPECT_FALSE(isTrackFileName("a.mp3.txt"));
    EXPECT_FALSE(isTrackFileName("mp3"));
    EXPECT_TRUE(isWavFileName("x.WAV"));
    EXPECT_FALSE(isWavFileName("x.mp3"));
    // FLAC, Ogg Vorbis and Opus are tracks too, read through libsndfile.
    for (const char* name : {"a.flac", "b.OGG", "c.oga", "d.Opus"}) {
        EXPECT_TRUE(isTrackFileName(name)) << name;
        EXPECT_TRUE(isSndfileFileName(name)) << name;
        EXPECT_FALSE(isWavFileName(name)) << name;
    }
    EXPECT_FALSE(isSndfileFileName("a.mp3"));
    EXPECT_FALSE(isSndfileFileName("a.wav"));
    EXPECT_FALSE(isSndfileFileName(".flac"));
    EXPECT_FALSE(isTrackFileName("a.aiff"));
    EXPECT_TRUE(isPlaylistFileName("set.M3U"));
    EXPECT_TRUE(isPlaylistFileName("set.m3u8"));
    EXPECT_TRUE(isPlaylistFileName("set.pls"));
    EXPECT_FALSE(isPlaylistFileName("set.mp3"));
}

}  // namespace
}  // namespace spinlorex
