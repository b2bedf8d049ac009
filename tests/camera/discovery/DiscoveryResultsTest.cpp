// The discovery table: which replies it takes, how it keys and fills entries, and that readers on
// another thread only ever see whole entries.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "camera/DiscoveryResults.h"
#include "sim/DiscoveryResponder.h"
#include "tests/camera/discovery/DiscoveryTestSupport.h"

namespace xqt {
namespace {

using namespace std::string_literals;
using test::AllowAll;
using test::Camera;
using test::TestModels;

std::string ReplyOf(const sim::SimCamera& camera) {
    return sim::DiscoveryReplies(camera).at(0);
}

std::string Mac(int i) {
    char text[18];
    std::snprintf(text, sizeof text, "08:00:46:00:%02X:%02X", i >> 8, i & 0xFF);
    return text;
}

TEST(DiscoveryTableTest, ReplyFillsEveryField) {
    DiscoveryResults results(TestModels(), AllowAll);
    auto camera = Camera("XQT-TR60N", "2000123", "08:00:46:AA:BB:CC", "192.168.0.10");
    camera.webPort = 8080;
    camera.softVersion = "1.10";
    camera.dhcp = true;
    camera.dnsAuto = true;
    EXPECT_EQ(results.HandleDatagram(ReplyOf(camera)), DatagramOutcome::Added);

    const auto entries = results.Snapshot();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].model, "XQT-TR60N");
    EXPECT_EQ(entries[0].serial, "2000123");
    EXPECT_EQ(entries[0].version, "1.10");
    EXPECT_EQ(entries[0].mac, "08:00:46:AA:BB:CC");
    EXPECT_EQ(entries[0].ipAddress, (std::array<std::uint8_t, 4>{192, 168, 0, 10}));
    EXPECT_EQ(entries[0].webPort, 8080);
    EXPECT_TRUE(entries[0].dhcp);
    EXPECT_TRUE(entries[0].dnsAuto);
    EXPECT_EQ(results.count.load(), 1);
}

TEST(DiscoveryTableTest, SecondReplyFromTheSameMacUpdatesTheOneEntry) {
    DiscoveryResults results(TestModels(), AllowAll);
    auto first = Camera("XQT-TR60", "1000001", "08:00:46:00:00:01", "10.0.0.1");
    auto second = Camera("XQT-TR60P", "1000002", "08:00:46:00:00:01", "10.0.0.2");
    second.softVersion = "2.00";
    EXPECT_EQ(results.HandleDatagram(ReplyOf(first)), DatagramOutcome::Added);
    EXPECT_EQ(results.HandleDatagram(ReplyOf(second)), DatagramOutcome::Updated);

    EXPECT_EQ(results.count.load(), 1);
    const auto entries = results.Snapshot();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].model, "XQT-TR60P");
    EXPECT_EQ(entries[0].serial, "1000002");
    EXPECT_EQ(entries[0].version, "2.00");
    EXPECT_EQ(entries[0].ipAddress[3], 2);
}

TEST(DiscoveryTableTest, MacsDifferingOnlyInCaseAreTwoCameras) {
    DiscoveryResults results(TestModels(), AllowAll);
    results.HandleDatagram(ReplyOf(Camera("XQT-TR60", "1", "08:00:46:aa:00:01")));
    results.HandleDatagram(ReplyOf(Camera("XQT-TR60", "2", "08:00:46:AA:00:01")));
    EXPECT_EQ(results.count.load(), 2);
}

TEST(DiscoveryTableTest, UnlistedModelOrRefusedSerialLeavesTheTableUnchanged) {
    std::vector<std::string> asked;
    DiscoveryResults results(TestModels(), [&](const std::string& serial) {
        asked.push_back(serial);
        return serial != "6660666";
    });
    results.HandleDatagram(ReplyOf(Camera("XQT-TR60", "1000001", "08:00:46:00:00:01")));

    EXPECT_EQ(results.HandleDatagram(ReplyOf(Camera("XQT-TR99", "1000002", "08:00:46:00:00:02"))),
              DatagramOutcome::UnlistedModel);
    EXPECT_EQ(results.HandleDatagram(ReplyOf(Camera("xqt-tr60", "1000002", "08:00:46:00:00:02"))),
              DatagramOutcome::UnlistedModel);
    // A refused camera must not update a known entry either.
    EXPECT_EQ(results.HandleDatagram(ReplyOf(Camera("XQT-TR60", "6660666", "08:00:46:00:00:01"))),
              DatagramOutcome::RefusedSerial);

    EXPECT_EQ(results.count.load(), 1);
    const auto entries = results.Snapshot();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].serial, "1000001");
    // The rules are asked only about listed models.
    EXPECT_EQ(asked, (std::vector<std::string>{"1000001", "6660666"}));
}

