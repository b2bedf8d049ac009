// The discovery service against the simulated fleet over the real broadcast, in the isolated
// namespace: what it records, the stop handshake, set-up failures and failures after start-up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/camera/discovery/DiscoveryTestSupport.h"
#include "tests/support/Slowdown.h"

namespace xqt {
namespace {

using namespace std::string_literals;
using test::AllowAll;
using test::Camera;
using test::Eventually;
using test::FastTiming;
using test::Reports;
using test::TestModels;

class DiscoveryServiceTest : public test::BroadcastTest {
  protected:
    DiscoveryResults results{TestModels(), AllowAll};
    Reports reports;
};

TEST_F(DiscoveryServiceTest, RoundTripRecordsListedCamerasFromBothEnquiries) {
    auto plain = Camera("XQT-TR60", "1000001", "08:00:46:00:00:01", "127.0.1.1");
    plain.softVersion = "1.10";
    auto dhcp = Camera("XQT-TR60P", "1000002", "08:00:46:00:00:02", "127.0.1.2");
    dhcp.webPort = 8080;
    dhcp.dhcp = true;
    dhcp.dnsAuto = true;
    auto foreign = Camera("XQT-ZZ10", "1000003", "08:00:46:00:00:03", "127.0.1.3");
    auto& fleet = Fleet({plain, dhcp, foreign});

    DiscoveryService service(results, reports.Options());
    ASSERT_EQ(service.Run(), 0);

    EXPECT_EQ(results.thread.load(), 0);
    EXPECT_EQ(results.stop.load(), 0);
    EXPECT_FALSE(service.Failed());
    EXPECT_TRUE(reports.Lines().empty());
    const std::string enquiry(DISCOVERY_ENQUIRY.begin(), DISCOVERY_ENQUIRY.end());
    EXPECT_EQ(fleet.Received(), (std::vector<std::string>{enquiry, enquiry}));
    EXPECT_EQ(fleet.EnquiriesAnswered(), 2u);

    EXPECT_EQ(results.count.load(), 2);
    const auto entries = results.Snapshot();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].model, "XQT-TR60");
    EXPECT_EQ(entries[0].serial, "1000001");
    EXPECT_EQ(entries[0].version, "1.10");
    EXPECT_EQ(entries[0].mac, "08:00:46:00:00:01");
    EXPECT_EQ(entries[0].ipAddress, (std::array<std::uint8_t, 4>{127, 0, 1, 1}));
    EXPECT_EQ(entries[0].webPort, 80);
    EXPECT_FALSE(entries[0].dhcp);
    EXPECT_EQ(entries[1].mac, "08:00:46:00:00:02");
    EXPECT_EQ(entries[1].webPort, 8080);
    EXPECT_TRUE(entries[1].dhcp);
    EXPECT_TRUE(entries[1].dnsAuto);
}

TEST_F(DiscoveryServiceTest, DuplicateRepliesFromOneMacGiveOneEntry) {
    auto repeated = Camera("XQT-TR60", "1000001", "08:00:46:00:00:01");
    repeated.discovery.repeat = 3;
    auto sameMac = Camera("XQT-TR60N", "1000009", "08:00:46:00:00:01", "127.0.1.9");
    Fleet({repeated, sameMac});

    DiscoveryService service(results, reports.Options());
    ASSERT_EQ(service.Run(), 0);

    EXPECT_EQ(results.count.load(), 1);
    const auto entries = results.Snapshot();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].serial, "1000009");  // the last reply of the burst wins
}

TEST_F(DiscoveryServiceTest, FaultyRepliesOverTheWire) {
    auto noPort = Camera("XQT-TR60", "1000001", "08:00:46:00:00:01");
    noPort.webPort = 8080;
    noPort.dhcp = true;
    noPort.discovery.omitFields = {"WEBPORT:", "DHCP:"};
    auto longModel = Camera("XQT-TR60N" + std::string(40, 'X'), "1000002", "08:00:46:00:00:02");
    auto noise = Camera("XQT-TR60P", "1000003", "08:00:46:00:00:03");
    noise.discovery.omitFields = {"SOFTVERSION:"};
    noise.discovery.extraBytes = "\x01\xFE garbage SOFTVERSION:9.99";
    auto silent = Camera("XQT-TR60", "1000004", "08:00:46:00:00:04");
    silent.discovery.silent = true;
    Fleet({noPort, longModel, noise, silent});

    DiscoveryService service(results, reports.Options());
    ASSERT_EQ(service.Run(), 0);

    const auto entries = results.Snapshot();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].webPort, 80);
    EXPECT_FALSE(entries[0].dhcp);
    EXPECT_EQ(entries[1].mac, "08:00:46:00:00:03");
    EXPECT_EQ(entries[1].version, "9.99");  // an unterminated last field runs to the end
}

