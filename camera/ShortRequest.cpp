#include "camera/ShortRequest.h"

#include <algorithm>
#include <array>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/bind_handler.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/field.hpp>

#include "camera/AnswerReader.h"
#include "camera/ConnectWatch.h"
#include "camera/HostPort.h"

namespace xqt::detail {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// ---------------------------------------------------------------------------------------------
// ShortAnswerReader

struct ShortAnswerReader::Impl {
    explicit Impl(std::size_t most) : cap(most) { body.reserve(most); }

    std::size_t cap;
    AnswerReader reader;
    std::string body;
    State state = State::NeedMore;
};

ShortAnswerReader::ShortAnswerReader(std::size_t cap) : impl_(std::make_unique<Impl>(cap)) {}
ShortAnswerReader::~ShortAnswerReader() = default;

ShortAnswerReader::State ShortAnswerReader::state() const {
    return impl_->state;
}

ShortAnswerReader::State ShortAnswerReader::Feed(std::string_view bytes) {
    Impl& m = *impl_;
    if (m.state != State::NeedMore) return m.state;
    // Never more than the cap's worth at once: the body kept stays bounded whatever arrives.
    while (!bytes.empty() && m.state == State::NeedMore) {
        const std::string_view piece = bytes.substr(0, std::max<std::size_t>(m.cap, 1));
        bytes.remove_prefix(piece.size());
        const auto read = m.reader.Feed(piece, m.body);
        if (read == AnswerReader::State::Failed) return m.state = State::Failed;
        if (!m.reader.HeadDone()) continue;
        // The challenge is told by the header alone, whatever the status code or body says.
        if (m.reader.HasField(http::field::www_authenticate)) return m.state = State::Challenged;
        if (m.body.size() >= m.cap) {
            m.body.resize(m.cap);
            return m.state = State::Answer;
        }
        if (read == AnswerReader::State::Done) return m.state = State::Answer;
    }
    return m.state;
}

ShortAnswerReader::State ShortAnswerReader::FeedEnd() {
    Impl& m = *impl_;
    if (m.state != State::NeedMore) return m.state;
    // A body cut short by the close is kept as received.
    if (m.reader.FeedEnd() == AnswerReader::State::Failed) return m.state = State::Failed;
    if (m.reader.HasField(http::field::www_authenticate)) return m.state = State::Challenged;
    return m.state = State::Answer;
}

std::string ShortAnswerReader::Answer() const {
    if (impl_->state != State::Answer) return {};
    std::string_view kept(impl_->body);
    return std::string(kept.substr(0, kept.find('\0')));
}

// ---------------------------------------------------------------------------------------------
// The exchange

namespace {

class ShortExchange : public std::enable_shared_from_this<ShortExchange> {
  public:
    ShortExchange(asio::io_context& ioc, std::string request)
        : ioc_(ioc), stream_(ioc), request_(std::move(request)) {}

    void Start(const tcp::endpoint& endpoint, std::chrono::steady_clock::time_point deadline) {
        stream_.expires_at(deadline);
        NoteConnect(endpoint.address().to_string() + ":" + std::to_string(endpoint.port()));
        stream_.async_connect(endpoint,
                              beast::bind_front_handler(&ShortExchange::OnConnect, shared_from_this()));
    }

    bool done() const { return done_; }
    const ShortResult& result() const { return result_; }

    void Close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

  private:
    void OnConnect(beast::error_code ec) {
        if (ec) return Finish(SHORT_FAILED, ConnectFault(ec));
        beast::error_code ignored;
        stream_.socket().set_option(tcp::no_delay(true), ignored);
        asio::async_write(stream_, asio::buffer(request_),
                          beast::bind_front_handler(&ShortExchange::OnWrite, shared_from_this()));
    }

    void OnWrite(beast::error_code ec, std::size_t) {
        if (ec) return Finish(SHORT_FAILED, ExchangeFault(ec));
        ReadMore();
    }

