#include <gtest/gtest.h>

#include "library/SearchQuery.h"

namespace spinlorex {
namespace {

constexpr const char* kLine = "/:/music/01 DJ Test - Groove 120.mp3,4194304";

bool matches(std::string_view query, const SearchFacts& facts = {}, std::string_view line = kLine) {
    return matchesQuery(parseSearchQuery(query), line, facts);
}

TEST(SearchQuery, WhichTextsAskForThePreciseForm) {
    for (const char* plain : {"groove 126", "\"daft punk\"", "", "a-b", "rock  pop", "c:stuff"})
        EXPECT_FALSE(isPreciseSearch(plain)) << plain;
    for (const char* precise :
         {"artist:x", "-live", "bpm:120-130", "\"daft punk\" live", "Title:\"a b\"", "KEY:8A"})
        EXPECT_TRUE(isPreciseSearch(precise)) << precise;
}

TEST(SearchQuery, EveryTermMustMatchTheLineOrTheTags) {
    TrackTags tags;
    tags.artist = "Daft Punk";
    tags.title = "Around the World";
    tags.album = "Homework";
    tags.genre = "French House";
    tags.year = 1997;
    const SearchFacts facts{&tags, 121.0f, MusicalKey{9, true}};  // A minor, 8A

    EXPECT_TRUE(matches("artist:\"daft punk\" bpm:120-130", facts));
    EXPECT_TRUE(matches("groove homework", facts));  // the line, then the tags
    EXPECT_FALSE(matches("groove disco", facts));    // all terms, not any
    EXPECT_TRUE(matches("\"around the\" -live", facts));
    EXPECT_FALSE(matches("-groove", facts));
    EXPECT_FALSE(matches("title:groove", facts));  // the tags' title wins over the name's
    EXPECT_TRUE(matches("title:groove"));          // no tags: the file name's
    EXPECT_TRUE(matches("artist:\"dj test\""));
    EXPECT_TRUE(matches("album:home genre:house year:1990-1999", facts));
    EXPECT_FALSE(matches("year:1998", facts));
    EXPECT_FALSE(matches("album:home"));  // no tags, no album

    EXPECT_TRUE(matches("key:8A", facts));
    EXPECT_TRUE(matches("key:am", facts));
    EXPECT_FALSE(matches("key:9A", facts));
    EXPECT_TRUE(matches("key:~9A key:~8B key:~7a", facts));
    EXPECT_FALSE(matches("key:~10A", facts));
    EXPECT_FALSE(matches("key:8A"));  // no key known

    // Tempo: a lone number to half a BPM, "~" to 6 %, open and reversed ranges.
    EXPECT_TRUE(matches("bpm:121", facts));
    EXPECT_FALSE(matches("bpm:122", facts));
    EXPECT_TRUE(matches("bpm:~126", facts));  // 118.4..133.6
    EXPECT_FALSE(matches("bpm:~130", facts));
    EXPECT_FALSE(matches("bpm:~113", facts));  // up to 119.8
    EXPECT_TRUE(matches("bpm:120- bpm:-121 bpm:130-120", facts));
    EXPECT_FALSE(matches("bpm:120-130"));  // no tempo known
}

TEST(SearchQuery, EdgesOfTheGrammar) {
    // A field Spinlorex does not know is a plain word, colon and all.
    EXPECT_TRUE(matches("-foo /:/music"));
    EXPECT_FALSE(matches("mood:happy -x"));
    // Unreadable values match nothing; an empty value asks for nothing.
    EXPECT_FALSE(matches("key:13A", {nullptr, 0, MusicalKey{}}));
    EXPECT_FALSE(matches("bpm:fast", {nullptr, 120.0f, {}}));
    EXPECT_FALSE(matches("bpm:-", {nullptr, 120.0f, {}}));
    EXPECT_TRUE(matches("bpm: groove", {nullptr, 120.0f, {}}));
    EXPECT_TRUE(matches("\"\" groove -\"\""));
    // A quote inside a word is part of it; an unclosed phrase runs to the end.
    EXPECT_TRUE(matches("rock\"n\"roll -x", {}, "/:/m/rock\"n\"roll.mp3,1"));
    EXPECT_FALSE(matches("rock\"n\"roll -x", {}, "/:/m/rock n roll.mp3,1"));
    EXPECT_TRUE(matches("-x \"n roll", {}, "/:/m/rock n roll.mp3,1"));
    EXPECT_FALSE(matches("-x \"n rolls", {}, "/:/m/rock n roll.mp3,1"));
    // Case aside, for letters of the line and of the query alike.
    EXPECT_TRUE(matches("TITLE:GROOVE -X"));
}

}  // namespace
}  // namespace spinlorex
