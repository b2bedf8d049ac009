// The reply grammar: how field values are found, cut and read as numbers.
#include <gtest/gtest.h>

#include "camera/DiscoveryReply.h"

namespace xqt {
namespace {

using namespace std::string_literals;

TEST(ReadFieldTest, ValueRunsFromTheKeyToTheNextTerminator) {
    const std::string text = "MODEL:XQT-TR60\xFFSERIAL:1000001\xFFMAC:08:00:46:00:00:01\xFF";
    EXPECT_EQ(ReadField(text, "MODEL:", 32), "XQT-TR60");
    EXPECT_EQ(ReadField(text, "SERIAL:", 32), "1000001");
    EXPECT_EQ(ReadField(text, "MAC:", 18), "08:00:46:00:00:01");
}

TEST(ReadFieldTest, FirstOccurrenceAnywhereInTheTextWins) {
    const std::string text = "\x02junkMAC:first\xFFMAC:second\xFF";
    EXPECT_EQ(ReadField(text, "MAC:", 18), "first");
}

TEST(ReadFieldTest, AbsentKeyGivesEmptyValue) {
    EXPECT_EQ(ReadField("MODEL:X\xFF", "WEBPORT:", 16), "");
    EXPECT_EQ(ReadField("", "MODEL:", 32), "");
}

TEST(ReadFieldTest, ValueWithoutTerminatorRunsToTheEnd) {
    EXPECT_EQ(ReadField("MODEL:X\xFFSOFTVERSION:2.0", "SOFTVERSION:", 16), "2.0");
    EXPECT_EQ(ReadField("MAC:", "MAC:", 18), "");
}

TEST(ReadFieldTest, ValueIsCutToOneLessThanItsRoom) {
    const std::string text = "SERIAL:123456789012345\xFF";
    EXPECT_EQ(ReadField(text, "SERIAL:", 12), "12345678901");
    EXPECT_EQ(ReadField(text, "SERIAL:", 1), "");
    EXPECT_EQ(ReadField(text, "SERIAL:", 0), "");
}

TEST(IsFieldOnTest, OnlyTheExactValueOnCounts) {
    EXPECT_TRUE(IsFieldOn("DHCP:ON\xFF", "DHCP:"));
    EXPECT_TRUE(IsFieldOn("DHCP:ON", "DHCP:"));
    EXPECT_FALSE(IsFieldOn("DHCP:OFF\xFF", "DHCP:"));
    EXPECT_FALSE(IsFieldOn("DHCP:on\xFF", "DHCP:"));
    EXPECT_FALSE(IsFieldOn("DHCP:ONE\xFF", "DHCP:"));
    EXPECT_FALSE(IsFieldOn("DHCP: ON\xFF", "DHCP:"));
    EXPECT_FALSE(IsFieldOn("DNSAUTO:ON\xFF", "DHCP:"));
}

TEST(ParseIpAddressTest, FourNumbersInTextOrder) {
    EXPECT_EQ(ParseIpAddress("192.168.0.10"), (std::array<std::uint8_t, 4>{192, 168, 0, 10}));
    EXPECT_EQ(ParseIpAddress(" 10. 1.+2.3trailing"), (std::array<std::uint8_t, 4>{10, 1, 2, 3}));
}

TEST(ParseIpAddressTest, NumbersThatCannotBeReadStayZero) {
    EXPECT_EQ(ParseIpAddress(""), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(ParseIpAddress("DHCP"), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(ParseIpAddress("10.20"), (std::array<std::uint8_t, 4>{10, 20, 0, 0}));
    EXPECT_EQ(ParseIpAddress("10.x.30.40"), (std::array<std::uint8_t, 4>{10, 0, 0, 0}));
    EXPECT_EQ(ParseIpAddress("10 .20.30.40"), (std::array<std::uint8_t, 4>{10, 0, 0, 0}));
}

TEST(ParseIpAddressTest, EachNumberKeepsItsLowByteWithoutOverflow) {
    EXPECT_EQ(ParseIpAddress("256.257.-1.300"), (std::array<std::uint8_t, 4>{0, 1, 255, 44}));
    // Far beyond 32 bits: saturates instead of overflowing.
    EXPECT_EQ(ParseIpAddress("999999999999999.1.2.3"), (std::array<std::uint8_t, 4>{0, 1, 2, 3}));
}

TEST(ParseWebPortTest, EmptyMeansEightyElseTheLeadingNumber) {
    EXPECT_EQ(ParseWebPort(""), 80);
    EXPECT_EQ(ParseWebPort("8080"), 8080);
    EXPECT_EQ(ParseWebPort(" 443x"), 443);
    EXPECT_EQ(ParseWebPort("http"), 0);
    EXPECT_EQ(ParseWebPort("999999999999999"), 2147483647);
    EXPECT_EQ(ParseWebPort("-999999999999999"), -2147483647 - 1);
}

TEST(EnquiryTest, IsTheFourteenFramedBytes) {
    const std::string enquiry(DISCOVERY_ENQUIRY.begin(), DISCOVERY_ENQUIRY.end());
    EXPECT_EQ(enquiry, "\x02"s + "ENQ:allinfo" + "\xFF\x03"s);
}

}  // namespace
}  // namespace xqt
