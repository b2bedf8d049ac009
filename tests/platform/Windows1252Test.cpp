// The wire code page: UTF-8 inside, Windows-1252 on the wire.
#include <gtest/gtest.h>

#include "platform/Windows1252.h"

namespace xqt::platform {
namespace {

TEST(Windows1252Test, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
}

TEST(Windows1252Test, TheHighRangeMapsToItsTypographicCharacters) {
    EXPECT_EQ(Windows1252ToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
    EXPECT_EQ(Windows1252ToUtf8("\x93x\x94"), "\xE2\x80\x9Cx\xE2\x80\x9D");
    EXPECT_EQ(Windows1252ToUtf8("\xE9"), "\xC3\xA9");
    EXPECT_EQ(Utf8ToWindows1252("\xC5\xB8"), "\x9F");  // Y with diaeresis
}

TEST(Windows1252Test, WhatTheCodePageCannotHoldBecomesAQuestionMark) {
    EXPECT_EQ(Utf8ToWindows1252("a\xE4\xB8\xAD"
                                "b"),
              "a?b");
    EXPECT_EQ(Utf8ToWindows1252("\xF0\x9F\x98\x80"), "?");
    EXPECT_EQ(Utf8ToWindows1252("\xC3"), "?");            // cut short
    EXPECT_EQ(Utf8ToWindows1252("\xC0\xAF"), "??");       // overlong
    EXPECT_EQ(Utf8ToWindows1252("\xED\xA0\x80"), "???");  // surrogate
}

}  // namespace
}  // namespace xqt::platform
