#include "camera/StreamedPost.h"

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <functional>
#include <optional>

#include "camera/AnswerReader.h"
#include "camera/ConnectWatch.h"
#include "camera/HostPort.h"
#include "camera/ShortRequest.h"
#include "camera/TransferStep.h"

namespace xqt {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}
}  // namespace

struct StreamedPost::Impl {
    Impl(std::chrono::milliseconds timeout, detail::TransferBound transferBound)
        : stepTimeout(timeout), bound(transferBound), stream(ioc) {}

    // Runs one asynchronous step to its end, its deadline or a cancellation; `bounded`: also to
    // the transfer's overall bound for the bytes written so far.
    beast::error_code RunStep(const std::function<void(std::shared_ptr<detail::StepState>)>& start,
                              bool bounded = false) {
        return detail::RunStep(
            ioc, stream, stepTimeout, [this] { return cancelled.load(); }, start,
            bounded ? bound.Deadline(written) : detail::TransferBound::Clock::time_point::max());
    }

    void Close() {
        open = false;
        detail::CloseStream(stream);
    }

    asio::io_context ioc{1};
    std::chrono::milliseconds stepTimeout;
    detail::TransferBound bound;
    beast::tcp_stream stream;
    std::atomic<bool> cancelled{false};
    bool open = false;
    bool sent = false;
    bool completed = false;
    tcp::endpoint endpoint;
    std::string hostPort;
    std::string path;
    std::string headers;
    bool hasContentLength = false;
    std::uint64_t total = 0;
    std::uint64_t written = 0;
    std::optional<detail::AnswerIntake> answer;
};

StreamedPost::StreamedPost(std::chrono::milliseconds stepTimeout, detail::TransferBound bound)
    : impl_(std::make_unique<Impl>(stepTimeout, bound)) {}

StreamedPost::~StreamedPost() {
    Close();
}

PostStep StreamedPost::Open(std::string_view hostPort, std::string_view path) {
    Close();
    const HostPort where = SplitHostPort(hostPort);
    beast::error_code ec;
    const auto address = asio::ip::make_address_v4(where.host, ec);
    if (ec || !IsUsablePort(where.port) || path.empty() || path.find_first_of("\r\n ") != path.npos)
        return PostStep::Failed;
    Impl& m = *impl_;
    m.endpoint = tcp::endpoint(address, static_cast<std::uint16_t>(where.port));
    m.hostPort = std::string(hostPort);
    m.path = std::string(path);
    m.headers.clear();
    m.hasContentLength = false;
    m.sent = m.completed = false;
    m.total = m.written = 0;
    m.answer.reset();
    m.open = true;
    return PostStep::Done;
}

bool StreamedPost::AddHeader(std::string_view line) {
    Impl& m = *impl_;
    if (!m.open || m.sent) return false;
    if (line.size() < 3 || line.substr(line.size() - 2) != "\r\n") return false;
    const std::string_view text = line.substr(0, line.size() - 2);
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos || text.find(':') == text.npos)
        return false;
    if (StartsWithNoCase(text, "Content-Length:")) m.hasContentLength = true;
    m.headers += line;
    return true;
}

PostStep StreamedPost::Send(std::uint64_t totalLength) {
    Impl& m = *impl_;
    if (!m.open || m.sent) return PostStep::Failed;
    std::string head = "POST " + m.path + " HTTP/1.1\r\n";
    head += "Accept: ";
    head += STREAMED_POST_ACCEPT;
    head += "\r\n";
    head += m.headers;
    head += "User-Agent: ";
    head += detail::USER_AGENT;
    head += "\r\nHost: " + m.hostPort + "\r\n";
    if (!m.hasContentLength) head += "Content-Length: " + std::to_string(totalLength) + "\r\n";
    head += "\r\n";

    m.bound.Start();
    detail::NoteConnect(m.endpoint.address().to_string() + ":" + std::to_string(m.endpoint.port()));
    auto ec =
        m.RunStep([&](auto state) { m.stream.async_connect(m.endpoint, detail::StepDone(state)); }, true);
    if (!ec)
        ec = m.RunStep(
            [&](auto state) { asio::async_write(m.stream, asio::buffer(head), detail::StepDone(state)); },
            true);
    if (ec) {
        m.Close();
        return PostStep::Failed;
    }
    m.sent = true;
    m.total = totalLength;
    return PostStep::Done;
}

PostStep StreamedPost::Write(const void* data, std::size_t size) {
    Impl& m = *impl_;
    if (!m.open || !m.sent || m.completed || size > m.total - m.written) {
        m.Close();
        return PostStep::Failed;
    }
    auto ec = m.RunStep(
        [&](auto state) { asio::async_write(m.stream, asio::buffer(data, size), detail::StepDone(state)); },
        true);
    if (ec) {
        m.Close();
        return PostStep::Failed;
    }
    m.written += size;
    return PostStep::Done;
}

PostStep StreamedPost::Complete() {
    Impl& m = *impl_;
    if (!m.open || !m.sent || m.completed || m.written != m.total) {
        m.Close();
        return PostStep::Failed;
    }
    m.answer.emplace();
    auto ec = m.answer->ReadHead(m.stream,
                                 [&](const detail::AnswerIntake::Start& start) { return m.RunStep(start); });
    if (ec) {
        m.Close();
        return PostStep::Failed;
    }
    m.completed = true;
    return PostStep::Done;
}

StreamRead StreamedPost::Read(void* buffer, std::size_t max) {
    Impl& m = *impl_;
    if (!m.open || !m.completed || max == 0) return {StreamRead::Status::Failed, 0};
    const auto piece = m.answer->ReadBody(
        m.stream, [&](const detail::AnswerIntake::Start& start) { return m.RunStep(start); },
        static_cast<char*>(buffer), max);
    if (piece.size > 0) return {StreamRead::Status::Data, piece.size};
    if (!piece.ec) return {StreamRead::Status::End, 0};
    m.Close();
    if (piece.ec == beast::error::timeout) return {StreamRead::Status::TimedOut, 0};
    return {StreamRead::Status::Failed, 0};
}

void StreamedPost::Close() {
    if (impl_) impl_->Close();
}

void StreamedPost::Cancel() {
    impl_->cancelled.store(true);
    impl_->ioc.stop();
}

bool StreamedPost::IsOpen() const {
    return impl_->open;
}

int StreamedPost::StatusCode() const {
    return impl_->completed && impl_->answer ? static_cast<int>(impl_->answer->reader().Status()) : 0;
}

std::uint64_t StreamedPost::Written() const {
    return impl_->written;
}

}  // namespace xqt