    void ReadMore() {
        stream_.async_read_some(asio::buffer(buffer_),
                                beast::bind_front_handler(&ShortExchange::OnRead, shared_from_this()));
    }

    void OnRead(beast::error_code ec, std::size_t n) {
        auto state = reader_.Feed(std::string_view(buffer_.data(), n));
        if (state == ShortAnswerReader::State::NeedMore) {
            if (ec == asio::error::eof) {
                state = reader_.FeedEnd();
            } else if (ec) {
                return Finish(SHORT_FAILED, ExchangeFault(ec));
            } else {
                return ReadMore();
            }
        }
        switch (state) {
            case ShortAnswerReader::State::Answer:
                result_.answer = reader_.Answer();
                return Finish(SHORT_OK, CameraFault::None);
            case ShortAnswerReader::State::Challenged:
                result_.answer = std::string(UNAUTHORIZED_ANSWER);
                return Finish(SHORT_CHALLENGED, CameraFault::LoginRefused);
            default:
                // Bytes that are no HTTP answer: a peer, but not one that answers as a camera.
                return Finish(SHORT_FAILED, CameraFault::ConnectionBroken);
        }
    }

    static CameraFault ConnectFault(beast::error_code ec) {
        if (ec == beast::error::timeout) return CameraFault::NoAnswer;
        if (ec == asio::error::connection_refused) return CameraFault::ConnectionRefused;
        return CameraFault::Unreachable;
    }

    static CameraFault ExchangeFault(beast::error_code ec) {
        return ec == beast::error::timeout ? CameraFault::NoAnswer : CameraFault::ConnectionBroken;
    }

    void Finish(int code, CameraFault fault) {
        result_.code = code;
        result_.fault = fault;
        if (code == SHORT_FAILED) result_.answer.clear();
        done_ = true;
        Close();
        ioc_.stop();  // nothing else is wanted from this io_context
    }

    asio::io_context& ioc_;
    beast::tcp_stream stream_;
    std::string request_;  // the whole request, written at once
    ShortAnswerReader reader_;
    std::array<char, 2048> buffer_{};
    ShortResult result_;
    bool done_ = false;
};

bool HasLineBreak(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos;
}

}  // namespace

ShortResult RunShortRequest(const ShortRequestJob& request, std::chrono::steady_clock::time_point deadline,
                            Cancellation& cancel) {
    const HostPort where = SplitHostPort(request.hostPort);
    beast::error_code ec;
    const auto address = asio::ip::make_address_v4(where.host, ec);
    if (ec || !IsUsablePort(where.port) || HasLineBreak(request.credential) || HasLineBreak(request.target) ||
        HasLineBreak(request.hostPort)) {
        return ShortResult{SHORT_NOT_OPENED, {}, CameraFault::Unreachable};
    }

    // Made by hand in one piece (the head's fields in this order): the exchange is short and
    // frequent, and a serializer's work would be most of its own cost.
    std::string message =
        "POST " + request.target + " HTTP/1.1\r\nAuthorization: Basic " + request.credential +
        "\r\nUser-Agent: " + std::string(USER_AGENT) + "\r\nHost: " + request.hostPort +
        "\r\nContent-Length: " + std::to_string(request.body.size()) + "\r\n\r\n" + request.body;

    asio::io_context ioc(1);
    Cancellation::Registration registration(cancel, ioc);
    auto exchange = std::make_shared<ShortExchange>(ioc, std::move(message));
    exchange->Start(tcp::endpoint(address, static_cast<std::uint16_t>(where.port)), deadline);
    ioc.run_until(deadline);
    if (!exchange->done()) {
        // Deadline or cancellation: abandon the exchange; its socket closes here.
        exchange->Close();
        return ShortResult{SHORT_FAILED, {}, CameraFault::NoAnswer};
    }
    return exchange->result();
}

}  // namespace xqt::detail