TEST(DiscoveryTableTest, WithoutASerialCheckEverySerialIsRefused) {
    DiscoveryResults results(TestModels(), nullptr);
    EXPECT_EQ(results.HandleDatagram(ReplyOf(Camera("XQT-TR60", "1000001", "08:00:46:00:00:01"))),
              DatagramOutcome::RefusedSerial);
    EXPECT_TRUE(results.Snapshot().empty());
}

TEST(DiscoveryTableTest, MissingFieldsTakeTheirDefaults) {
    DiscoveryResults results(TestModels(), AllowAll);
    auto camera = Camera("XQT-TR60", "1000001", "08:00:46:00:00:01");
    camera.webPort = 8080;
    camera.dhcp = true;
    camera.dnsAuto = true;
    camera.discovery.omitFields = {"WEBPORT:", "DHCP:", "DNSAUTO:", "IPADR:", "SOFTVERSION:"};
    results.HandleDatagram(ReplyOf(camera));

    const DiscoveryEntry entry = results.Entry(0);
    EXPECT_EQ(entry.webPort, 80);
    EXPECT_FALSE(entry.dhcp);
    EXPECT_FALSE(entry.dnsAuto);
    EXPECT_EQ(entry.ipAddress, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(entry.version, "");
}

TEST(DiscoveryTableTest, ReplyWithoutMacIsNotRecordedNorCounted) {
    DiscoveryResults results(TestModels(), AllowAll);
    auto camera = Camera("XQT-TR60", "1000001", "");
    EXPECT_EQ(results.HandleDatagram(ReplyOf(camera)), DatagramOutcome::NoMac);
    camera.discovery.omitFields = {"MAC:"};
    EXPECT_EQ(results.HandleDatagram(ReplyOf(camera)), DatagramOutcome::NoMac);
    EXPECT_EQ(results.count.load(), 0);
    EXPECT_TRUE(results.Snapshot().empty());
}

TEST(DiscoveryTableTest, ModelIsCutTo31BytesBeforeTheModelTest) {
    const std::string name31(31, 'M');
    const std::string name32(32, 'N');
    DiscoveryResults results(ModelList{name31, name32}, AllowAll);

    EXPECT_EQ(results.HandleDatagram(ReplyOf(Camera(name31 + "-EXTRA", "1", "08:00:46:00:00:01"))),
              DatagramOutcome::Added);
    // A listed name longer than 31 bytes can never match.
    EXPECT_EQ(results.HandleDatagram(ReplyOf(Camera(name32, "2", "08:00:46:00:00:02"))),
              DatagramOutcome::UnlistedModel);
    EXPECT_EQ(results.Entry(0).model, name31);
}

TEST(DiscoveryTableTest, LongValuesAreCutToTheirRooms) {
    std::string checkedSerial;
    DiscoveryResults results(TestModels(), [&](const std::string& serial) {
        checkedSerial = serial;
        return true;
    });
    auto camera = Camera("XQT-TR60", std::string(40, '7'), "08:00:46:00:00:01-TOO-LONG");
    camera.softVersion = std::string(30, 'v');
    camera.discovery.valueOverrides = {{"IPADR:", "192.168.100.200-and-more"},
                                       {"WEBPORT:", "0000000000000081234"}};
    results.HandleDatagram(ReplyOf(camera));

    const DiscoveryEntry entry = results.Entry(0);
    EXPECT_EQ(checkedSerial, std::string(31, '7'));  // the rules see 31 bytes
    EXPECT_EQ(entry.serial, std::string(11, '7'));   // the table keeps 11
    EXPECT_EQ(entry.version, std::string(15, 'v'));
    EXPECT_EQ(entry.mac, "08:00:46:00:00:01");
    EXPECT_EQ(entry.ipAddress, (std::array<std::uint8_t, 4>{192, 168, 100, 200}));
    EXPECT_EQ(entry.webPort, 8);  // WEBPORT is read from its first 15 bytes
}

TEST(DiscoveryTableTest, TextEndsAtTheFirstNul) {
    DiscoveryResults results(TestModels(), AllowAll);
    auto camera = Camera("XQT-TR60", "1000001", "08:00:46:00:00:01");
    camera.discovery.valueOverrides = {{"IPADR:", "10.0.0.1\0hidden"s}};
    results.HandleDatagram(ReplyOf(camera));
    // Everything after the NUL, the port and the version included, is not part of the reply.
    const DiscoveryEntry entry = results.Entry(0);
    EXPECT_EQ(entry.ipAddress, (std::array<std::uint8_t, 4>{10, 0, 0, 1}));
    EXPECT_EQ(entry.webPort, 80);
    EXPECT_EQ(entry.version, "");

    EXPECT_EQ(results.HandleDatagram("\0MODEL:XQT-TR60\xFFMAC:08:00:46:00:00:02\xFF"s),
              DatagramOutcome::Ignored);
    EXPECT_EQ(results.count.load(), 1);
}

TEST(DiscoveryTableTest, AnswersToSettingRequestsAndOtherDatagramsAreIgnored) {
    DiscoveryResults results(TestModels(), AllowAll);
    for (const std::string& datagram : {"ACK:08:00:46:00:00:01\xFF"s, "NAK:08:00:46:00:00:01\xFF"s,
                                        "\x02"
                                        "ENQ:allinfo\xFF\x03"s,
                                        "SERIAL:1\xFFMAC:08:00:46:00:00:01\xFF"s, ""s, "\xFF\xFF\xFF"s}) {
        EXPECT_EQ(results.HandleDatagram(datagram), DatagramOutcome::Ignored);
    }
    EXPECT_EQ(results.count.load(), 0);
    EXPECT_TRUE(results.Snapshot().empty());
}

TEST(DiscoveryTableTest, The257thCameraIsNotRecordedButKnownOnesStillUpdate) {
    DiscoveryResults results(TestModels(), AllowAll);
    for (int i = 0; i < DISCOVERY_TABLE_SIZE; ++i) {
        ASSERT_EQ(results.HandleDatagram(ReplyOf(Camera("XQT-TR60", std::to_string(i), Mac(i)))),
                  DatagramOutcome::Added);
    }
    EXPECT_EQ(results.HandleDatagram(ReplyOf(Camera("XQT-TR60", "256", Mac(256)))),
              DatagramOutcome::TableFull);
    EXPECT_EQ(results.HandleDatagram(ReplyOf(Camera("XQT-TR60N", "updated", Mac(255)))),
              DatagramOutcome::Updated);

    EXPECT_EQ(results.count.load(), DISCOVERY_TABLE_SIZE);
    const auto entries = results.Snapshot();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(DISCOVERY_TABLE_SIZE));
    EXPECT_EQ(entries.front().mac, Mac(0));
    EXPECT_EQ(entries.back().mac, Mac(255));
    EXPECT_EQ(entries.back().serial, "updated");
    EXPECT_EQ(results.Entry(256).mac, "");  // outside the table: an empty entry, not a crash
    EXPECT_EQ(results.Entry(-1).mac, "");
}

