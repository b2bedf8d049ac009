#include "sim/CameraServer.h"

#include <algorithm>
#include <array>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <optional>
#include <stdexcept>

#include "sim/InquiryHandler.h"

namespace xqt::sim {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace detail {

/// Largest request body a camera takes: a firmware image of up to 64 MiB (a bundle's limit) with
/// its multipart framing.
constexpr std::uint64_t MAX_BODY = 65ull * 1024 * 1024;

class Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(tcp::socket socket, CameraServer& server)
        : socket_(std::move(socket)), timer_(socket_.get_executor()), server_(server) {}

    void Start() {
        parser_.emplace();
        parser_->body_limit(MAX_BODY);
        Read();
    }

    /// Closes the connection; with `reset`, abortively (RST instead of FIN).
    void Close(bool reset = false) {
        if (closed_) return;
        closed_ = true;
        server_.ConnectionClosed();
        boost::system::error_code ignored;
        timer_.cancel();
        if (reset) {
            socket_.set_option(asio::socket_base::linger(true, 0), ignored);
        } else {
            socket_.shutdown(tcp::socket::shutdown_both, ignored);
        }
        socket_.close(ignored);
    }

  private:
    void Read() {
        if (!pace_ && parser_->is_header_done()) {
            pace_ = server_.UploadReadPace(std::string(parser_->get().target()));
            if (pace_) {
                // A small receive buffer, so the sender feels the slow reads soon; room for two
                // reads, though, so a read of many kilobytes opens a window the sender can use
                // (a window below the sender's segment size waits for its zero-window probes,
                // which back off to seconds).
                boost::system::error_code ignored;
                const int size = static_cast<int>(std::max<std::size_t>(4096, 2 * pace_->bytes));
                socket_.set_option(asio::socket_base::receive_buffer_size(size), ignored);
            }
        }
        auto self = shared_from_this();
        if (!pace_) {
            socket_.async_read_some(asio::buffer(buffer_), [self](boost::system::error_code ec,
                                                                  std::size_t n) { self->OnRead(ec, n); });
            return;
        }
        timer_.expires_after(pace_->pause);
        timer_.async_wait([self](boost::system::error_code ec) {
            if (ec) return self->Close();
            const std::size_t bytes = std::min(self->pace_->bytes, self->buffer_.size());
            self->socket_.async_read_some(
                asio::buffer(self->buffer_.data(), bytes),
                [self](boost::system::error_code e, std::size_t n) { self->OnRead(e, n); });
        });
    }

    void OnRead(boost::system::error_code ec, std::size_t n) {
        if (n > 0) {
            const std::string_view bytes(buffer_.data(), n);
            record_.rawSize += n;
            if (record_.raw.size() < RAW_RECORD_LIMIT) {
                record_.raw.append(bytes.substr(0, RAW_RECORD_LIMIT - record_.raw.size()));
            }
            pending_.append(bytes);
            if (!Parse()) return Abandon(true);
            if (parser_->is_header_done() &&
                server_.DropsUpload(std::string(parser_->get().target()), parser_->get().body().size(),
                                    parser_->is_done())) {
                if (parser_->is_done()) server_.TakeDroppedUpload(ParsedRequest());
                return Abandon(true);
            }
            if (parser_->is_done()) return Respond();
        }
        if (ec) return Abandon(record_.rawSize > 0);
        Read();
    }

    // Feeds the parser; false on a malformed request.
    bool Parse() {
        while (!pending_.empty() && !parser_->is_done()) {
            beast::error_code ec;
            const std::size_t used = parser_->put(asio::buffer(pending_), ec);
            pending_.erase(0, used);
            if (ec == http::error::need_more) break;
            if (ec) return false;
        }
        return true;
    }

    void Abandon(bool record) {
        if (record) server_.Record(std::move(record_));
        Close();
    }

    SimRequest ParsedRequest() const {
        const auto& message = parser_->get();
        SimRequest request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        if (auto it = message.find(http::field::authorization); it != message.end()) {
            request.authorization = std::string(it->value());
        }
        for (const auto& field : message)
            request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        request.body = message.body();
        return request;
    }

    void Respond() {
        const SimRequest request = ParsedRequest();
        record_.complete = true;
        record_.request = request;
        server_.Record(std::move(record_));
        response_ = server_.Handle(request);
        step_ = 0;
        Play();
    }

    void Play() {
        const auto& steps = response_.steps();
        if (step_ >= steps.size()) return Close();
        const auto& step = steps[step_++];
        auto self = shared_from_this();
        switch (step.kind) {
            case SimResponse::Step::Kind::Send:
                asio::async_write(socket_, asio::buffer(step.bytes),
                                  [self](boost::system::error_code ec, std::size_t) {
                                      if (ec) return self->Close();
                                      self->Play();
                                  });
                return;
            case SimResponse::Step::Kind::Wait:
                timer_.expires_after(step.delay);
                timer_.async_wait([self](boost::system::error_code ec) {
                    if (ec) return self->Close();
                    self->Play();
                });
                return;
            case SimResponse::Step::Kind::Reset:
                return Close(true);
            case SimResponse::Step::Kind::Stall:
                return Drain();
            case SimResponse::Step::Kind::Call:
                if (step.call) step.call();
                return Play();
        }
    }

