#include "camera/ShortRequest.h"

#include <array>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/bind_handler.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <limits>
#include <optional>

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
    explicit Impl(std::size_t cap) : body(cap, '\0') { Restart(); }

    void Restart() {
        parser.emplace();
        parser->eager(true);
        // Not boost::none: Boost 1.74 compares a Content-Length against an empty limit as exceeded.
        parser->body_limit(std::numeric_limits<std::uint64_t>::max());  // the cap below bounds what is kept
        parser->get().body().data = body.data() + filled;
        parser->get().body().size = body.size() - filled;
        parser->get().body().more = true;
    }

    std::size_t Filled() const { return body.size() - parser->get().body().size; }

    std::optional<http::response_parser<http::buffer_body>> parser;
    std::string pending;  // bytes not yet taken by the parser (an incomplete header)
    std::string body;
    std::size_t filled = 0;
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
    m.pending.append(bytes);
    while (!m.pending.empty()) {
        beast::error_code ec;
        const std::size_t used = m.parser->put(asio::buffer(m.pending), ec);
        m.pending.erase(0, used);
        if (ec && ec != http::error::need_more && ec != http::error::need_buffer) {
            return m.state = State::Failed;
        }
        if (m.parser->is_header_done()) {
            const auto& head = m.parser->get();
            if (head.result_int() / 100 == 1 && m.parser->is_done()) {
                m.filled = 0;
                m.Restart();
                continue;
            }
            // The challenge is told by the header alone, whatever the status code or body says.
            if (head.find(http::field::www_authenticate) != head.end()) return m.state = State::Challenged;
            m.filled = m.Filled();
            if (ec == http::error::need_buffer || m.filled == m.body.size() || m.parser->is_done()) {
                return m.state = State::Answer;
            }
        }
        if (ec == http::error::need_more || used == 0) break;
    }
    return m.state;
}

ShortAnswerReader::State ShortAnswerReader::FeedEnd() {
    Impl& m = *impl_;
    if (m.state != State::NeedMore) return m.state;
    if (!m.parser->is_header_done()) return m.state = State::Failed;
    beast::error_code ec;
    m.parser->put_eof(ec);  // a body cut short by the close is kept as received
    m.filled = m.Filled();
    return m.state = State::Answer;
}

std::string ShortAnswerReader::Answer() const {
    if (impl_->state != State::Answer) return {};
    std::string_view kept(impl_->body.data(), impl_->filled);
    return std::string(kept.substr(0, kept.find('\0')));
}

// ---------------------------------------------------------------------------------------------
// The exchange

namespace {

class ShortExchange : public std::enable_shared_from_this<ShortExchange> {
  public:
    ShortExchange(asio::io_context& ioc, http::request<http::string_body> request)
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
        if (ec) return Finish(SHORT_FAILED);
        http::async_write(stream_, request_,
                          beast::bind_front_handler(&ShortExchange::OnWrite, shared_from_this()));
    }

    void OnWrite(beast::error_code ec, std::size_t) {
        if (ec) return Finish(SHORT_FAILED);
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
                return Finish(SHORT_FAILED);
            } else {
                return ReadMore();
            }
        }
        switch (state) {
            case ShortAnswerReader::State::Answer:
                result_.answer = reader_.Answer();
                return Finish(SHORT_OK);
            case ShortAnswerReader::State::Challenged:
                result_.answer = std::string(UNAUTHORIZED_ANSWER);
                return Finish(SHORT_CHALLENGED);
            default:
                return Finish(SHORT_FAILED);
        }
    }

    void Finish(int code) {
        result_.code = code;
        if (code == SHORT_FAILED) result_.answer.clear();
        done_ = true;
        Close();
        ioc_.stop();  // nothing else is wanted from this io_context
    }

    asio::io_context& ioc_;
    beast::tcp_stream stream_;
    http::request<http::string_body> request_;
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
    if (ec || !IsUsablePort(where.port) || HasLineBreak(request.credential) || HasLineBreak(request.target)) {
        return ShortResult{SHORT_NOT_OPENED, {}};
    }

    http::request<http::string_body> message{http::verb::post, request.target, 11};
    message.set(http::field::authorization, "Basic " + request.credential);
    message.set(http::field::user_agent, beast::string_view(USER_AGENT.data(), USER_AGENT.size()));
    message.set(http::field::host, request.hostPort);
    message.body() = request.body;
    message.prepare_payload();

    asio::io_context ioc(1);
    Cancellation::Registration registration(cancel, ioc);
    auto exchange = std::make_shared<ShortExchange>(ioc, std::move(message));
    exchange->Start(tcp::endpoint(address, static_cast<std::uint16_t>(where.port)), deadline);
    ioc.run_until(deadline);
    if (!exchange->done()) {
        // Deadline or cancellation: abandon the exchange; its socket closes here.
        exchange->Close();
        return ShortResult{SHORT_FAILED, {}};
    }
    return exchange->result();
}

}  // namespace xqt::detail
