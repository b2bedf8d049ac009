#pragma once
// The simulated fleet's UDP discovery responder: answers every enquiry with one datagram per
// simulated camera (more with the `repeat` and `burst` knobs), sent to the enquiring socket.
//
// Where to bind: the enquiry goes to 255.255.255.255. In the isolated test namespace (only `lo`,
// default route over it) that broadcast is delivered to sockets bound to 0.0.0.0 or to
// 255.255.255.255, not to 127.255.255.255 nor 127.0.0.1: `lo` has no broadcast address. The
// responder sets SO_REUSEADDR, so several responders on one port each get every broadcast, as
// several cameras on one segment do.
//
// The replies are built afresh for every enquiry from the cameras as they stand then, so a camera
// upgraded since start-up is found with its new version.
//
// Threads: Start, Stop and the destructor belong to the owner; the answers are sent from the
// responder's own thread, which also calls the camera source; the statistics may be read from any
// thread.

#include <array>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimCamera.h"

namespace xqt::sim {

/// The datagrams one camera sends for one enquiry, in sending order: fields "MODEL:", "SERIAL:",
/// "MAC:", "IPADR:", "WEBPORT:", "SOFTVERSION:", "DHCP:", "DNSAUTO:", each value ended by 0xFF,
/// shaped by the camera's discovery knobs. Empty for a silent camera.
std::vector<std::string> DiscoveryReplies(const SimCamera& camera);

class DiscoveryResponder {
  public:
    using Clock = std::chrono::steady_clock;

    /// The cameras as they stand at each enquiry (a running fleet's, e.g. CameraServer::Camera).
    using CameraSource = std::function<std::vector<SimCamera>()>;

    /// Answers for `cameras` as they are given, fixed for the responder's life.
    explicit DiscoveryResponder(std::vector<SimCamera> cameras, std::string bindAddress = "0.0.0.0",
                                std::uint16_t port = 2380);
    /// Answers for the cameras `source` gives at each enquiry; it must outlive the responder.
    static std::unique_ptr<DiscoveryResponder> Following(CameraSource source,
                                                         std::string bindAddress = "0.0.0.0",
                                                         std::uint16_t port = 2380);
    ~DiscoveryResponder();

    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

    /// Binds and starts answering; an error when the address cannot be bound.
    boost::system::error_code Start();
    /// Stops answering and closes the socket; idempotent.
    void Stop();

    /// The port bound (useful when constructed with port 0).
    std::uint16_t Port() const { return port_; }
    /// Every datagram received, in order.
    std::vector<std::string> Received() const;
    /// Enquiries answered so far.
    std::size_t EnquiriesAnswered() const;
    /// Replies sent so far, and sends that failed.
    std::size_t RepliesSent() const;
    std::size_t SendFailures() const;
    /// When the last reply of the latest enquiry left.
    Clock::time_point LastReplyAt() const;
    /// Datagrams an enquiry gets now.
    std::size_t RepliesPerEnquiry() const { return Replies().size(); }

  private:
    struct FromSource {};
    DiscoveryResponder(FromSource, CameraSource source, std::string bindAddress, std::uint16_t port);

    void ReceiveNext();
    void Answer(const boost::asio::ip::udp::endpoint& to);
    /// Every camera's datagrams, as the cameras stand now.
    std::vector<std::string> Replies() const;

    CameraSource source_;
    std::string bindAddress_;
    std::uint16_t port_;
    boost::asio::io_context io_;
    boost::asio::ip::udp::socket socket_;  // used on the responder's thread once started
    boost::asio::ip::udp::endpoint sender_;
    std::array<char, 2048> buffer_{};
    std::thread thread_;

    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    std::size_t enquiries_ = 0;
    std::size_t sent_ = 0;
    std::size_t sendFailures_ = 0;
    Clock::time_point lastReplyAt_{};
};

}  // namespace xqt::sim
