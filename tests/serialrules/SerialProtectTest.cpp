// The rule set: splitting of lists, the allow and deny sides with their keywords, the two orders,
// and the exact text of every refusal.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "serialrules/SerialProtect.h"

namespace ns_serial_protect {
namespace {

std::optional<std::string> RuleError(const std::string& order, const std::string& allow,
                                     const std::string& deny) {
    try {
        SerialProtect rules(order, allow, deny);
    } catch (const SerialProtect::bad_serial_protect_def& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

const std::string kDigitOnlyA = "Character 'a' is not allowed. Only \"0-9\" is supported.";
const std::string kOrderTail = " MUST be:\"allow,deny\" or \"deny,allow\".";

TEST(SplitList, KeepsEveryNonEmptyRunUntrimmed) {
    std::vector<std::string> out = {"stale"};
    EXPECT_EQ(SplitList(";12??; 3?;;4;", ';', out), 3u);
    EXPECT_EQ(out, (std::vector<std::string>{"12??", " 3?", "4"}));
    EXPECT_EQ(SplitList(";;;", ';', out), 0u);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(SplitList("", ',', out), 0u);
    EXPECT_EQ(SplitList("1-3", ',', out), 1u);
    EXPECT_EQ(out, (std::vector<std::string>{"1-3"}));
}

TEST(PatternListMatching, AnyPatternOfTheListSuffices) {
    const PatternList list("12??;3???");
    EXPECT_EQ(list.Size(), 2u);
    EXPECT_TRUE(list.Match("1299"));
    EXPECT_TRUE(list.Match("3abc"));
    EXPECT_FALSE(list.Match("1399"));
    EXPECT_FALSE(list.Match("12999"));
    EXPECT_FALSE(PatternList(";").Match(""));
    EXPECT_EQ(PatternList(";;").Size(), 0u);
}

TEST(PatternListMatching, TheFirstBadItemPassesItsErrorOut) {
    try {
        PatternList list("12;a;[");
        FAIL() << "accepted";
    } catch (const Pattern::bad_pattern_def& e) {
        EXPECT_EQ(e.what(), kDigitOnlyA);
    }
}

// Four serials: in allow only, in deny only, in both, in neither.
constexpr const char* kAllowSide = "1???;3???";
constexpr const char* kDenySide = "2???;3???";

TEST(RuleSetOrder, AllowDenyNeedsAnAllowAndNoDeny) {
    const SerialProtect rules("allow,deny", kAllowSide, kDenySide);
    EXPECT_TRUE(rules.Check("1000"));   // allowed only
    EXPECT_FALSE(rules.Check("2000"));  // denied only
    EXPECT_FALSE(rules.Check("3000"));  // both: the deny wins
    EXPECT_FALSE(rules.Check("4000"));  // neither
}

TEST(RuleSetOrder, DenyAllowRefusesOnlyWhatIsDeniedAndNotAllowed) {
    const SerialProtect rules("deny,allow", kAllowSide, kDenySide);
    EXPECT_TRUE(rules.Check("1000"));
    EXPECT_FALSE(rules.Check("2000"));
    EXPECT_TRUE(rules.Check("3000"));  // both: the allow wins
    EXPECT_TRUE(rules.Check("4000"));
}

TEST(RuleSetOrder, KeywordsStandForEverythingAndNothing) {
    const std::vector<std::string> serials = {"", "1234", "ABC-123", std::string("\x80\xff")};
    struct Case {
        const char* order;
        const char* allow;
        const char* deny;
        bool accepted;
    };
    for (const Case& c :
         {Case{"allow,deny", "all", "none", true}, Case{"allow,deny", "all", "all", false},
          Case{"deny,allow", "all", "all", true}, Case{"allow,deny", "none", "none", false},
          Case{"deny,allow", "none", "none", true}, Case{"deny,allow", "none", "all", false},
          Case{"allow,deny", "none", "all", false}, Case{"deny,allow", "all", "none", true}}) {
        const SerialProtect rules(c.order, c.allow, c.deny);
        for (const std::string& serial : serials) {
            EXPECT_EQ(rules.Check(serial), c.accepted)
                << c.order << " allow=" << c.allow << " deny=" << c.deny;
        }
    }
}

TEST(RuleSetOrder, OneSidePatternsAgainstAKeyword) {
    const SerialProtect allowList("allow,deny", "12??;3???", "none");
    EXPECT_TRUE(allowList.Check("1200"));
    EXPECT_TRUE(allowList.Check("3xyz"));
    EXPECT_FALSE(allowList.Check("1300"));
    EXPECT_FALSE(allowList.Check("12000"));  // another length, though it begins with 12

    const SerialProtect denyList("deny,allow", "none", "9???");
    EXPECT_FALSE(denyList.Check("9123"));
    EXPECT_TRUE(denyList.Check("8123"));
    EXPECT_TRUE(denyList.Check("91234"));
    EXPECT_TRUE(denyList.Check(""));
}

TEST(RuleSetOrder, ASideOfOnlySeparatorsIsAnEmptyList) {
    const SerialProtect rules("allow,deny", ";", "none");
    EXPECT_FALSE(rules.Check(""));
    EXPECT_FALSE(rules.Check("1"));
    EXPECT_TRUE(SerialProtect("deny,allow", "none", ";").Check("1"));
}

TEST(RuleSetErrors, OrderMustBeOneOfTheTwoExactly) {
    for (const std::string order : {"Allow,Deny", "allow, deny", "allow,deny ", "", "deny", "ALLOW,DENY"}) {
        EXPECT_EQ(RuleError(order, "all", "none"), "Bad 'order' definition:" + order + kOrderTail) << order;
    }
}

TEST(RuleSetErrors, EmptySidesAreRefusedByName) {
    EXPECT_EQ(RuleError("allow,deny", "", "none"), "Bad 'allow' definition: Empty!");
    EXPECT_EQ(RuleError("deny,allow", "all", ""), "Bad 'deny' definition: Empty!");
}

TEST(RuleSetErrors, PatternFaultsNameTheirSide) {
    EXPECT_EQ(RuleError("allow,deny", "12a4", "none"), "Bad \"allow\" definition. " + kDigitOnlyA);
    EXPECT_EQ(RuleError("allow,deny", "all", "1;[5-1]"),
              "Bad \"deny\" definition. PERange::Build : bad range definition \"5-1\".");
    EXPECT_EQ(RuleError("deny,allow", "12^", "none"), "Bad \"allow\" definition. ");
    // Keywords count only as the whole side text.
    EXPECT_EQ(RuleError("allow,deny", "all;123", "none"), "Bad \"allow\" definition. " + kDigitOnlyA);
    EXPECT_EQ(RuleError("allow,deny", "none", "All"),
              "Bad \"deny\" definition. Character 'A' is not allowed. Only \"0-9\" is supported.");
}

TEST(RuleSetErrors, AreReportedInDefinitionOrder) {
    EXPECT_EQ(RuleError("x", "", ""), "Bad 'order' definition:x" + kOrderTail);
    EXPECT_EQ(RuleError("allow,deny", "", ""), "Bad 'allow' definition: Empty!");
    EXPECT_EQ(RuleError("allow,deny", "a", ""), "Bad 'deny' definition: Empty!");
    EXPECT_EQ(RuleError("allow,deny", "a", "b"), "Bad \"allow\" definition. " + kDigitOnlyA);
}

TEST(RuleSetErrors, AreInvalidArguments) {
    EXPECT_THROW(SerialProtect("allow,deny", "1", "^"), std::invalid_argument);
    static_assert(std::is_base_of_v<std::invalid_argument, SerialProtect::bad_serial_protect_def>);
}

}  // namespace
}  // namespace ns_serial_protect
