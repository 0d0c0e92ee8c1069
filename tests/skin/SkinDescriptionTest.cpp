#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "skin/SkinDescription.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

// The least a description needs to be accepted.
const std::string kMinimal = "Version=1\n[files window]\nPos=52,355,723,235\n";

struct Read {
    DescriptionVerdict verdict;
    SkinModel model;
};

Read read(const std::string& text) {
    Read r;
    r.verdict = readSkinDescription(text, r.model);
    return r;
}

// Reads `text` after the minimal description, in the skin-wide part (before any section).
SkinValues values(const std::string& text) {
    Read r = read(text + "\n" + kMinimal);
    EXPECT_EQ(r.verdict, DescriptionVerdict::Accepted);
    return r.model.values;
}

SkinControl control(const std::string& section, int32_t id) {
    Read r = read(kMinimal + section);
    EXPECT_EQ(r.verdict, DescriptionVerdict::Accepted);
    return r.model.controls[static_cast<size_t>(id)];
}

TEST(SkinDescription, RefusesWithoutAVersionOrAFilesWindowPlacement) {
    EXPECT_EQ(read(kMinimal).verdict, DescriptionVerdict::Accepted);
    EXPECT_EQ(read("[files window]\nPos=1,2,3,4\n").verdict, DescriptionVerdict::NoVersion);
    EXPECT_EQ(read("Version=0\n[files window]\nPos=1,2,3,4\n").verdict,
              DescriptionVerdict::NoVersion);
    // Blanks around "=" make another key.
    EXPECT_EQ(read("Version = 1\n[files window]\nPos=1,2,3,4\n").verdict,
              DescriptionVerdict::NoVersion);
    EXPECT_EQ(read("Version=2\n").verdict, DescriptionVerdict::NoFilesWindow);
    EXPECT_EQ(read("Version=1\n[files window]\nUp=1,2\n").verdict,
              DescriptionVerdict::NoFilesWindow);
    // A Pos that is ignored: too few values, or a negative height.
    EXPECT_EQ(read("Version=1\n[files window]\nPos=1,2,3\n").verdict,
              DescriptionVerdict::NoFilesWindow);
    EXPECT_EQ(read("Version=1\n[files window]\nPos=1,2,3,-4\n").verdict,
              DescriptionVerdict::NoFilesWindow);
    // The version may come last; a later one replaces an earlier one.
    EXPECT_EQ(read("[files window]\nPos=1,2,3,4\n[nothing]\nVersion=3\n").verdict,
              DescriptionVerdict::Accepted);
    // "[]" is the section of control 0, where Version is no key at all.
    EXPECT_EQ(read("[files window]\nPos=1,2,3,4\n[]\nVersion=3\n").verdict,
              DescriptionVerdict::NoVersion);
    EXPECT_EQ(read(kMinimal + "[nothing]\nVersion=0\n").verdict, DescriptionVerdict::NoVersion);
}

TEST(SkinDescription, StartsFromDefaultsAndAbsentControls) {
    const Read r = read(kMinimal);
    EXPECT_EQ(r.model.values, SkinValues{});
    EXPECT_EQ(r.model.controls[ctl::Play1], SkinControl::absent(kMaskAlways));
    EXPECT_EQ(r.model.controls[ctl::Mix].panelMask, kMaskMixPlaylistOnly);
    EXPECT_EQ(read("MixNowAlwaysVisible=yes\n" + kMinimal).model.controls[ctl::Mix].panelMask,
              kMaskAlways);
}

TEST(SkinDescription, Colours) {
    EXPECT_EQ(values("FontColor=#FF8000").fontColor, skinRgb(255, 128, 0));
    EXPECT_EQ(values("FontColor=  #ff8000 / orange").fontColor, skinRgb(255, 128, 0));
    EXPECT_EQ(values("FontColor=255,128").fontColor, skinRgb(255, 128, 255));
    EXPECT_EQ(values("CueColor=300, -1 ,2").cueColor, skinRgb(44, 255, 2));
    EXPECT_EQ(values("CueColor=#FF80zz").cueColor, skinRgb(0, 0xFF, 0x80));  // reading stops at z
    EXPECT_EQ(values("CueColor=#123456789ABCDEF").cueColor, skinRgb(255, 255, 255));
    EXPECT_EQ(values("fontbackcolor=1,2,3").fontBackColor, skinRgb(1, 2, 3));
}

