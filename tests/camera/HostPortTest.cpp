// Camera address texts: the port rules of the address text and the credential field's limits.
#include <gtest/gtest.h>

#include "camera/HostPort.h"

namespace xqt {
namespace {

TEST(SplitHostPortTest, TextWithoutColonIsAllHostOnPort80) {
    auto hp = SplitHostPort("192.168.0.10");
    EXPECT_EQ(hp.host, "192.168.0.10");
    EXPECT_EQ(hp.port, 80u);
}

TEST(SplitHostPortTest, PortIsTheLeadingDigitsAfterTheFirstColon) {
    EXPECT_EQ(SplitHostPort("192.168.0.10:8080").port, 8080u);
    EXPECT_EQ(SplitHostPort("192.168.0.10:8080abc").port, 8080u);
    auto twoColons = SplitHostPort("10.0.0.1:81:82");
    EXPECT_EQ(twoColons.host, "10.0.0.1");
    EXPECT_EQ(twoColons.port, 81u);
}

TEST(SplitHostPortTest, ColonWithoutDigitsGivesPortZero) {
    auto hp = SplitHostPort("10.0.0.1:");
    EXPECT_EQ(hp.host, "10.0.0.1");
    EXPECT_EQ(hp.port, 0u);
    EXPECT_EQ(SplitHostPort("10.0.0.1: 80").port, 0u);
    EXPECT_EQ(SplitHostPort("10.0.0.1:x80").port, 0u);
}

TEST(SplitHostPortTest, OnlyTenCharactersAfterTheColonCount) {
    EXPECT_EQ(SplitHostPort("h:123456789012").port, 1234567890u);
}

TEST(SplitHostPortTest, PortsOutsideSixteenBitsAreNotUsableRatherThanWrapped) {
    EXPECT_FALSE(IsUsablePort(SplitHostPort("h:").port));
    EXPECT_FALSE(IsUsablePort(SplitHostPort("h:65616").port));  // would wrap to 80
    EXPECT_TRUE(IsUsablePort(SplitHostPort("h:65535").port));
    EXPECT_TRUE(IsUsablePort(SplitHostPort("h:1").port));
}

TEST(FormatHostPortTest, Port80IsLeftOut) {
    EXPECT_EQ(FormatHostPort({192, 168, 0, 10}, 80), "192.168.0.10");
    EXPECT_EQ(FormatHostPort({192, 168, 0, 10}, 8080), "192.168.0.10:8080");
    EXPECT_EQ(FormatHostPort({255, 255, 255, 255}, 65535).size(), 21u);
    EXPECT_LE(FormatHostPort({255, 255, 255, 255}, 65535).size(), HOSTPORT_MAX);
}

TEST(FormatHostPortTest, SplitGivesBackWhatFormatMade) {
    for (int port : {80, 81, 8080, 65535}) {
        auto hp = SplitHostPort(FormatHostPort({127, 0, 1, 9}, port));
        EXPECT_EQ(hp.host, "127.0.1.9");
        EXPECT_EQ(hp.port, static_cast<std::uint64_t>(port));
    }
}

}  // namespace
}  // namespace xqt