TEST_F(DiscoveryServiceTest, DatagramsAreReadUpTo1072Bytes) {
    auto padded = Camera("XQT-TR60", "1000001", "08:00:46:00:00:01");
    padded.dnsAuto = true;
    // DNSAUTO is the last field; pad the version so that it starts beyond byte 1072.
    padded.softVersion = std::string(1100, 'p');
    Fleet({padded});

    DiscoveryService service(results, reports.Options());
    ASSERT_EQ(service.Run(), 0);

    const auto entries = results.Snapshot();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].version, std::string(15, 'p'));
    EXPECT_FALSE(entries[0].dnsAuto);
}

// 300 cameras answer while the receive thread is held up in the serial check of the first reply:
// every reply must wait in the socket, and the table must hold exactly the first 256 cameras.
TEST_F(DiscoveryServiceTest, BurstArrivingWhileTheReceiverIsBusyIsRecordedCompletely) {
    constexpr int CAMERAS = 300;
    auto burst = Camera("XQT-TR60", "1000000", "08:00:46:00:00:00", "127.0.1.0");
    burst.discovery.burst = CAMERAS;
    burst.discovery.extraBytes = std::string(130, '.');  // replies of some 250 bytes
    auto& fleet = Fleet({burst});
    std::atomic<bool> release{false};
    DiscoveryResults stalled(TestModels(), [&](const std::string&) {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    });
    DiscoveryService service(stalled, reports.Options());
    ASSERT_EQ(service.Start(), 0);
    ASSERT_EQ(service.SendEnquiry(), 0);
    EXPECT_TRUE(Eventually([&] { return fleet.RepliesSent() == CAMERAS; }));
    release = true;
    ASSERT_TRUE(Eventually([&] { return stalled.count.load() == DISCOVERY_TABLE_SIZE; }))
        << stalled.count.load() << " of 256 recorded";

    const auto entries = stalled.Snapshot();
    const auto expected = sim::DiscoveryReplies(burst);
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(DISCOVERY_TABLE_SIZE));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ASSERT_EQ(entries[i].mac, ReadField(expected[i], "MAC:", ROOM_MAC)) << "camera " << i << " was lost";
    }
}

TEST_F(DiscoveryServiceTest, RepliesAreIgnoredWhileNotAccepting) {
    auto& fleet = Fleet({Camera("XQT-TR60", "1000001", "08:00:46:00:00:01")});
    DiscoveryService service(results, reports.Options());
    ASSERT_EQ(service.Start(), 0);
    EXPECT_EQ(results.accepting.load(), 1);
    results.accepting = 0;
    ASSERT_EQ(service.SendEnquiry(), 0);
    ASSERT_TRUE(Eventually([&] { return fleet.RepliesSent() == 1; }));
    // The reply is on its way over loopback; give the receiver several waits to take it.
    std::this_thread::sleep_for(test::Allow(std::chrono::milliseconds(50)));
    service.RequestStop();
    service.WaitStopped();
    EXPECT_EQ(results.count.load(), 0);
}

TEST_F(DiscoveryServiceTest, StopHandshakeEndsTheReceiverAndLaterEnquiriesAreNotSent) {
    auto& fleet = Fleet({Camera("XQT-TR60", "1000001", "08:00:46:00:00:01")});
    DiscoveryService service(results, reports.Options());
    ASSERT_EQ(service.Start(), 0);
    EXPECT_NE(service.LocalPort(), 0);
    EXPECT_EQ(results.thread.load(), 1);
    EXPECT_EQ(results.stop.load(), 0);
    ASSERT_EQ(service.SendEnquiry(), 0);
    ASSERT_TRUE(Eventually([&] { return results.count.load() == 1; }));

    service.RequestStop();
    EXPECT_EQ(results.stop.load(), 1);
    // The owner's side of the handshake: wait until the receiver has cleared stop itself.
    ASSERT_TRUE(Eventually([&] { return results.stop.load() == 0; }));
    EXPECT_EQ(results.thread.load(), 0);
    service.WaitStopped();

    EXPECT_EQ(service.SendEnquiry(), -1);
    EXPECT_EQ(fleet.Received().size(), 1u);
    EXPECT_FALSE(service.Failed());
    EXPECT_TRUE(reports.Lines().empty());
    // A stop requested after the end leaves the flags at rest.
    service.RequestStop();
    service.WaitStopped();
    EXPECT_EQ(results.stop.load(), 0);
    EXPECT_EQ(results.count.load(), 1);
}

TEST_F(DiscoveryServiceTest, DestroyingARunningServiceStopsItsReceiver) {
    {
        DiscoveryService service(results, reports.Options(DiscoveryTiming{}));
        ASSERT_EQ(service.Start(), 0);
        EXPECT_EQ(results.thread.load(), 1);
    }
    EXPECT_EQ(results.thread.load(), 0);
    EXPECT_EQ(results.stop.load(), 0);
}

// --- set-up failures: the printed line and the exit code, observed through the hooks.

