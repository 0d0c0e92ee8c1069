#include <gtest/gtest.h>

#include "platform/core/AsciiText.h"

namespace spinlorex {
namespace {

// The bytes beside the letters in ASCII ('@' '[' '`' '{'), and UTF-8, never change case.
TEST(AsciiText, OnlyTheLettersFoldAndTheOrderIsByUnsignedBytes) {
    EXPECT_EQ(ascii::toLower("AZ@[`{az\xC3\x89"), "az@[`{az\xC3\x89");
    EXPECT_EQ(ascii::toUpper("az@[`{AZ\xC3\xA9"), "AZ@[`{AZ\xC3\xA9");
    EXPECT_FALSE(ascii::equalsNoCase("@", "`"));
    EXPECT_FALSE(ascii::equalsNoCase("[", "{"));
    EXPECT_TRUE(ascii::isLetter('z') && ascii::isLetter('A'));
    EXPECT_FALSE(ascii::isLetter('@') || ascii::isLetter('[') || ascii::isLetter('`'));

    EXPECT_TRUE(ascii::startsWithNoCase("FILE://x", "file://"));
    EXPECT_FALSE(ascii::startsWithNoCase("fil", "file"));
    EXPECT_TRUE(ascii::endsWithNoCase("a.MP3", ".mp3"));
    EXPECT_TRUE(ascii::endsWithNoCase(".mp3", ".MP3"));
    EXPECT_FALSE(ascii::endsWithNoCase("mp3", ".mp3"));
    EXPECT_FALSE(ascii::endsWithNoCase("a.mp3x", ".mp3"));

    EXPECT_EQ(ascii::compareNoCase("abc", "ABC"), 0);
    EXPECT_LT(ascii::compareNoCase("ab", "ABC"), 0);
    EXPECT_GT(ascii::compareNoCase("b", "Ab"), 0);
    // Folded down, "_" sorts before the letters; "\xC3" (UTF-8) after all of ASCII.
    EXPECT_LT(ascii::compareNoCase("A_", "aB"), 0);
    EXPECT_GT(ascii::compareNoCase("\xC3\x89", "z"), 0);
}

}  // namespace
}  // namespace spinlorex
