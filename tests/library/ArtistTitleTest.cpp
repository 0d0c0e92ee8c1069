// Artist and title as every library list shows them, from a track's file name.

#include <gtest/gtest.h>

#include <utility>

#include "library/ArtistTitle.h"

namespace spinlorex {
namespace {

std::pair<std::string, std::string> split(std::string_view name) {
    std::pair<std::string, std::string> out{"(unset)", "(unset)"};
    splitArtistTitle(name, out.first, out.second);
    return out;
}

using Pair = std::pair<std::string, std::string>;

TEST(ArtistTitle, NamesSplitAsTheListsShowThem) {
    EXPECT_EQ(split("Some_Artist - Some Title.mp3"), Pair("Some Artist", "Some Title"));
    EXPECT_EQ(split("(DJ X) Track.mp3"), Pair("DJ X", "Track"));
    // Underscores read as spaces, the extension goes in any case, spaces around "-" go,
    // spaces at the end of the title stay.
    EXPECT_EQ(split("_Artist_-_Title.MP3"), Pair("Artist", "Title"));
    EXPECT_EQ(split("  Artist -Title  .mp3"), Pair("Artist", "Title  "));
    EXPECT_EQ(split("No dash here.mp3"), Pair("", "No dash here"));
    EXPECT_EQ(split("( Artist "), Pair("Artist", ""));  // no ")"
    EXPECT_EQ(split("(A)"), Pair("A", ""));
    EXPECT_EQ(split("A - B - C.wav"), Pair("A", "B - C.wav"));  // ".wav" stays
    EXPECT_EQ(split(".mp3"), Pair("", ".mp3"));               // four characters are not cut
    EXPECT_EQ(split("x.mp3"), Pair("", "x"));
    EXPECT_EQ(split(""), Pair("", ""));
}

}  // namespace
}  // namespace spinlorex
