#include <gtest/gtest.h>

#include "library/MusicalKey.h"
#include "library/TrackRecord.h"
#include "library/TrackTags.h"

namespace spinlorex {
namespace {

MusicalKey key(std::string_view text) {
    const auto parsed = parseKey(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.value_or(MusicalKey{});
}

TEST(MusicalKey, NotationsNameTheSameKeys) {
    struct Row {
        MusicalKey key;
        const char* camelot;
        const char* openKey;
        const char* musical;
    };
    const Row rows[] = {
        {{9, true}, "8A", "1m", "A minor"},     {{0, false}, "8B", "1d", "C major"},
        {{4, true}, "9A", "2m", "E minor"},     {{7, false}, "9B", "2d", "G major"},
        {{2, true}, "7A", "12m", "D minor"},    {{5, false}, "7B", "12d", "F major"},
        {{8, true}, "1A", "6m", "G# minor"},    {{11, false}, "1B", "6d", "B major"},
        {{3, true}, "2A", "7m", "Eb minor"},    {{6, false}, "2B", "7d", "Gb major"},
        {{10, false}, "6B", "11d", "Bb major"}, {{1, true}, "12A", "5m", "C# minor"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(keyText(r.key, KeyNotation::Camelot), r.camelot);
        EXPECT_EQ(keyText(r.key, KeyNotation::OpenKey), r.openKey);
        EXPECT_EQ(keyText(r.key, KeyNotation::Musical), r.musical);
        EXPECT_EQ(key(r.camelot), r.key) << r.camelot;
        EXPECT_EQ(key(r.openKey), r.key) << r.openKey;
        EXPECT_EQ(key(r.musical), r.key) << r.musical;
    }
    // Every key goes round the codes analysers store and back.
    for (int code = 1; code <= 24; ++code) EXPECT_EQ(codeOfKey(*keyOfCode(code)), code);
    EXPECT_FALSE(keyOfCode(0));
    EXPECT_FALSE(keyOfCode(25));
}

TEST(MusicalKey, ReadsTheShortFormsOfTagsAndRefusesTheRest) {
    EXPECT_EQ(key("Am"), (MusicalKey{9, true}));
    EXPECT_EQ(key("F#m"), (MusicalKey{6, true}));
    EXPECT_EQ(key("Bbm"), (MusicalKey{10, true}));
    EXPECT_EQ(key("Ab"), (MusicalKey{8, false}));
    EXPECT_EQ(key("b"), (MusicalKey{11, false}));
    EXPECT_EQ(key("cb"), (MusicalKey{11, false}));
    EXPECT_EQ(key("12a"), (MusicalKey{1, true}));
    for (const char* bad : {"", "13A", "0B", "8C", "H", "Amx", "8", "A minorish", "123A"})
        EXPECT_FALSE(parseKey(bad)) << bad;
}

TEST(MusicalKey, CompatibleKeysAreTheSameANeighbourOrTheRelative) {
    const MusicalKey a8 = key("8A");
    for (const char* good : {"8A", "7A", "9A", "8B"}) EXPECT_TRUE(keysCompatible(a8, key(good)));
    for (const char* bad : {"10A", "6A", "7B", "9B", "2A"})
        EXPECT_FALSE(keysCompatible(a8, key(bad))) << bad;
    // Round the wheel's ends.
    EXPECT_TRUE(keysCompatible(key("12B"), key("1B")));
    EXPECT_TRUE(keysCompatible(key("1A"), key("12A")));
}

TEST(MusicalKey, PitchMovesTheKeyByTheNearestSemitone) {
    const MusicalKey am = key("Am");
    EXPECT_EQ(keyAtPitch(am, 4096), am);
    EXPECT_EQ(keyAtPitch(am, 4096 * 106 / 100), key("A#m"));  // +6 %
    EXPECT_EQ(keyAtPitch(am, 4096 * 94 / 100), key("G#m"));   // -6 %
    EXPECT_EQ(keyAtPitch(am, 4096 * 102 / 100), am);          // +2 %: under half a semitone
    EXPECT_EQ(keyAtPitch(am, 5462), key("Dm"));               // +33 %: five semitones
}

// The key found by the analysis wins over the tagged one; either stands alone.
TEST(MusicalKey, ATracksKeyIsTheDetectedOneElseTheTaggedOne) {
    TrackTags tags;
    tags.key = "Cm";
    TrackRecord record;
    EXPECT_EQ(trackKeyOf(&record, &tags), key("5A"));
    auto grid = std::make_shared<BeatGrid>();
    grid->key = codeOfKey(key("8A"));
    record.grid = grid;
    EXPECT_EQ(trackKeyOf(&record, &tags), key("8A"));
    EXPECT_EQ(trackKeyOf(&record, nullptr), key("8A"));
    grid->key = kNoKeyCode;
    tags.key = "fast";
    EXPECT_EQ(trackKeyOf(&record, &tags), std::nullopt);
}

}  // namespace
}  // namespace spinlorex