    // Reads and drops whatever comes until the client leaves.
    void Drain() {
        socket_.async_read_some(asio::buffer(buffer_),
                                [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
                                    if (ec) return self->Close();
                                    self->Drain();
                                });
    }

    tcp::socket socket_;
    asio::steady_timer timer_;
    CameraServer& server_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::array<char, 16 * 1024> buffer_{};
    std::string pending_;
    RecordedRequest record_;
    SimResponse response_;
    std::size_t step_ = 0;
    bool closed_ = false;
    std::optional<CameraServer::ReadPace> pace_;
};

}  // namespace detail

CameraServer::CameraServer(asio::io_context& ioc, SimCamera camera, double timeScale)
    : acceptor_(ioc), timeScale_(timeScale), camera_(std::move(camera)) {}

CameraServer::~CameraServer() {
    Close();
}

void CameraServer::Listen() {
    const SimCamera camera = Camera();
    const std::string where = camera.ipText + ":" + std::to_string(camera.webPort);
    boost::system::error_code ec;
    const auto address = asio::ip::make_address_v4(camera.ipText, ec);
    if (ec) throw std::runtime_error("camera address " + camera.ipText + " is not an IPv4 address");
    if (!address.is_loopback()) {
        throw std::runtime_error("camera address " + camera.ipText +
                                 " is not a loopback address (127.x.y.z)");
    }
    const tcp::endpoint endpoint(address, camera.webPort);
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        throw std::runtime_error("cannot listen on " + where + ": " + ec.message());
    }
    const auto port = acceptor_.local_endpoint().port();
    Update([port](SimCamera& c) { c.webPort = port; });
    Accept();
}

void CameraServer::Close() {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    for (auto& weak : connections_) {
        if (auto connection = weak.lock()) connection->Close();
    }
    connections_.clear();
}

void CameraServer::Accept() {
    acceptor_.async_accept([this](boost::system::error_code ec, tcp::socket socket) {
        if (ec) {
            if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
            return Accept();  // a failed accept (e.g. the client reset at once) does not stop the camera
        }
        if (upgrade_.Refusing()) {
            // Rebooted, web server not up yet: the connection is reset at once.
            boost::system::error_code ignored;
            socket.set_option(asio::socket_base::linger(true, 0), ignored);
            socket.close(ignored);
            return Accept();
        }
        std::erase_if(connections_, [](const auto& weak) { return weak.expired(); });
        ++openConnections_;
        auto connection = std::make_shared<detail::Connection>(std::move(socket), *this);
        connections_.push_back(connection);
        connection->Start();
        Accept();
    });
}

SimCamera CameraServer::Camera() const {
    std::lock_guard lock(mutex_);
    return camera_;
}

void CameraServer::Update(const std::function<void(SimCamera&)>& change) {
    std::lock_guard lock(mutex_);
    change(camera_);
}

std::string CameraServer::HostPort() const {
    const SimCamera camera = Camera();
    return camera.webPort == 80 ? camera.ipText : camera.ipText + ":" + std::to_string(camera.webPort);
}

std::vector<RecordedRequest> CameraServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void CameraServer::ClearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

bool CameraServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return recorded_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void CameraServer::Record(RecordedRequest record) {
    if (observer_) observer_(record);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(record));
    }
    recorded_.notify_all();
}

bool CameraServer::DropsUpload(std::string_view target, std::uint64_t bodyBytes, bool complete) const {
    const std::int64_t after = Camera().upgrade.dropUploadAfterBytes;
    if (after < 0 || target != SIM_FIRMWARE_PATH) return false;
    return complete || bodyBytes >= static_cast<std::uint64_t>(after);
}

std::optional<CameraServer::ReadPace> CameraServer::UploadReadPace(std::string_view target) const {
    const UpgradeKnobs knobs = Camera().upgrade;
    if (knobs.slowReadBytes <= 0 || target != SIM_FIRMWARE_PATH) return std::nullopt;
    return ReadPace{static_cast<std::size_t>(knobs.slowReadBytes),
                    ScaledDelay(knobs.slowReadPauseMs, timeScale_)};
}

void CameraServer::TakeDroppedUpload(const SimRequest& request) {
    HandleFirmware(Camera(), request, timeScale_, upgrade_, true);
}

SimResponse CameraServer::Handle(const SimRequest& request) {
    bool offline = false;  // rebooting, or gone for good: no answer to anything
    Update([&](SimCamera& c) { offline = upgrade_.Refresh(c); });
    if (offline) return SimResponse().Stall();
    // A camera applying a restored configuration answers nothing.
    if (config_.Reconfiguring()) return SimResponse().Reset();
    const SimCamera camera = Camera();
    if (auto response = config_.Handle(camera, request, timeScale_)) return std::move(*response);
    if (request.target == "/command/inquiry.cgi") return HandleInquiry(camera, request, timeScale_);
    if (request.target == SIM_FIRMWARE_PATH) return HandleFirmware(camera, request, timeScale_, upgrade_);
    return SimResponse().Send(
        HttpResponse(404, "Not Found", "text/html", "<HTML><BODY>404 Not Found</BODY></HTML>"));
}

}  // namespace xqt::sim
