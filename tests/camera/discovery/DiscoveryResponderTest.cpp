// The simulated cameras' answers to the enquiry: the reply bytes, the fault knobs, and what the
// responder answers and records.
#include <gtest/gtest.h>

#include <boost/asio/ip/udp.hpp>

#include "camera/DiscoveryReply.h"
#include "sim/DiscoveryResponder.h"
#include "tests/camera/discovery/DiscoveryTestSupport.h"

namespace xqt::sim {
namespace {

using namespace std::string_literals;
using test::Camera;
using test::Eventually;

TEST(DiscoveryRepliesTest, OneDatagramOfAllFieldsEachEndedByFF) {
    auto camera = Camera("XQT-TR60", "1000001", "08:00:46:00:00:01", "127.0.1.7");
    camera.webPort = 8080;
    camera.softVersion = "1.10";
    camera.dhcp = true;
    EXPECT_EQ(DiscoveryReplies(camera),
              std::vector<std::string>{"MODEL:XQT-TR60\xFFSERIAL:1000001\xFFMAC:08:00:46:00:00:01\xFF"
                                       "IPADR:127.0.1.7\xFFWEBPORT:8080\xFFSOFTVERSION:1.10\xFF"
                                       "DHCP:ON\xFF"
                                       "DNSAUTO:OFF\xFF"s});
}

TEST(DiscoveryRepliesTest, KnobsShapeTheReply) {
    auto camera = Camera("XQT-TR60", "1000001", "08:00:46:00:00:01");
    camera.discovery.omitFields = {"IPADR:", "WEBPORT:", "SOFTVERSION:", "DHCP:", "DNSAUTO:"};
    camera.discovery.valueOverrides = {{"SERIAL:",
                                        "12\xFF\0"
                                        "34"s}};
    camera.discovery.extraBytes = "ACK:";
    camera.discovery.repeat = 2;
    const std::string reply =
        "MODEL:XQT-TR60\xFFSERIAL:12\xFF\0"
        "34\xFFMAC:08:00:46:00:00:01\xFF"
        "ACK:"s;
    EXPECT_EQ(DiscoveryReplies(camera), (std::vector<std::string>{reply, reply}));

    camera.discovery.silent = true;
    EXPECT_TRUE(DiscoveryReplies(camera).empty());
}

TEST(DiscoveryRepliesTest, BurstCopiesDifferInMacSerialAndAddress) {
    auto camera = Camera("XQT-TR60", "A0098", "08:00:46:00:00:FE", "127.0.1.255");
    camera.discovery.burst = 3;
    const auto replies = DiscoveryReplies(camera);
    ASSERT_EQ(replies.size(), 3u);
    const auto field = [&](std::size_t i, const char* key) {
        return std::string(ReadField(replies[i], key, 64));
    };
    EXPECT_EQ(field(0, "MAC:"), "08:00:46:00:00:FE");
    EXPECT_EQ(field(1, "MAC:"), "08:00:46:00:00:FF");
    EXPECT_EQ(field(2, "MAC:"), "08:00:46:00:01:00");
    EXPECT_EQ(field(1, "SERIAL:"), "A0099");
    EXPECT_EQ(field(2, "SERIAL:"), "A0100");
    EXPECT_EQ(field(2, "IPADR:"), "127.0.2.1");

    auto odd = Camera("XQT-TR60", "ABC", "no-mac");
    odd.discovery.burst = 2;
    const auto oddReplies = DiscoveryReplies(odd);
    EXPECT_EQ(ReadField(oddReplies[1], "MAC:", 64), "no-mac-1");
    EXPECT_EQ(ReadField(oddReplies[1], "SERIAL:", 64), "ABC1");
}

TEST(DiscoveryResponderTest, AnswersEnquiriesToTheSenderAndRecordsEveryDatagram) {
    auto second = Camera("XQT-TR60N", "1000002", "08:00:46:00:00:02");
    second.discovery.repeat = 2;
    DiscoveryResponder responder({Camera("XQT-TR60", "1000001", "08:00:46:00:00:01"), second}, "127.0.0.1",
                                 0);
    ASSERT_FALSE(responder.Start());
    ASSERT_NE(responder.Port(), 0);

    namespace asio = boost::asio;
    asio::io_context io;
    asio::ip::udp::socket client(io, asio::ip::udp::endpoint(asio::ip::address_v4::loopback(), 0));
    const asio::ip::udp::endpoint to(asio::ip::address_v4::loopback(), responder.Port());
    client.send_to(asio::buffer("hello"s), to);
    client.send_to(asio::buffer(DISCOVERY_ENQUIRY), to);

    std::vector<std::string> got;
    char buffer[2048];
    while (got.size() < 3) {
        const std::size_t n = client.receive(asio::buffer(buffer));
        got.emplace_back(buffer, n);
    }
    EXPECT_EQ(ReadField(got[0], "MAC:", 18), "08:00:46:00:00:01");
    EXPECT_EQ(got[1], got[2]);
    ASSERT_TRUE(Eventually([&] { return responder.EnquiriesAnswered() == 1; }));
    EXPECT_EQ(responder.RepliesSent(), 3u);
    EXPECT_EQ(responder.SendFailures(), 0u);
    EXPECT_EQ(
        responder.Received(),
        (std::vector<std::string>{"hello", std::string(DISCOVERY_ENQUIRY.begin(), DISCOVERY_ENQUIRY.end())}));
}

TEST(DiscoveryResponderTest, StartReportsAnAddressItCannotBind) {
    DiscoveryResponder responder({}, "192.0.2.1", 0);
    EXPECT_TRUE(responder.Start());
    DiscoveryResponder bad({}, "not-an-address", 0);
    EXPECT_TRUE(bad.Start());
}

}  // namespace
}  // namespace xqt::sim
