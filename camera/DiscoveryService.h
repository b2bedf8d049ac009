#pragma once
// The discovery socket and its receive thread: broadcasts the enquiry to 255.255.255.255:2380 and
// records the cameras' replies in a DiscoveryResults.
//
// Threads: the owner (the UI thread in the wizard, the main thread of the command line) calls
// Start, SendEnquiry, RequestStop and WaitStopped; ReceiveLoop runs on a thread of its own, the
// only one that writes the table and the only one that closes the socket. The owner's timer
// decides when to send again and when to stop (DiscoveryTiming); Run does the same on the calling
// thread for owners without a timer.
//
// Failures: a set-up failure prints its line and ends the process (exit codes 1–3, through
// `exitProcess`). A failure to send, receive or close after start-up ends discovery only: one
// line is printed, the table keeps what it has, the receive thread clears `stop` and `thread`,
// and the program goes on.

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "camera/DiscoveryReply.h"
#include "camera/DiscoveryResults.h"

namespace xqt {

/// The durations of one discovery run.
struct DiscoveryTiming {
    std::chrono::milliseconds enquiryInterval{5000};  ///< from the first enquiry to the second
    std::chrono::milliseconds stopAfter{10000};       ///< from the first enquiry to the stop request
    std::chrono::milliseconds receiveWait{5};  ///< longest wait of one receive; bounds the stop latency

    /// Every duration times `factor`, none below 1 ms (a zero receive wait would mean "wait forever").
    DiscoveryTiming Scaled(double factor) const;
};

struct DiscoveryOptions {
    DiscoveryTiming timing;
    /// Where the enquiry goes.
    boost::asio::ip::udp::endpoint destination{boost::asio::ip::address_v4::broadcast(), DISCOVERY_PORT};
    /// Where the socket binds: any address, a port the system picks.
    boost::asio::ip::udp::endpoint local{boost::asio::ip::address_v4::any(), 0};
    /// Prints one report line (given without its newline); called on the owner's thread or the
    /// receive thread. Default: the line on standard output.
    std::function<void(const std::string& line)> print;
    /// Ends the process after a set-up failure. Default: std::exit. When it returns, Start returns
    /// the code instead.
    std::function<void(int code)> exitProcess;
};

class DiscoveryService {
  public:
    /// `results` must outlive the service.
    explicit DiscoveryService(DiscoveryResults& results, DiscoveryOptions options = {});
    /// Stops the receive thread by the stop handshake and waits for it.
    ~DiscoveryService();

    DiscoveryService(const DiscoveryService&) = delete;
    DiscoveryService& operator=(const DiscoveryService&) = delete;

    /// Sets up the socket (broadcast allowed, receive wait, bound to the local address) and starts
    /// ReceiveLoop. Returns 0, or the exit code 1–3 of a failed step when `exitProcess` returned.
    /// Call once.
    int Start();

    /// Sends `length` bytes to the destination. 0 when sent; -1 when sending failed (discovery then
    /// ends) or discovery has already ended.
    int SendEnquiry(const std::uint8_t* bytes, std::size_t length);
    /// Sends the 14-byte enquiry.
    int SendEnquiry();

    /// Asks the receive thread to end (stop = 1); returns at once.
    void RequestStop();
    /// Waits until the receive thread has ended, which it does after RequestStop or a failure;
    /// afterwards `stop` and `thread` are 0.
    void WaitStopped();

    /// The whole run on the calling thread, as the owner's timer drives it: Start, the enquiry, the
    /// enquiry again after timing.enquiryInterval, the stop request at timing.stopAfter, then the
    /// wait for the receive thread. Returns early when discovery ends by itself. Returns Start's code.
    int Run();

    /// True when discovery ended because sending, receiving or closing failed.
    [[nodiscard]] bool Failed() const { return failed_.load(); }
    /// The port the socket is bound to; 0 before a successful Start.
    std::uint16_t LocalPort() const { return localPort_; }
    const DiscoveryTiming& Timing() const { return options_.timing; }

  private:
    int SetupFailed(const char* line, int code);
    void ReportFailure(const char* line);
    void ReceiveLoop();
    void CloseSocket();

    DiscoveryResults& results_;
    DiscoveryOptions options_;
    boost::asio::io_context io_;
    std::mutex socketMutex_;  // guards socket_ between the owner's sends and the receiver's close
    boost::asio::ip::udp::socket socket_;  // guarded by socketMutex_
    int fd_ = -1;                          // set before the receive thread starts; read only by it
    std::uint16_t localPort_ = 0;
    std::atomic<bool> failed_{false};
    std::atomic<bool> reported_{false};  // one failure line per run
    std::thread receiver_;
};

}  // namespace xqt
