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
    EXPECT_TRUE(isPlaylistFileName("set.M3U"));
    EXPECT_TRUE(isPlaylistFileName("set.m3u8"));
    EXPECT_TRUE(isPlaylistFileName("set.pls"));
    EXPECT_FALSE(isPlaylistFileName("set.mp3"));
}

}  // namespace
}  // namespace spinlorex
