// The pattern language: what a definition matches, how sets and negations read, signed character
// order, and the exact text of every refusal.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "serialrules/Pattern.h"

namespace ns_serial_protect {
namespace {

// The message of the bad_pattern_def that refuses `definition`, or nothing when it builds.
std::optional<std::string> PatternError(const std::string& definition) {
    try {
        Pattern pattern(definition);
    } catch (const Pattern::bad_pattern_def& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

// The message of the bad_definition that a direct Build of `text` raises, or nothing.
template <class Element>
std::optional<std::string> BuildError(const std::string& text) {
    Element element;
    try {
        element.Build(text.data(), text.data() + text.size());
    } catch (const PatternElement::bad_definition& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

std::string DigitOnly(char c) {
    return std::string("Character '") + c + "' is not allowed. Only \"0-9\" is supported.";
}

struct MatchCase {
    const char* definition;
    std::vector<std::string> matching;
    std::vector<std::string> refused;
};

void ExpectMatches(const std::vector<MatchCase>& cases) {
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(std::string("definition ") + c.definition);
        const Pattern pattern(c.definition);
        for (const std::string& serial : c.matching)
            EXPECT_TRUE(pattern.Match(serial)) << serial;
        for (const std::string& serial : c.refused)
            EXPECT_FALSE(pattern.Match(serial)) << serial;
    }
}

TEST(PatternMatching, EachElementKindJudgesItsOwnPosition) {
    ExpectMatches({
        {"12?4",
         {"1234", "12x4", "12 4",
          std::string("12\0"
                      "4",
                      4)},
         {"1334", "124", "12345", ""}},
        {"[1-3,7]??", {"105", "7ab", "399"}, {"405", "805", "0ab", "10", "1055"}},
        {"^0?", {"15", "a5", "?5"}, {"05", "1", "155"}},
        {"^[0-4]5", {"55", "95", "x5"}, {"35", "05", "45", "5", "556"}},
        {"?", {"a", "Z", "7", " ", "\x80"}, {"", "ab"}},
        {"[0-9]", {"0", "5", "9"}, {"a", "/", ":", "55"}},
        {"^[1-3]", {"0", "4", "a", "\xff"}, {"1", "2", "3"}},
        {"0123456789", {"0123456789"}, {"0123456788", "1123456789"}},
    });
}

TEST(PatternMatching, LengthMustEqualTheElementCount) {
    const Pattern pattern("????");
    EXPECT_EQ(pattern.Length(), 4u);
    EXPECT_TRUE(pattern.Match("abcd"));
    EXPECT_FALSE(pattern.Match("abc"));
    EXPECT_FALSE(pattern.Match("abcde"));

    const Pattern empty("");
    EXPECT_EQ(empty.Length(), 0u);
    EXPECT_TRUE(empty.Match(""));
    EXPECT_FALSE(empty.Match("1"));
}

TEST(PatternMatching, MatchingLeavesThePatternUnchanged) {
    const Pattern pattern("1[2,4]^3");
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(pattern.Match("124"));
        EXPECT_FALSE(pattern.Match("123"));
        EXPECT_TRUE(pattern.Match("14x"));
    }
}

TEST(PatternSets, EmptyItemsAreSkipped) {
    ExpectMatches({
        {"[1,,3]", {"1", "3"}, {"2", ","}},
        {"[,5]", {"5"}, {",", "4"}},
        {"[5,]", {"5"}, {","}},
        {"[,,1-2,,]", {"1", "2"}, {"3"}},
    });
}

TEST(PatternSets, ASetWithoutItemsIsAcceptedAndMatchesNothing) {
    const Pattern pattern("[,]");
    EXPECT_EQ(pattern.Length(), 1u);
    for (const char* serial : {",", "0", "[", "", "a"})
        EXPECT_FALSE(pattern.Match(serial)) << serial;
    // Negated, such a set accepts everything.
    EXPECT_TRUE(Pattern("^[,,]").Match("x"));
}

TEST(PatternSets, RangesAreInclusiveAndNotLimitedToDigits) {
    ExpectMatches({
        {"[3-3]", {"3"}, {"2", "4"}},
        {"[a-z]", {"a", "m", "z"}, {"A", "0", "{"}},
        {"[1x3]", {"1", "2", "3"}, {"x", "0", "4"}},  // the middle character is not examined
        {"[0-9,a-f]", {"0", "c"}, {"g", "G"}},
    });
}

TEST(PatternSets, SpecialCharactersHaveNoMeaningInsideASet) {
    // '[' and '^' inside a set are ordinary range bounds.
    ExpectMatches({
        {"[?-?]", {"?"}, {"a"}},
        {"[[-^]", {"[", "\\", "]", "^"}, {"Z", "_"}},
    });
    // The set ends at the first ']': "[1]2]" is the set [1], the digit 2 and an exact ']'.
    EXPECT_EQ(PatternError("[1]2]"), DigitOnly(']'));
    EXPECT_EQ(PatternError("[1]2"), std::nullopt);
    EXPECT_TRUE(Pattern("[1]2").Match("12"));
}

TEST(PatternSets, CharactersCompareAsSignedBytes) {
    // Bytes 0x80..0xFF sort below '0', so they fall inside a range that starts below them.
    const Pattern highToNine(std::string("[\x80-9]"));
    EXPECT_TRUE(highToNine.Match("\x80"));
    EXPECT_TRUE(highToNine.Match("\xff"));
    EXPECT_TRUE(highToNine.Match("5"));
    EXPECT_TRUE(highToNine.Match(" "));
    EXPECT_FALSE(highToNine.Match("a"));

    const Pattern digits("[0-9]");
    EXPECT_FALSE(digits.Match("\xb5"));
    EXPECT_TRUE(Pattern("^[0-9]").Match("\xb5"));

    EXPECT_EQ(PatternError("[0-\x80]"), "PERange::Build : bad range definition \"0-\x80\".");
    EXPECT_EQ(PatternError("[\x80-\xff]"), std::nullopt);
    EXPECT_EQ(PatternError("[\xff-\x80]"), "PERange::Build : bad range definition \"\xff-\x80\".");
}

TEST(PatternErrors, EveryRefusalCarriesItsExactText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        // A '^' with nothing after it.
        {"12^", ""},
        {"^", ""},
        // '[' without a later ']': the rest of the definition from that '['.
        {"12[34", "[34"},
        {"12[", "["},
        {"[", "["},
        {"1[2[3", "[2[3"},
        {"^[12", "[12"},
        {"1[2-3,^", "[2-3,^"},
        // Negations of '?' and '^'.
        {"^?", "Can not apply a '^' on a '?'."},
        {"1^?2", "Can not apply a '^' on a '?'."},
        {"^^1", "Can not apply a '^' on a '^'."},
        // A token that is no digit.
        {"a", DigitOnly('a')},
        {"12 4", DigitOnly(' ')},
        {"]", DigitOnly(']')},
        {",", DigitOnly(',')},
        {"1-2", DigitOnly('-')},
        {"^a", DigitOnly('a')},
        {"\xe9", DigitOnly('\xe9')},
        // Set items.
        {"[a]", DigitOnly('a')},
        {"[?]", DigitOnly('?')},
        {"[^]", DigitOnly('^')},
        {"[1,x]", DigitOnly('x')},
        {"[]", "PEOptional::Build : Length error."},
        {"^[]", "PEOptional::Build : Length error."},
        {"[12]", "PEOptional::Build : bad content."},
        {"[^1]", "PEOptional::Build : bad content."},
        {"[1-23]", "PEOptional::Build : bad content."},
        {"[5-1]", "PERange::Build : bad range definition \"5-1\"."},
        {"1^[2,9-0]", "PERange::Build : bad range definition \"9-0\"."},
    };
    for (const auto& [definition, message] : cases) {
        EXPECT_EQ(PatternError(definition), message) << "definition " << definition;
    }
    // A NUL is refused like any other non-digit (what() ends the text at the NUL itself).
    EXPECT_EQ(PatternError(std::string("1\0"
                                       "2",
                                       3)),
              "Character '");
}

TEST(PatternErrors, TheFirstFaultInReadingOrderIsReported) {
    EXPECT_EQ(PatternError("a[5-1]"), DigitOnly('a'));
    EXPECT_EQ(PatternError("[5-1]a"), "PERange::Build : bad range definition \"5-1\".");
    EXPECT_EQ(PatternError("[1,x,5-1]"), DigitOnly('x'));
    EXPECT_EQ(PatternError("1x["), DigitOnly('x'));
}

TEST(PatternErrors, AreInvalidArgumentsCarryingOnlyTheirText) {
    try {
        Pattern pattern("12[34");
        FAIL() << "accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "[34");
        EXPECT_NE(dynamic_cast<const Pattern::bad_pattern_def*>(&e), nullptr);
    }
    static_assert(std::is_base_of_v<std::logic_error, PatternElement::bad_definition>);
}

TEST(ElementBuild, DirectCallsCheckTheirOwnLength) {
    EXPECT_EQ(BuildError<PEExact>(""), "PEExact::Build : Length error.");
    EXPECT_EQ(BuildError<PEExact>("12"), "PEExact::Build : Length error.");
    EXPECT_EQ(BuildError<PEExact>("x"), DigitOnly('x'));
    EXPECT_EQ(BuildError<PEAny>(""), "PEAny::Build : Length error.");
    EXPECT_EQ(BuildError<PEAny>("??"), "PEAny::Build : Length error.");
    EXPECT_EQ(BuildError<PERange>("1-"), "PERange::Build : Length error.");
    EXPECT_EQ(BuildError<PERange>("1-23"), "PERange::Build : Length error.");
    EXPECT_EQ(BuildError<PEOptional>("[1"), "PEOptional::Build : Length error.");
    EXPECT_EQ(BuildError<PENot>("^12"), "PENot::Build : Extra definitions.");
    EXPECT_EQ(BuildError<PENot>("^"), "");
}

TEST(ElementBuild, AnEmptyNegationIsRefusedWithoutReadingPastItsText) {
    // Stepping over a '^' that is not there would start the inner read past the end.
    const std::string text = "^1";
    PENot element;
    try {
        element.Build(text.data() + 2, text.data() + 2);
        FAIL() << "accepted";
    } catch (const PatternElement::bad_definition& e) {
        EXPECT_STREQ(e.what(), "");
    }
    EXPECT_FALSE(element.Match('1'));
    EXPECT_FALSE(element.Match('2'));
}

TEST(ElementBuild, AFailedBuildLeavesTheElementAsItWas) {
    PEOptional set;
    const std::string good = "[1,3]";
    set.Build(good.data(), good.data() + good.size());
    const std::string bad = "[2,4,x]";
    EXPECT_THROW(set.Build(bad.data(), bad.data() + bad.size()), PatternElement::bad_definition);
    EXPECT_TRUE(set.Match('1'));
    EXPECT_FALSE(set.Match('2'));

    PENot negation;
    const std::string not1 = "^1";
    negation.Build(not1.data(), not1.data() + not1.size());
    const std::string extra = "^23";
    EXPECT_THROW(negation.Build(extra.data(), extra.data() + extra.size()), PatternElement::bad_definition);
    EXPECT_FALSE(negation.Match('1'));
    EXPECT_TRUE(negation.Match('2'));
}

TEST(ElementBuild, UnbuiltElementsRefuseOrAcceptAsDocumented) {
    EXPECT_FALSE(PENot().Match('0'));
    EXPECT_FALSE(PEOptional().Match('0'));
    EXPECT_TRUE(PEAny().Match('\0'));
}

TEST(Tokenizer, ClassifiesAndAdvancesOneTokenAtATime) {
    const std::string text = "1?[2,3]^x";
    const char* cursor = text.data();
    const char* const end = text.data() + text.size();
    EXPECT_EQ(ClassifyNext(cursor, end), ElementKind::Exact);
    EXPECT_EQ(cursor, text.data() + 1);
    EXPECT_EQ(ClassifyNext(cursor, end), ElementKind::Any);
    EXPECT_EQ(ClassifyNext(cursor, end), ElementKind::Optional);
    EXPECT_EQ(cursor, text.data() + 7);
    EXPECT_EQ(ClassifyNext(cursor, end), ElementKind::Not);
    EXPECT_EQ(ClassifyNext(cursor, end), ElementKind::Exact);  // refused later, by PEExact
    EXPECT_EQ(cursor, end);
    EXPECT_THROW(ClassifyNext(cursor, end), PatternElement::bad_definition);
}

TEST(Tokenizer, TheFactoryReadsANegationTogetherWithItsOperand) {
    const std::string text = "^[1-3]7";
    const char* cursor = text.data();
    const char* const end = text.data() + text.size();
    const auto negation = CreateElement(cursor, end);
    EXPECT_EQ(cursor, text.data() + 6);
    EXPECT_NE(dynamic_cast<PENot*>(negation.get()), nullptr);
    EXPECT_FALSE(negation->Match('2'));
    EXPECT_TRUE(negation->Match('7'));
    const auto seven = CreateElement(cursor, end);
    EXPECT_EQ(cursor, end);
    EXPECT_TRUE(seven->Match('7'));
    EXPECT_THROW(CreateElement(cursor, end), PatternElement::bad_definition);
}

}  // namespace
}  // namespace ns_serial_protect
