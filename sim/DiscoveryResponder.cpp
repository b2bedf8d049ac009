#include "sim/DiscoveryResponder.h"

#include <algorithm>
#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/address.hpp>
#include <cstdio>

namespace xqt::sim {

namespace asio = boost::asio;
using asio::ip::udp;

namespace {

constexpr std::string_view ENQUIRY_TEXT = "ENQ:allinfo";
constexpr int BURST_MAX = 65536;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "08:00:46:00:00:01" advanced by `step` in its last two octets; a MAC of another form gets
// "-step" appended so that the copies still differ.
std::string AdvanceMac(const std::string& mac, int step) {
    const std::size_t n = mac.size();
    if (n >= 5 && (mac[n - 3] == ':' || mac[n - 3] == '-')) {
        const int digits[4] = {HexValue(mac[n - 5]), HexValue(mac[n - 4]), HexValue(mac[n - 2]),
                               HexValue(mac[n - 1])};
        if (std::all_of(std::begin(digits), std::end(digits), [](int d) { return d >= 0; })) {
            const int value =
                ((digits[0] << 12 | digits[1] << 8 | digits[2] << 4 | digits[3]) + step) & 0xFFFF;
            char tail[8];
            std::snprintf(tail, sizeof tail, "%02X%c%02X", value >> 8, mac[n - 3], value & 0xFF);
            return mac.substr(0, n - 5) + tail;
        }
    }
    return mac + "-" + std::to_string(step);
}

// The trailing number of the serial advanced by `step`, keeping its width; other serials get the
// step appended.
std::string AdvanceSerial(const std::string& serial, int step) {
    std::size_t start = serial.size();
    while (start > 0 && serial[start - 1] >= '0' && serial[start - 1] <= '9')
        --start;
    const std::size_t width = serial.size() - start;
    if (width == 0 || width > 9) return serial + std::to_string(step);
    std::string number = std::to_string(std::stoul(serial.substr(start)) + static_cast<unsigned long>(step));
    if (number.size() < width) number.insert(0, width - number.size(), '0');
    return serial.substr(0, start) + number;
}

std::string AdvanceIp(const std::string& ip, int step) {
    boost::system::error_code ec;
    const auto address = asio::ip::make_address_v4(ip, ec);
    if (ec) return ip;
    return asio::ip::address_v4(address.to_uint() + static_cast<std::uint32_t>(step)).to_string();
}

std::string BuildReply(const SimCamera& camera, const std::string& serial, const std::string& mac,
                       const std::string& ip) {
    const DiscoveryKnobs& knobs = camera.discovery;
    const std::pair<const char*, std::string> fields[] = {
        {"MODEL:", camera.model},
        {"SERIAL:", serial},
        {"MAC:", mac},
        {"IPADR:", ip},
        {"WEBPORT:", std::to_string(camera.webPort)},
        {"SOFTVERSION:", camera.softVersion},
        {"DHCP:", camera.dhcp ? "ON" : "OFF"},
        {"DNSAUTO:", camera.dnsAuto ? "ON" : "OFF"},
    };
    std::string reply;
    for (const auto& [key, value] : fields) {
        if (std::find(knobs.omitFields.begin(), knobs.omitFields.end(), key) != knobs.omitFields.end())
            continue;
        const auto override = knobs.valueOverrides.find(key);
        reply += key;
        reply += override != knobs.valueOverrides.end() ? override->second : value;
        reply += '\xFF';
    }
    return reply + knobs.extraBytes;
}

}  // namespace

std::vector<std::string> DiscoveryReplies(const SimCamera& camera) {
    const DiscoveryKnobs& knobs = camera.discovery;
    std::vector<std::string> replies;
    if (knobs.silent) return replies;
    const int copies = std::clamp(knobs.burst, 0, BURST_MAX);
    for (int i = 0; i < copies; ++i) {
        const std::string reply = i == 0 ? BuildReply(camera, camera.serial, camera.mac, camera.ipText)
                                         : BuildReply(camera, AdvanceSerial(camera.serial, i),
                                                      AdvanceMac(camera.mac, i), AdvanceIp(camera.ipText, i));
        for (int r = 0; r < knobs.repeat; ++r)
            replies.push_back(reply);
    }
    return replies;
}

DiscoveryResponder::DiscoveryResponder(std::vector<SimCamera> cameras, std::string bindAddress,
                                       std::uint16_t port)
    : DiscoveryResponder(
          FromSource{}, [cameras = std::move(cameras)] { return cameras; }, std::move(bindAddress), port) {}

std::unique_ptr<DiscoveryResponder> DiscoveryResponder::Following(CameraSource source,
                                                                  std::string bindAddress,
                                                                  std::uint16_t port) {
    return std::unique_ptr<DiscoveryResponder>(
        new DiscoveryResponder(FromSource{}, std::move(source), std::move(bindAddress), port));
}

DiscoveryResponder::DiscoveryResponder(FromSource, CameraSource source, std::string bindAddress,
                                       std::uint16_t port)
    : source_(std::move(source)), bindAddress_(std::move(bindAddress)), port_(port), socket_(io_) {}

std::vector<std::string> DiscoveryResponder::Replies() const {
    std::vector<std::string> all;
    for (const SimCamera& camera : source_()) {
        auto replies = DiscoveryReplies(camera);
        all.insert(all.end(), std::make_move_iterator(replies.begin()),
                   std::make_move_iterator(replies.end()));
    }
    return all;
}

DiscoveryResponder::~DiscoveryResponder() {
    Stop();
}

boost::system::error_code DiscoveryResponder::Start() {
    boost::system::error_code ec;
    const auto address = asio::ip::make_address_v4(bindAddress_, ec);
    if (ec) return ec;
    socket_.open(udp::v4(), ec);
    if (ec) return ec;
    socket_.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) socket_.bind(udp::endpoint(address, port_), ec);
    if (ec) {
        boost::system::error_code ignored;
        socket_.close(ignored);
        return ec;
    }
    port_ = socket_.local_endpoint(ec).port();
    ReceiveNext();
    thread_ = std::thread([this] { io_.run(); });
    return {};
}

