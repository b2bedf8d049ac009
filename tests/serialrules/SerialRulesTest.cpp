// The program's own rule set behind IsSerialAllowed: what it accepts, its build on first use from
// several threads, and the conversion of serials to the 8-bit code page that the rules compare.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "serialrules/SerialProtect.h"

namespace ns_serial_protect {
namespace {

// Runs in a fresh process (threadsafe death-test style re-executes this binary for this test
// only), so the rule set is not yet built when the threads race to use it.
void RaceOnFirstUse() {
    if (g_serialProtect.load() != nullptr) std::_Exit(2);
    constexpr int kThreads = 8;
    std::vector<const SerialProtect*> seen(kThreads, nullptr);
    std::vector<int> verdicts(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &seen, &verdicts] {
            int accepted = (t % 2 == 0) ? IsSerialAllowed(u"XQT0012345") : IsSerialAllowed("XQT0012345");
            seen[t] = g_serialProtect.load();  // a second build would show up as another rule set
            for (int i = 1; i < 200; ++i) {
                accepted += (t % 2 == 0) ? IsSerialAllowed(u"XQT0012345") : IsSerialAllowed("XQT0012345");
                if (t == 0) InitSerialRules();
            }
            verdicts[t] = accepted;
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t) {
        if (verdicts[t] != 200 || seen[t] == nullptr || seen[t] != g_serialProtect.load()) std::_Exit(3);
    }
    std::_Exit(0);
}

TEST(ProgramRuleSet, IsBuiltOnceOnFirstUseFromConcurrentThreads) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RaceOnFirstUse(), ::testing::ExitedWithCode(0), "");
}

TEST(ProgramRuleSet, InitIsIdempotent) {
    InitSerialRules();
    const SerialProtect* first = g_serialProtect.load();
    ASSERT_NE(first, nullptr);
    InitSerialRules();
    EXPECT_EQ(g_serialProtect.load(), first);
}

TEST(ProgramRuleSet, AcceptsEverySerial) {
    InitSerialRules();
    for (const char16_t* serial :
         {u"", u"0012345", u"XQT-TR60-A0B1C2", u"serial with blanks", u"\u00e9\u20ac", u"\u03a9\U0001F600",
          u"0123456789012345678901234567890"}) {
        EXPECT_EQ(IsSerialAllowed(serial), 1);
    }
    for (const char* serial : {"", "0012345", "abc", "\xc3\xa9", "\xff\xfe broken"}) {
        EXPECT_EQ(IsSerialAllowed(serial), 1) << serial;
    }
    EXPECT_EQ(IsSerialAllowed(std::string("12\0"
                                          "34",
                                          5)),
              1);
    EXPECT_TRUE(g_serialProtect.load()->Check(std::string(1000, '7')));
}

TEST(AnsiConversion, KeepsLatinOneAndMapsTheCodePageSpecials) {
    EXPECT_EQ(detail::Utf16ToAnsi(u"AZ09 ~"), "AZ09 ~");
    EXPECT_EQ(detail::Utf16ToAnsi(u"\u00e9\u00ff\u00a0"), "\xe9\xff\xa0");
    EXPECT_EQ(detail::Utf16ToAnsi(u"\u20ac\u2122\u0178\u0081"), "\x80\x99\x9f\x81");
    EXPECT_EQ(detail::Utf8ToAnsi("\xc3\xa9\xe2\x82\xac"), "\xe9\x80");
    EXPECT_EQ(detail::Utf16ToAnsi(std::u16string(u"1\0"
                                                 "2",
                                                 3)),
              std::string("1\0"
                          "2",
                          3));
}

TEST(AnsiConversion, CharactersWithoutAByteBecomeOneQuestionMarkEach) {
    EXPECT_EQ(detail::Utf16ToAnsi(u"\u03a91"), "?1");
    EXPECT_EQ(detail::Utf16ToAnsi(u"\U0001F6001"), "?1");                // a surrogate pair is one character
    EXPECT_EQ(detail::Utf16ToAnsi(std::u16string{0xD800, u'1'}), "?1");  // lone surrogate
    EXPECT_EQ(detail::Utf16ToAnsi(std::u16string{u'1', 0xDC00}), "1?");
    EXPECT_EQ(detail::Utf16ToAnsi(u"\u0080"), "?");  // a C1 position that 0x80 does not carry
    EXPECT_EQ(detail::Utf8ToAnsi("\xf0\x9f\x98\x80"
                                 "1"),
              "?1");
}

TEST(AnsiConversion, MalformedUtf8NeverSwallowsTheNextCharacter) {
    EXPECT_EQ(detail::Utf8ToAnsi("\xe9"
                                 "12"),
              "?12");  // a Latin-1 byte, not UTF-8
    EXPECT_EQ(detail::Utf8ToAnsi("\xe2\x82"
                                 "1"),
              "??1");                                           // truncated sequence
    EXPECT_EQ(detail::Utf8ToAnsi("1\xe2\x82"), "1??");          // truncated at the end
    EXPECT_EQ(detail::Utf8ToAnsi("\xc0\xb1"), "??");            // overlong '1'
    EXPECT_EQ(detail::Utf8ToAnsi("\xed\xa0\x80"), "???");       // encoded surrogate
    EXPECT_EQ(detail::Utf8ToAnsi("\xf4\x90\x80\x80"), "????");  // beyond U+10FFFF
    EXPECT_EQ(detail::Utf8ToAnsi("\x80\xbf"), "??");            // stray continuation bytes
}

}  // namespace
}  // namespace ns_serial_protect
