#include "camera/AnswerReader.h"

#include <algorithm>
#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/beast/http/error.hpp>
#include <cstring>
#include <limits>

namespace xqt::detail {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view WithoutCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// "HTTP/d.d NNN": the status line's fixed start.
bool HasStatusStart(std::string_view line) {
    return line.size() >= 12 && line.substr(0, 5) == "HTTP/" && IsDigit(line[5]) && line[6] == '.' &&
           IsDigit(line[7]) && line[8] == ' ' && IsDigit(line[9]) && IsDigit(line[10]) && IsDigit(line[11]);
}

// Whether `start` can begin a status line: bytes that cannot are refused at once, not after a
// header block's worth of them.
bool CanStartStatusLine(std::string_view start) {
    constexpr std::string_view PATTERN = "HTTP/d.d ddd";
    for (std::size_t i = 0; i < std::min(start.size(), PATTERN.size()); ++i) {
        const char want = PATTERN[i];
        if (want == 'd' ? !IsDigit(start[i]) : start[i] != want) return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> NormaliseHead(std::string_view block) {
    std::string head;
    head.reserve(block.size() + 32);
    bool first = true;
    while (!block.empty()) {
        const std::size_t end = block.find('\n');
        const std::string_view line = WithoutCr(block.substr(0, end));
        block.remove_prefix(end == std::string_view::npos ? block.size() : end + 1);
        if (first) {
            first = false;
            if (!HasStatusStart(line) || (line.size() > 12 && line[12] != ' ')) return std::nullopt;
            head.append(line);
            // The reason phrase may be missing, and so may the space before it.
            if (line.size() == 12) head += ' ';
        } else {
            head.append(line);
        }
        head += "\r\n";
    }
    if (first) return std::nullopt;
    head += "\r\n";
    return head;
}

// ---------------------------------------------------------------------------------------------
// AnswerReader

AnswerReader::AnswerReader(std::size_t headLimit) : headLimit_(headLimit) {}

unsigned AnswerReader::Status() const {
    return HeadDone() ? parser_->get().result_int() : 0;
}

bool AnswerReader::HasField(http::field name) const {
    return HeadDone() && parser_->get().find(name) != parser_->get().end();
}

AnswerReader::State AnswerReader::Feed(std::string_view wire, std::string& body) {
    if (state_ != State::Head && state_ != State::Body) return state_;
    pending_.append(wire);
    if (state_ == State::Head) return TakeHead(body);
    return TakeBody(body);
}

AnswerReader::State AnswerReader::TakeHead(std::string& body) {
    for (;;) {
        // Empty lines ahead of a status line (after an interim answer, say) are no answer.
        if (scanned_ == 0) {
            std::size_t skip = 0;
            while (skip < pending_.size() && (pending_[skip] == '\n' || pending_[skip] == '\r'))
                ++skip;
            if (skip > 0) pending_.erase(0, skip);
            if (!CanStartStatusLine(pending_)) return state_ = State::Failed;
        }
        // The block ends at the first empty line, whichever line end it has.
        std::size_t blockEnd = std::string::npos;
        std::size_t consumed = 0;
        for (std::size_t lf = pending_.find('\n', scanned_); lf != std::string::npos;
             lf = pending_.find('\n', scanned_)) {
            const std::size_t lineStart = scanned_;
            scanned_ = lf + 1;
            if (WithoutCr(std::string_view(pending_).substr(lineStart, lf - lineStart)).empty()) {
                blockEnd = lineStart;
                consumed = lf + 1;
                break;
            }
        }
        if (blockEnd == std::string::npos) {
            // scanned_ stays at the start of the unfinished line.
            if (pending_.size() > headLimit_) return state_ = State::Failed;
            return state_;
        }
        if (consumed > headLimit_) return state_ = State::Failed;
        const auto head = NormaliseHead(std::string_view(pending_).substr(0, blockEnd));
        if (!head) return state_ = State::Failed;
        pending_.erase(0, consumed);
        scanned_ = 0;
        if ((*head)[9] == '1') {
            ++interim_;  // an interim answer has no body; the final one follows
            continue;
        }
        parser_.emplace();
        parser_->eager(true);
        parser_->header_limit(static_cast<std::uint32_t>(head->size()));
        // Not boost::none: Boost 1.74 compares a Content-Length against an empty limit as exceeded.
        parser_->body_limit(std::numeric_limits<std::uint64_t>::max());  // callers bound the body
        beast::error_code ec;
        parser_->put(asio::buffer(*head), ec);
        if ((ec && ec != http::error::need_more) || !parser_->is_header_done()) return state_ = State::Failed;
        if (parser_->is_done()) {
            pending_.clear();
            return state_ = State::Done;
        }
        state_ = State::Body;
        return TakeBody(body);
    }
}

AnswerReader::State AnswerReader::TakeBody(std::string& body) {
    while (!pending_.empty()) {
        const std::size_t old = body.size();
        const std::size_t room = pending_.size();  // a body is never longer than its framing
        body.resize(old + room);
        auto& target = parser_->get().body();
        target.data = body.data() + old;
        target.size = room;
        target.more = true;
        beast::error_code ec;
        const std::size_t used = parser_->put(asio::buffer(pending_), ec);
        const std::size_t written = room - target.size;
        target.data = nullptr;
        target.size = 0;
        body.resize(old + written);
        pending_.erase(0, used);
        if (parser_->is_done()) {
            pending_.clear();
            return state_ = State::Done;
        }
        if (ec == http::error::need_buffer && (used > 0 || written > 0)) continue;
        if (ec && ec != http::error::need_more) return state_ = State::Failed;
        if (used == 0 && written == 0) break;
    }
    if (pending_.size() > headLimit_) return state_ = State::Failed;  // framing that never ends
    return state_;
}

AnswerReader::State AnswerReader::FeedEnd() {
    if (state_ == State::Head) return state_ = State::Failed;
    if (state_ != State::Body) return state_;
    beast::error_code ec;
    parser_->put_eof(ec);
    return state_ = ec || !pending_.empty() ? State::Cut : State::Done;
}

// ---------------------------------------------------------------------------------------------
// AnswerIntake

AnswerIntake::AnswerIntake(std::size_t readSize) : raw_(std::max<std::size_t>(1, readSize), '\0') {}

beast::error_code AnswerIntake::ReadUntil(beast::tcp_stream& stream, const Runner& run,
                                          const std::function<bool()>& enough) {
    if (enough()) return {};
    struct Loop {
        AnswerIntake* self;
        beast::tcp_stream* stream;
        std::function<bool()> enough;
        std::shared_ptr<StepState> state;

        void Next() {
            stream->async_read_some(
                asio::buffer(self->raw_), [loop = *this](beast::error_code ec, std::size_t n) mutable {
                    loop.self->reader_.Feed(std::string_view(loop.self->raw_.data(), n), loop.self->body_);
                    if (ec == asio::error::eof) {
                        loop.self->headCutShort_ = loop.self->reader_.state() == AnswerReader::State::Head;
                        loop.self->reader_.FeedEnd();
                        ec = {};
                    }
                    const auto s = loop.self->reader_.state();
                    if (ec || loop.enough() ||
                        (s != AnswerReader::State::Head && s != AnswerReader::State::Body)) {
                        loop.state->finished = true;
                        loop.state->ec = ec;
                        return;
                    }
                    loop.Next();
                });
        }
    };
    return run([&](std::shared_ptr<StepState> state) {
        Loop{this, &stream, enough, std::move(state)}.Next();
    });
}

beast::error_code AnswerIntake::ReadHead(beast::tcp_stream& stream, const Runner& run) {
    auto ec = ReadUntil(stream, run, [this] { return reader_.state() != AnswerReader::State::Head; });
    if (ec) return ec;
    if (!reader_.HeadDone()) return headCutShort_ ? http::error::partial_message : http::error::bad_version;
    return {};
}

AnswerIntake::Piece AnswerIntake::ReadBody(beast::tcp_stream& stream, const Runner& run, char* out,
                                           std::size_t max) {
    if (given_ == body_.size()) {
        body_.clear();
        given_ = 0;
        if (reader_.state() == AnswerReader::State::Body && !error_) {
            error_ = ReadUntil(stream, run, [this] { return !body_.empty(); });
        }
    }
    if (given_ < body_.size()) {
        const std::size_t n = std::min(max, body_.size() - given_);
        std::memcpy(out, body_.data() + given_, n);
        given_ += n;
        return {n, {}};
    }
    if (error_) return {0, error_};
    switch (reader_.state()) {
        case AnswerReader::State::Done:
            return {0, {}};
        case AnswerReader::State::Failed:
            return {0, http::error::bad_chunk};
        default:
            return {0, http::error::partial_message};
    }
}

}  // namespace xqt::detail
