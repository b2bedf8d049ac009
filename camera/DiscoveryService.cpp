#include "camera/DiscoveryService.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <array>
#include <boost/asio/buffer.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace xqt {

namespace asio = boost::asio;
using asio::ip::udp;

namespace {

// All 256 cameras answer the same enquiry at once. The default receive buffer holds only some 160
// replies of a few hundred bytes, so a burst that arrives while the receive thread is busy would
// lose cameras. This asks for room for 256 replies of the largest size; the system may grant less
// (net.core.rmem_max), never less than its default.
constexpr int RECEIVE_BUFFER_BYTES = 1 << 20;

// SO_RCVTIMEO in the form Asio's set_option takes. Asio has no option of its own for it: its
// synchronous receive would turn the expired wait into an unbounded poll, which is why ReceiveLoop
// receives on the native handle.
class ReceiveWaitOption {
  public:
    explicit ReceiveWaitOption(std::chrono::microseconds wait) {
        value_.tv_sec = static_cast<time_t>(wait.count() / 1000000);
        value_.tv_usec = static_cast<suseconds_t>(wait.count() % 1000000);
    }
    template <typename Protocol>
    int level(const Protocol&) const {
        return SOL_SOCKET;
    }
    template <typename Protocol>
    int name(const Protocol&) const {
        return SO_RCVTIMEO;
    }
    template <typename Protocol>
    const void* data(const Protocol&) const {
        return &value_;
    }
    template <typename Protocol>
    std::size_t size(const Protocol&) const {
        return sizeof value_;
    }

  private:
    timeval value_{};
};

std::chrono::milliseconds ScaleDuration(std::chrono::milliseconds d, double factor) {
    const double scaled = static_cast<double>(d.count()) * factor;
    return std::chrono::milliseconds(std::max<std::int64_t>(1, static_cast<std::int64_t>(scaled + 0.5)));
}

void PrintToStdout(const std::string& line) {
    std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

DiscoveryTiming DiscoveryTiming::Scaled(double factor) const {
    return {ScaleDuration(enquiryInterval, factor), ScaleDuration(stopAfter, factor),
            ScaleDuration(receiveWait, factor)};
}

DiscoveryService::DiscoveryService(DiscoveryResults& results, DiscoveryOptions options)
    : results_(results), options_(std::move(options)), socket_(io_) {
    if (!options_.print) options_.print = PrintToStdout;
    if (!options_.exitProcess) options_.exitProcess = [](int code) { std::exit(code); };
}

DiscoveryService::~DiscoveryService() {
    RequestStop();
    WaitStopped();
    boost::system::error_code ignored;
    std::lock_guard lock(socketMutex_);
    if (socket_.is_open()) socket_.close(ignored);
}

int DiscoveryService::SetupFailed(const char* line, int code) {
    options_.print(line);
    boost::system::error_code ignored;
    {
        std::lock_guard lock(socketMutex_);
        if (socket_.is_open()) socket_.close(ignored);
    }
    options_.exitProcess(code);
    return code;
}

int DiscoveryService::Start() {
    boost::system::error_code ec;
    {
        std::lock_guard lock(socketMutex_);
        socket_.open(udp::v4(), ec);
    }
    if (ec) {
        // Nothing to close: print and end as the other set-up failures do.
        options_.print("Error : Create Socket");
        options_.exitProcess(1);
        return 1;
    }
    {
        std::lock_guard lock(socketMutex_);
        boost::system::error_code ignored;
        socket_.set_option(asio::socket_base::broadcast(true), ignored);
        socket_.set_option(asio::socket_base::receive_buffer_size(RECEIVE_BUFFER_BYTES), ignored);
        socket_.set_option(ReceiveWaitOption(options_.timing.receiveWait), ec);
    }
    if (ec) return SetupFailed("Error : Set Socket Option", 2);
    {
        std::lock_guard lock(socketMutex_);
        socket_.bind(options_.local, ec);
        if (!ec) {
            boost::system::error_code ignored;
            localPort_ = socket_.local_endpoint(ignored).port();
            fd_ = socket_.native_handle();
        }
    }
    if (ec) return SetupFailed("Error : Bind", 3);

    results_.stop.store(0);
    results_.accepting.store(1);
    results_.thread.store(1);
    receiver_ = std::thread([this] { ReceiveLoop(); });
    return 0;
}

int DiscoveryService::SendEnquiry() {
    return SendEnquiry(DISCOVERY_ENQUIRY.data(), DISCOVERY_ENQUIRY.size());
}

int DiscoveryService::SendEnquiry(const std::uint8_t* bytes, std::size_t length) {
    boost::system::error_code ec;
    {
        std::lock_guard lock(socketMutex_);
        // After the end of discovery there is nothing to send on, and the end was reported already.
        if (!socket_.is_open() || results_.stop.load() != 0 || results_.thread.load() == 0) return -1;
        socket_.send_to(asio::buffer(bytes, length), options_.destination, 0, ec);
    }
    if (!ec) return 0;
    // The receive thread still uses the socket: it closes it itself once it has seen the stop.
    ReportFailure("Error : sendto");
    RequestStop();
    return -1;
}

void DiscoveryService::ReportFailure(const char* line) {
    failed_.store(true);
    if (!reported_.exchange(true)) options_.print(line);
}

void DiscoveryService::RequestStop() {
    if (results_.thread.load() != 0) results_.stop.store(1);
}

void DiscoveryService::WaitStopped() {
    if (receiver_.joinable() && receiver_.get_id() != std::this_thread::get_id()) receiver_.join();
    // A stop requested just as the receiver ended by itself would otherwise stay set.
    if (results_.thread.load() == 0) results_.stop.store(0);
}

void DiscoveryService::ReceiveLoop() {
    std::array<char, DISCOVERY_DATAGRAM_MAX> buffer;
    while (results_.stop.load() == 0) {
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const ssize_t received =
            ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received >= 0) {
            if (results_.accepting.load() != 0)
                results_.HandleDatagram(std::string_view(buffer.data(), static_cast<std::size_t>(received)));
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            continue;  // the wait passed or a signal came
        ReportFailure("Error : recvfrom");
        break;
    }
    CloseSocket();
    results_.stop.store(0);
    results_.thread.store(0);
}

void DiscoveryService::CloseSocket() {
    boost::system::error_code ec;
    {
        std::lock_guard lock(socketMutex_);
        socket_.close(ec);
    }
    if (ec) ReportFailure("Error : Close Socket");
}

int DiscoveryService::Run() {
    using Clock = std::chrono::steady_clock;
    const int code = Start();
    if (code != 0) return code;
    const auto begin = Clock::now();
    // The owner's timer, in 10 ms steps so that a discovery that ended by itself ends the wait.
    const auto waitUntil = [&](Clock::time_point deadline) {
        while (results_.thread.load() != 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(
                std::min<Clock::duration>(std::chrono::milliseconds(10), deadline - Clock::now()));
        }
    };
    SendEnquiry();
    waitUntil(begin + options_.timing.enquiryInterval);
    SendEnquiry();
    waitUntil(begin + options_.timing.stopAfter);
    RequestStop();
    WaitStopped();
    return 0;
}

}  // namespace xqt
