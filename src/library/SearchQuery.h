#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/MusicalKey.h"
#include "library/TrackTags.h"

namespace spinlorex {

// The precise form of the search box: every term must match a line.
//
//   word            the line or the track's tags hold it (case aside)
//   "a phrase"      the same, spaces and all (a quote inside a word is part of the word)
//   artist:X  title:X  album:X  genre:X
//                   that field holds X (artist and title: the tags', else the file name's)
//   key:8A          the track's key is 8A (Camelot, Open Key or a name: key:Am)
//   key:~8A         ... or one that mixes with it (keysCompatible)
//   bpm:120-130     the tempo lies in the range (bounds included, either may be left out:
//   bpm:126         bpm:120-); a lone number is that tempo to half a BPM either way
//   bpm:~126        ... to 6 % either way
//   year:1990-1999  as bpm, in whole years
//   -term           excludes the lines the term matches
//
// A field name Spinlorex does not know ("c:stuff") leaves the term a plain word; a field
// with a value it cannot read (key:13A, bpm:fast) matches no line, and one with no value
// at all (bpm:) is left out. Any thread: plain values.
struct SearchQuery {
    enum class Field { Any, Artist, Title, Album, Genre, Key, Bpm, Year };
    struct Term {
        Field field = Field::Any;
        bool exclude = false;
        bool unreadable = false;  // a value that could not be read: matches nothing
        std::string text;         // lower-cased, for the text fields
        MusicalKey key;
        bool compatible = false;  // key:~
        double low = 0.0;         // bpm and year
        double high = 0.0;
    };
    std::vector<Term> terms;
};

// Whether the typed text asks for the precise form: a known field, an excluded word, or a
// quoted phrase beside other words. Plain words, and one phrase between quotes, keep the
// word search of SearchIndex (any word matches).
bool isPreciseSearch(std::string_view text);

SearchQuery parseSearchQuery(std::string_view text);

// What is known of a line's track beside the line itself.
struct SearchFacts {
    const TrackTags* tags = nullptr;  // null: none read
    float bpm = 0.0f;                 // 0: none known
    std::optional<MusicalKey> key;    // none: the tags' key, if any
};

// Whether the line (of the search file) and its track's facts satisfy every term.
bool matchesQuery(const SearchQuery& query, std::string_view line, const SearchFacts& facts);

}  // namespace spinlorex
