#include <gtest/gtest.h>

#include <set>

#include <string>
#include <vector>

#include "desk/display/InfoTemplate.h"
#include "skin/SkinModel.h"

namespace spinlorex::display {
namespace {

struct TextRun {
    int32_t x, y;
    std::string text;
    bool operator==(const TextRun&) const = default;
};
void PrintTo(const TextRun& r, std::ostream* os) {
    *os << "(" << r.x << "," << r.y << ") \"" << r.text << "\"";
}

struct Recorder final : InfoSink {
    void segment(int32_t x, int32_t y, std::string_view text) override {
        runs.push_back({x, y, std::string(text)});
    }
    std::vector<TextRun> runs;
};

// A 200 s track at normal speed, a fifth in, cue point at 0.5.
DeckInfo playingDeck() {
    DeckInfo d;
    d.status = 0;
    d.duration = 200;
    d.position = 0.2f;
    d.trackBpm = 120.0f;
    d.localBpm = 121.0f;
    d.cuePoint = 0.5f;
    d.loudnessPeak = 1000;
    d.localLevel = 2000;
    return d;
}

std::vector<TextRun> runsOf(std::string_view templ, const DeckInfo& info = playingDeck()) {
    Recorder r;
    interpretInfoTemplate(templ, info, r);
    return r.runs;
}

// The whole output of a template without position codes.
std::string textOf(std::string_view templ, const DeckInfo& info = playingDeck()) {
    std::string all;
    for (const TextRun& r : runsOf(templ, info)) all += r.text;
    return all;
}

TEST(InfoTemplateTest, AlternateDefaultPlacesTheBpmLine58PixelsDown) {
    DeckInfo d = playingDeck();
    d.level = 0;  // "%leveldB" then has no loudness to show
    const std::vector<TextRun> runs = runsOf(kDefaultExtendedInfos, d);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(
        runs[0],
        (TextRun{0, 0, "Spent: 00:40.0\nLeft: 02:40.1\nTo CUE: -01:00.0\nTo End: 00:40.0\n"}));
    EXPECT_EQ(runs[1], (TextRun{0, 58, "BPM: 120.0\n(local: 121.0)\nLevel: --dB"}));
}

TEST(InfoTemplateTest, TimeKeysFollowPitchUnlessP) {
    DeckInfo d = playingDeck();
    d.pitch = 4505;
    // 1601 tenths left of track time; heard at 4505/4096 that is 1601 * 4096 / 4505 = 1455.
    EXPECT_EQ(textOf("%Pleft", d), "02:40.1");
    EXPECT_EQ(textOf("%left", d), "02:25.5");
    EXPECT_EQ(textOf("%Ptime|%time", d), "03:20.0|03:01.8");

    // 12.5 s of track time before the cue point.
    d.pitch = 4096;
    d.position = 0.4375f;
    EXPECT_EQ(textOf("%cue", d), "-00:12.5");
    EXPECT_EQ(textOf("%Bcue", d), "-25.0");  // beats at 120 BPM
}

TEST(InfoTemplateTest, ValuesWithoutPositionOrRangeShowDashes) {
    DeckInfo d = playingDeck();
    d.position = -1.0f;
    EXPECT_EQ(textOf("%spent %left %cue %first %end %time", d), "-- -- -- -- -- 03:20.0");
    d.trackBpm = 999.0f;
    EXPECT_EQ(textOf("%bpm %Lbpm", d), "-- 121.0");
    d.pitch = 4505;
    EXPECT_EQ(textOf("%Lbpm %PLbpm %pitch", d), "133.1 121.0 110.0");
    d.level = 0;
    EXPECT_EQ(textOf("%leveldB %PleveldB", d), "--dB -64.8dB");
    d.loudnessPeak = 0;
    EXPECT_EQ(textOf("%Plevel %Llevel", d), "-- --");
}

TEST(InfoTemplateTest, KeysAreTriedBeforeFlagsAndIgnoreCase) {
    DeckInfo d = playingDeck();
    d.level = 128;
    EXPECT_EQ(textOf("%Left|%LEFT|%left", d), "02:40.1|02:40.1|02:40.1");
    EXPECT_EQ(textOf("%Level", d), textOf("%level", d));    // the key, not L + "evel"
    EXPECT_NE(textOf("%Llevel", d), textOf("%level", d));   // the local loudness
    EXPECT_EQ(textOf("%Pitch %PPitch", d), "100.0 100.0");  // P is ignored by pitch
    EXPECT_EQ(textOf("%LBPLbpm", d), "121.0");              // flags in any number and order
    EXPECT_EQ(textOf("%pbpm %xyz %Pxyz 5%% %", d), "%pbpm %xyz %Pxyz 5% %");  // no key: copied
    EXPECT_EQ(textOf("%timeleft", d), "03:20.0left");
}

TEST(InfoTemplateTest, LoopAndNextHotCueKeys) {
    DeckInfo d = playingDeck();
    EXPECT_EQ(textOf("%loop %hotcue", d), "-- --");
    d.loopSeconds = 0.0625f;
    d.loopBeats = 0.125f;
    EXPECT_EQ(textOf("%loop", d), "1/8");
    d.loopBeats = 32.0f;
    EXPECT_EQ(textOf("%loop", d), "32");
    d.loopBeats = 0.0f;  // a loop by hand on a track without a tempo
    d.loopSeconds = 2.26f;
    EXPECT_EQ(textOf("%loop", d), "2.3s");
    d.position = 0.25f;
    d.nextHotCue = 0.3125f;  // 12.5 s ahead
    EXPECT_EQ(textOf("%hotcue %Bhotcue", d), "-00:12.5 -25.0");
    EXPECT_EQ(textOf("%key", d), "--");
    d.key = {'1', '1', 'B'};
    EXPECT_EQ(textOf("Key: %KEY.", d), "Key: 11B.");
}

TEST(InfoTemplateTest, Escapes) {
    EXPECT_EQ(textOf(R"(\65\66x)"), "ABx");
    EXPECT_EQ(textOf(R"(a\\b\tc\nd\re)"), "a\\b\tc\r\nd\re");
    EXPECT_EQ(textOf(R"(\q\%time)"), "\\q\\03:20.0");  // an unknown escape keeps the backslash
    EXPECT_EQ(textOf("end\\"), "end\\");
    EXPECT_EQ(textOf(R"(\233\0\99999999!)"), "\xC3\xA9!");  // a code point; no character, nothing
}

TEST(InfoTemplateTest, PositionCodesStartNewRuns) {
    EXPECT_EQ(runsOf("a%5b%10,20c%3,d%7"),
              (std::vector<TextRun>{{0, 0, "a"}, {0, 5, "b"}, {10, 20, "c"}, {3, 0, "d"}}));
}

TEST(InfoTemplateTest, ALongRunIsCutOnACharacterBoundary) {
    std::string templ(kInfoSegmentCapacity - 1, 'x');
    templ += "\xC3\xA9 and more%9tail";  // the two-byte character no longer fits
    const std::vector<TextRun> runs = runsOf(templ);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, std::string(kInfoSegmentCapacity - 1, 'x'));
    EXPECT_EQ(runs[1], (TextRun{0, 9, "tail"}));