TEST(SkinDescription, TextValuesAreCutAtCommentsAndAtTheirFields) {
    EXPECT_EQ(values("FontName=\t Arial Black   / a comment").fontName, "Arial Black");
    EXPECT_EQ(values("FontName=" + std::string(300, 'f')).fontName, std::string(kMaxFontName, 'f'));
    // A cut never leaves half of a UTF-8 character behind.
    EXPECT_EQ(values("FontName=" + std::string(126, 'f') + "\xC3\xA9").fontName,
              std::string(126, 'f'));

    // Templates keep their leading blanks and their escapes, and end at a slash.
    EXPECT_EQ(values("SimpleInfos=  %spent\\n%left/ comment").simpleInfos, "  %spent\\n%left");
    EXPECT_EQ(values("ExtendedInfos=Level: %leveldB\r").extendedInfos, "Level: %leveldB");
    EXPECT_EQ(values("SimpleInfos=" + std::string(600, 't')).simpleInfos.size(),
              kMaxDescriptionLine - 12);

    // Text after a NUL byte is not seen.
    EXPECT_EQ(values(std::string("FontName=Ab\0cd", 14)).fontName, "Ab");
}

TEST(SkinDescription, SwitchesAndIntegers) {
    const SkinValues v = values(
        "PlayPause=no\nCueStop= Yes / ok\nPitchLevel=on\nFontSizeTitle=20,5\n"
        "RhythmColor3=-4\nFontSizeText=99999999999\nFontSizeAuthor=-99999999999\n"
        "FontSizeSimpleInfos=x\nUnknownKey=7");
    EXPECT_FALSE(v.playPause);
    EXPECT_TRUE(v.cueStop);
    EXPECT_FALSE(v.pitchLevel);
    EXPECT_EQ(v.fontSizeTitle, 20);
    EXPECT_EQ(v.rhythmColor3, -4);
    EXPECT_EQ(v.fontSizeText, INT_MAX);
    EXPECT_EQ(v.fontSizeAuthor, INT_MIN);
    EXPECT_EQ(v.fontSizeSimpleInfos, 0);
    EXPECT_TRUE(values("CueStop=TRUE").cueStop);
    EXPECT_TRUE(values("CueStop=1").cueStop);
    EXPECT_FALSE(values("CueStop=11").cueStop);
}

TEST(SkinDescription, PosPlacesOnTheDeskAndTakesTheLookWhereItSays) {
    const SkinControl c = control("[close]\nPos=830,700,11,10 ; top right\n", ctl::Close);
    EXPECT_EQ((std::array{c.x, c.y, c.width, c.height}), (std::array{30, 100, 11, 10}));
    EXPECT_EQ((std::array{c.left, c.top, c.right, c.bottom}), (std::array{30, 100, 41, 110}));
    EXPECT_EQ((std::array{c.offX, c.offY, c.onX, c.onY}), (std::array{830, 700, 830, 700}));
    EXPECT_EQ((std::array{c.hitLeft, c.hitTop, c.hitRight, c.hitBottom, c.radius}),
              (std::array{30, 100, 41, 110, -1}));
    EXPECT_EQ(c.panelMask, kMaskAlways);

    const SkinControl negative =
        control("[close]\npos=-830,-601,-5,0\n", ctl::Close);  // remainders keep the sign
    EXPECT_EQ((std::array{negative.x, negative.y, negative.right}), (std::array{-30, -1, -35}));

    const SkinControl wide =
        control("[close]\nPos=799,0,2147483647,1\n", ctl::Close);  // wraps, no overflow
    EXPECT_EQ(wide.right, static_cast<int32_t>(799 + 2147483647LL));
}

TEST(SkinDescription, KeyOrderDecidesWhatPosFillsIn) {
    const SkinControl upFirst =
        control("[play1]\nUp=5,6\nMouse=100,100,20\nPos=10,20,30,40\n", ctl::Play1);
    EXPECT_EQ((std::array{upFirst.offX, upFirst.offY, upFirst.onX, upFirst.onY}),
              (std::array{5, 6, 5, 6}));
    EXPECT_EQ((std::array{upFirst.hitLeft, upFirst.hitTop, upFirst.radius}),
              (std::array{100, 100, 20}));

    const SkinControl upLast = control("[play1]\nPos=10,20,30,40\nUp=5\nDown=7,8\n", ctl::Play1);
    EXPECT_EQ((std::array{upLast.offX, upLast.offY, upLast.onX, upLast.onY}),
              (std::array{5, -1, 7, 8}));
    EXPECT_EQ(upLast.hitRight, 40);

    const SkinControl downThenUp = control("[play1]\nDown=1,2\nUp=3,4\n", ctl::Play1);
    EXPECT_EQ((std::array{downThenUp.offX, downThenUp.onX}), (std::array{3, 1}));
}