TEST_F(DiscoveryServiceTest, SocketThatCannotBeCreatedExitsWithCode1) {
    DiscoveryService service(results, reports.Options());
    // Allow no further descriptor, so creating the socket fails for real.
    const int probe = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(probe, 0);
    ::close(probe);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(probe);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const int code = service.Start();
    ::setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_EQ(code, 1);
    EXPECT_EQ(reports.ExitCodes(), std::vector<int>{1});
    EXPECT_EQ(reports.Lines(), std::vector<std::string>{"Error : Create Socket"});
    EXPECT_EQ(results.thread.load(), 0);
    EXPECT_EQ(service.SendEnquiry(), -1);
}

TEST_F(DiscoveryServiceTest, ReceiveWaitThatCannotBeSetExitsWithCode2) {
    DiscoveryTiming timing = FastTiming();
    timing.receiveWait = std::chrono::milliseconds(-1);  // the system refuses a negative wait
    DiscoveryService service(results, reports.Options(timing));
    EXPECT_EQ(service.Start(), 2);
    EXPECT_EQ(reports.ExitCodes(), std::vector<int>{2});
    EXPECT_EQ(reports.Lines(), std::vector<std::string>{"Error : Set Socket Option"});
    EXPECT_EQ(results.thread.load(), 0);
    EXPECT_EQ(service.SendEnquiry(), -1);  // the socket was closed
}

TEST_F(DiscoveryServiceTest, AddressThatCannotBeBoundExitsWithCode3) {
    DiscoveryOptions options = reports.Options();
    options.local = {boost::asio::ip::make_address_v4("192.0.2.1"), 0};  // not an address of this host
    DiscoveryService service(results, options);
    EXPECT_EQ(service.Start(), 3);
    EXPECT_EQ(reports.ExitCodes(), std::vector<int>{3});
    EXPECT_EQ(reports.Lines(), std::vector<std::string>{"Error : Bind"});
    EXPECT_EQ(results.thread.load(), 0);
    EXPECT_EQ(service.SendEnquiry(), -1);
}

TEST(DiscoveryTimingTest, DefaultsAndScaling) {
    const DiscoveryTiming timing;
    EXPECT_EQ(timing.enquiryInterval, std::chrono::milliseconds(5000));
    EXPECT_EQ(timing.stopAfter, std::chrono::milliseconds(10000));
    EXPECT_EQ(timing.receiveWait, std::chrono::milliseconds(5));
    const DiscoveryTiming fast = timing.Scaled(0.01);
    EXPECT_EQ(fast.enquiryInterval, std::chrono::milliseconds(50));
    EXPECT_EQ(fast.stopAfter, std::chrono::milliseconds(100));
    EXPECT_EQ(fast.receiveWait, std::chrono::milliseconds(1));  // never 0, which would wait forever
}

// --- failures after start-up end discovery only.

// The next enquiry of `service` fails to leave. Checks that the process goes on: no exit, one
// message, the receiver ends by itself, the table keeps the one camera it had.
void ExpectSendFailureEndsDiscoveryOnly(DiscoveryService& service, DiscoveryResults& results,
                                        Reports& reports) {
    EXPECT_EQ(service.SendEnquiry(), -1);
    EXPECT_TRUE(Eventually([&] { return results.thread.load() == 0; }));
    service.WaitStopped();
    EXPECT_EQ(results.stop.load(), 0);
    EXPECT_TRUE(service.Failed());
    EXPECT_TRUE(reports.ExitCodes().empty());
    EXPECT_EQ(service.SendEnquiry(), -1);  // the second enquiry of the timer stays quiet
    EXPECT_EQ(reports.Lines(), std::vector<std::string>{"Error : sendto"});
    ASSERT_EQ(results.Snapshot().size(), 1u);
    EXPECT_EQ(results.Snapshot()[0].mac, "08:00:46:00:00:01");
}

TEST_F(DiscoveryServiceTest, SendFailureEndsDiscoveryButNotTheProcess) {
    results.HandleDatagram(sim::DiscoveryReplies(Camera("XQT-TR60", "1000001", "08:00:46:00:00:01"))[0]);
    DiscoveryOptions options = reports.Options();
    options.destination.port(0);  // the system refuses to send to port 0
    DiscoveryService service(results, options);
    ASSERT_EQ(service.Start(), 0);
    ExpectSendFailureEndsDiscoveryOnly(service, results, reports);
}

// The case of a PC without a route for the broadcast, built for real: the service is started on
// a thread moved into a fresh network namespace of its own, where nothing is configured.
TEST_F(DiscoveryServiceTest, SendFailureWithoutARouteEndsDiscoveryButNotTheProcess) {
    results.HandleDatagram(sim::DiscoveryReplies(Camera("XQT-TR60", "1000001", "08:00:46:00:00:01"))[0]);
    int unshareError = 0;
    std::thread owner([&] {
        if (::unshare(CLONE_NEWNET) != 0) {
            unshareError = errno;
            return;
        }
        DiscoveryService service(results, reports.Options());
        ASSERT_EQ(service.Start(), 0);
        ExpectSendFailureEndsDiscoveryOnly(service, results, reports);
    });
    owner.join();
    if (unshareError != 0)
        GTEST_SKIP() << "cannot create a network namespace here: " << std::strerror(unshareError);
}

}  // namespace
}  // namespace xqt