    const std::string huge(5000, '%');  // "%%" pairs: every one adds a character
    const std::vector<TextRun> cut = runsOf(huge + "%%%1ok");
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0].text.size(), kInfoSegmentCapacity);
}

TEST(InfoTemplateTest, FormatInfoValue) {
    DeckInfo d = playingDeck();
    char out[32];
    EXPECT_EQ(formatInfoValue(2057, 0, d, out), "03:25.7");
    EXPECT_EQ(formatInfoValue(-5, 0, d, out), "-00:00.5");
    EXPECT_EQ(formatInfoValue(600 * 123 + 5, 0, d, out),
              "123:00.5");                                     // minutes grow past two digits
    EXPECT_EQ(formatInfoValue(600, kFlagB, d, out), "120.0");  // a minute at 120 BPM
    d.pitch = 8192;
    EXPECT_EQ(formatInfoValue(600, 0, d, out), "00:30.0");
    EXPECT_EQ(formatInfoValue(600, kFlagP, d, out), "01:00.0");
    d.trackBpm = 0.5f;
    EXPECT_EQ(formatInfoValue(600, kFlagB, d, out), "--");

    char tiny[4];
    EXPECT_EQ(formatInfoValue(2057, 0, d, tiny), "01:");
}

TEST(InfoTemplateTest, EachStatusHasItsOwnMessageAndNormalNone) {
    const std::set<std::string_view> messages{statusMessage(153), statusMessage(156),
                                              statusMessage(157), statusMessage(158)};
    EXPECT_EQ(messages.size(), 4u);
    EXPECT_FALSE(messages.contains(""));
    for (const uint32_t other : {0u, 154u, 155u, 159u})
        EXPECT_EQ(statusMessage(other), "") << other;
}

}  // namespace
}  // namespace spinlorex::display