TEST(SkinDescription, MouseAreas) {
    const auto mouse = [](const std::string& value) {
        return control("[go1]\nMouse=" + value + "\n", ctl::Go1);
    };
    for (const std::string circle : {"100,100,20", "100, 100, 20, 0"}) {
        const SkinControl c = mouse(circle);
        EXPECT_EQ((std::array{c.hitLeft, c.hitTop, c.radius}), (std::array{100, 100, 20}))
            << circle;
    }
    const SkinControl r = mouse("100,100,20,10");
    EXPECT_EQ((std::array{r.hitLeft, r.hitTop, r.hitRight, r.hitBottom, r.radius}),
              (std::array{100, 100, 120, 110, -1}));
    EXPECT_EQ(mouse("7").radius, -1);  // a missing radius leaves a rectangle
}

TEST(SkinDescription, SectionsSelectControls) {
    Read r = read(kMinimal +
                  "[PLAY1]\nPos=1,1,1,1\n"
                  "[reserved]\nPos=2,2,2,2\n"
                  "[]\nPos=3,3,3,3\n"
                  "[rhythm window\nPos=4,4,4,4\n"  // no "]": still in the "[]" section
                  "[stop1] trailing\nPos=5,5,5,5\n"
                  " Pos=6,6,6,6\n"  // a blank makes another key
                  "[no such control]\nFontName=Skin Wide\nPos=7,7,7,7\n"
                  "[disc1]\nFontName=Ignored\n");
    ASSERT_EQ(r.verdict, DescriptionVerdict::Accepted);
    const auto& c = r.model.controls;
    EXPECT_EQ(c[ctl::Play1].x, 1);
    EXPECT_EQ(c[ctl::Reserved1].x, 2);
    EXPECT_EQ(c[ctl::Reserved2].x, -1);
    EXPECT_EQ(c[ctl::Unused].x, 4);
    EXPECT_EQ(c[ctl::RhythmWindow].x, -1);
    EXPECT_EQ(c[ctl::Stop1].x, 5);
    EXPECT_EQ(r.model.values.fontName, "Skin Wide");
    // Keys of the skin-wide part are not control keys, and the reverse.
    EXPECT_EQ(read("Pos=1,2,3,4\n" + kMinimal).model.controls[ctl::Unused].x, -1);
}

TEST(SkinDescription, LongLinesGoOnAsTheNextLine) {
    // A line is read 511 bytes at a time: what follows starts a line of its own.
    const std::string exact = std::string(kMaxDescriptionLine, 'x') + "FontName=Tail\n";
    const std::string shifted = std::string(kMaxDescriptionLine - 1, 'x') + "FontName=Tail\n";
    EXPECT_EQ(values(exact).fontName, "Tail");
    EXPECT_EQ(values(shifted).fontName, "Verdana");

    // A line of exactly 511 bytes leaves its line feed as an empty line; a section header
    // can start in the continuation.
    const std::string text = "Version=1\n" + std::string(kMaxDescriptionLine, ';') + "\n" +
                             std::string(kMaxDescriptionLine, '#') +
                             "[files window]\nPos=1,2,3,4\r\n";
    EXPECT_EQ(read(text).verdict, DescriptionVerdict::Accepted);

    // A file reads the same as the text.
    test::TempDir dir;
    const std::string path = dir.file("skin.ini");
    test::writeFile(path, test::Bytes(text.begin(), text.end()));
    SkinModel fromFile;
    EXPECT_EQ(readSkinDescriptionFile(path, fromFile), DescriptionVerdict::Accepted);
    EXPECT_EQ(fromFile.controls, read(text).model.controls);

    const std::string tail = std::string(kMaxDescriptionLine, 'x') + "FontName=Tail\n" + kMinimal;
    test::writeFile(path, test::Bytes(tail.begin(), tail.end()));
    EXPECT_EQ(readSkinDescriptionFile(path, fromFile), DescriptionVerdict::Accepted);
    EXPECT_EQ(fromFile.values.fontName, "Tail");

    EXPECT_EQ(readSkinDescriptionFile(dir.file("absent.ini"), fromFile),
              DescriptionVerdict::CannotOpen);
}

}  // namespace
}  // namespace spinlorex
