// The fleet on real sockets: addresses and ports, refusal of non-loopback addresses, recording of
// what arrives, and stopping with connections open.
#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <thread>

#include "sim/SimFleet.h"
#include "tests/support/Slowdown.h"

namespace xqt::sim {
namespace {

using namespace std::chrono_literals;
namespace asio = boost::asio;
using tcp = asio::ip::tcp;

SimCamera At(const std::string& ip, std::uint16_t port = 0) {
    SimCamera c;
    c.ipText = ip;
    c.webPort = port;
    return c;
}

/// A blocking client with a receive time-out, so a fault in the camera fails the test instead of hanging it.
struct RawClient {
    explicit RawClient(const CameraServer& server) : socket(ioc) {
        const SimCamera c = server.Camera();
        socket.connect(tcp::endpoint(asio::ip::make_address_v4(c.ipText), c.webPort));
        timeval tv{10, 0};
        ::setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    }
    void Send(const std::string& bytes) { asio::write(socket, asio::buffer(bytes)); }
    /// Everything until the camera closes; the error that ended the reading in `ec`.
    std::string ReadToEnd(boost::system::error_code& ec) {
        std::string all;
        char buffer[4096];
        for (;;) {
            const std::size_t n = socket.read_some(asio::buffer(buffer), ec);
            all.append(buffer, n);
            if (ec) return all;
        }
    }
    asio::io_context ioc;
    tcp::socket socket;
};

TEST(SimFleetTest, EachCameraListensOnItsOwnAddressAndAFreePort) {
    SimFleet fleet({At("127.0.3.1"), At("127.0.3.2")});
    fleet.Start();
    for (std::size_t i = 0; i < fleet.Size(); ++i) {
        const SimCamera c = fleet.At(i).Camera();
        EXPECT_NE(c.webPort, 0);
        EXPECT_EQ(fleet.At(i).HostPort(), c.ipText + ":" + std::to_string(c.webPort));
    }
    EXPECT_EQ(fleet.At(0).Camera().ipText, "127.0.3.1");
    EXPECT_EQ(fleet.At(1).Camera().ipText, "127.0.3.2");
}

TEST(SimFleetTest, OnlyLoopbackAddressesAreServed) {
    SimFleet fleet({At("127.0.3.3"), At("192.168.0.10")});
    try {
        fleet.Start();
        FAIL() << "a non-loopback camera was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "camera address 192.168.0.10 is not a loopback address (127.x.y.z)");
    }
}

TEST(SimFleetTest, ATakenAddressIsReportedWithItsPlace) {
    SimFleet first({At("127.0.3.4")});
    first.Start();
    SimFleet second({At("127.0.3.4", first.At(0).Camera().webPort)});
    try {
        second.Start();
        FAIL() << "two cameras on one port";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot listen on 127.0.3.4:", 0), 0u) << e.what();
    }
}

TEST(SimFleetTest, EveryRequestIsRecordedAsItArrived) {
    SimFleet fleet({At("127.0.3.5")});
    fleet.Start();
    {
        RawClient client(fleet.At(0));
        client.Send(
            "POST /command/inquiry.cgi HTTP/1.1\r\nHost: x\r\nAuthorization: Basic abc\r\nContent-Length: "
            "10\r\n\r\ninq=system");
        boost::system::error_code ec;
        EXPECT_EQ(client.ReadToEnd(ec).rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    }
    {
        RawClient client(fleet.At(0));
        client.Send("POST /command/inquiry.cgi HTTP/1.1\r\nContent-Length: 50\r\n\r\ninq=");  // then leaves
    }
    ASSERT_TRUE(fleet.At(0).WaitForRequests(2, test::Allow(10s)));
    auto requests = fleet.At(0).Requests();
    EXPECT_TRUE(requests[0].complete);
    EXPECT_EQ(requests[0].request.method, "POST");
    EXPECT_EQ(requests[0].request.target, "/command/inquiry.cgi");
    EXPECT_EQ(requests[0].request.authorization, "Basic abc");
    EXPECT_EQ(requests[0].request.body, "inq=system");
    EXPECT_FALSE(requests[1].complete);
    EXPECT_EQ(requests[1].raw, "POST /command/inquiry.cgi HTTP/1.1\r\nContent-Length: 50\r\n\r\ninq=");
    EXPECT_EQ(requests[1].rawSize, requests[1].raw.size());
    fleet.At(0).ClearRequests();
    EXPECT_TRUE(fleet.At(0).Requests().empty());
}

TEST(SimFleetTest, ChangesReachTheNextRequest) {
    SimFleet fleet({At("127.0.3.6")});
    fleet.Start();
    fleet.At(0).Update([](SimCamera& c) { c.http.answers["inq=system"] = "ModelName=Changed&"; });
    RawClient client(fleet.At(0));
    client.Send("POST /command/inquiry.cgi HTTP/1.1\r\nContent-Length: 10\r\n\r\ninq=system");
    boost::system::error_code ec;
    const std::string response = client.ReadToEnd(ec);
    EXPECT_EQ(response.substr(response.find("\r\n\r\n") + 4), "ModelName=Changed&");
}

TEST(SimFleetTest, StoppingClosesStalledConnections) {
    SimFleet fleet({At("127.0.3.7")});
    fleet.At(0).Update([](SimCamera& c) { c.http.neverAnswer = true; });
    fleet.Start();
    RawClient client(fleet.At(0));
    client.Send("POST /command/inquiry.cgi HTTP/1.1\r\nContent-Length: 10\r\n\r\ninq=system");
    ASSERT_TRUE(fleet.At(0).WaitForRequests(1, test::Allow(10s)));
    EXPECT_EQ(fleet.At(0).OpenConnections(), 1);
    fleet.Stop();
    boost::system::error_code ec;
    EXPECT_EQ(client.ReadToEnd(ec), "");
    EXPECT_EQ(ec, asio::error::eof);
    EXPECT_EQ(fleet.At(0).OpenConnections(), 0);
}

TEST(SimFleetTest, UnknownPathsAreNotFound) {
    SimFleet fleet({At("127.0.3.8")});
    fleet.Start();
    RawClient client(fleet.At(0));
    client.Send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
    boost::system::error_code ec;
    EXPECT_EQ(client.ReadToEnd(ec).rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
}

}  // namespace
}  // namespace xqt::sim