// A reader polling the table while the receive thread rewrites an entry must see either the old
// or the new reply, never a mix; and `count` never runs ahead of the entries that can be read.
TEST(DiscoveryTableTest, ReadersOnAnotherThreadSeeOnlyWholeEntries) {
    DiscoveryResults results(TestModels(), AllowAll);
    auto a = Camera("XQT-TR60", "1111111", "08:00:46:00:00:01", "10.1.1.1");
    a.softVersion = "1.11";
    a.webPort = 1111;
    auto b = Camera("XQT-TR60N", "2222222", "08:00:46:00:00:01", "10.2.2.2");
    b.softVersion = "2.22";
    b.webPort = 2222;
    b.dhcp = true;
    const std::string replyA = ReplyOf(a), replyB = ReplyOf(b);

    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            results.HandleDatagram(i % 2 ? replyB : replyA);
            if (i % 100 == 0) results.HandleDatagram(ReplyOf(Camera("XQT-TR60", "3", Mac(1000 + i / 100))));
        }
        done = true;
    });
    int torn = 0, countAhead = 0, reads = 0;
    while (!done || reads == 0) {
        const int counted = results.count.load();
        const auto entries = results.Snapshot();
        if (static_cast<int>(entries.size()) < counted) ++countAhead;
        // Entry 0 is the camera that keeps being rewritten.
        const DiscoveryEntry e = results.Entry(0);
        if (e.mac.empty()) continue;
        const bool isA = e.model == "XQT-TR60" && e.serial == "1111111" && e.version == "1.11" &&
                         e.ipAddress[0] == 10 && e.ipAddress[1] == 1 && e.webPort == 1111 && !e.dhcp;
        const bool isB = e.model == "XQT-TR60N" && e.serial == "2222222" && e.version == "2.22" &&
                         e.ipAddress[0] == 10 && e.ipAddress[1] == 2 && e.webPort == 2222 && e.dhcp;
        if (!isA && !isB) ++torn;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_EQ(countAhead, 0);
    EXPECT_EQ(results.count.load(), 1 + 200);
}

}  // namespace
}  // namespace xqt