void DiscoveryResponder::Stop() {
    io_.stop();
    if (thread_.joinable()) thread_.join();
    boost::system::error_code ignored;
    socket_.close(ignored);
}

void DiscoveryResponder::ReceiveNext() {
    socket_.async_receive_from(asio::buffer(buffer_), sender_,
                               [this](boost::system::error_code ec, std::size_t n) {
                                   if (ec == asio::error::operation_aborted) return;
                                   if (!ec) {
                                       const std::string datagram(buffer_.data(), n);
                                       {
                                           std::lock_guard lock(mutex_);
                                           received_.push_back(datagram);
                                       }
                                       if (datagram.find(ENQUIRY_TEXT) != std::string::npos) Answer(sender_);
                                   }
                                   ReceiveNext();
                               });
}

void DiscoveryResponder::Answer(const udp::endpoint& to) {
    std::size_t sent = 0, failed = 0;
    for (const std::string& reply : Replies()) {
        boost::system::error_code ec;
        socket_.send_to(asio::buffer(reply), to, 0, ec);
        ++(ec ? failed : sent);
    }
    std::lock_guard lock(mutex_);
    ++enquiries_;
    sent_ += sent;
    sendFailures_ += failed;
    lastReplyAt_ = Clock::now();
}

std::vector<std::string> DiscoveryResponder::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t DiscoveryResponder::EnquiriesAnswered() const {
    std::lock_guard lock(mutex_);
    return enquiries_;
}

std::size_t DiscoveryResponder::RepliesSent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

std::size_t DiscoveryResponder::SendFailures() const {
    std::lock_guard lock(mutex_);
    return sendFailures_;
}

DiscoveryResponder::Clock::time_point DiscoveryResponder::LastReplyAt() const {
    std::lock_guard lock(mutex_);
    return lastReplyAt_;
}

}  // namespace xqt::sim
