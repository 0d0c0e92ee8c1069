// The request a second start hands its files over with: read in pieces as a socket brings
// them, refused when it is none or too large, and every byte of a name carried.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/HandOverRequest.h"

namespace spinlorex {
namespace {

using State = HandOverReader::State;
using Strings = std::vector<std::string>;

TEST(HandOverRequest, ARequestInPiecesGivesItsFilesByteForByte) {
    const Strings files = {"/home/me/Music/A - B.mp3", "/tmp/100% odd?#=&+,;\n name.wav",
                           "/media/x/caf\xe9 \xff\xfe.mp3", "/"};
    const std::string request = handOverRequest(files);
    EXPECT_TRUE(request.starts_with("SPINLOREX OPEN\nfile:///home/me/Music/A%20-%20B.mp3\n"));
    EXPECT_TRUE(request.ends_with("\n\n"));
    for (const size_t piece : {size_t{1}, size_t{7}, request.size()}) {
        HandOverReader reader;
        for (size_t at = 0; at < request.size(); at += piece) {
            const State state = reader.add(std::string_view(request).substr(at, piece));
            EXPECT_EQ(state, at + piece < request.size() ? State::Incomplete : State::Whole) << at;
        }
        EXPECT_EQ(reader.files(), files) << piece;
    }
}

TEST(HandOverRequest, WhatIsNoRequestOrNoLocalFileIsRefusedOrLeftOut) {
    HandOverReader other;
    EXPECT_EQ(other.add("GET / HTTP/1.1\r\n"), State::Refused);
    EXPECT_EQ(other.add("SPINLOREX OPEN\n\n"), State::Refused);  // the sender was dropped
    HandOverReader huge;
    EXPECT_EQ(huge.add("SPINLOREX OPEN\nfile:///"), State::Incomplete);
    EXPECT_EQ(huge.add(std::string(HandOverReader::kMaxRequestBytes, 'a')), State::Refused);

    HandOverReader mixed;
    ASSERT_EQ(mixed.add("SPINLOREX OPEN\n"
                        "file:///a%2\nfile:///b%zz.mp3\nhttp://host/c.mp3\nfile://other/d.mp3\n"
                        "file:///e?x\nfile:///f%00g\nfile:relative\n"
                        "FILE://localhost/ok%C3%A9.mp3\nfile:///left%2fas-is.mp3\n\nafter\n"),
              State::Whole);
    EXPECT_EQ(mixed.files(), (Strings{"/ok\xc3\xa9.mp3", "/left/as-is.mp3"}));
    HandOverReader none;
    EXPECT_EQ(none.add("SPINLOREX OPEN\n\n"), State::Whole);
    EXPECT_TRUE(none.files().empty());
}

}  // namespace
}  // namespace spinlorex
