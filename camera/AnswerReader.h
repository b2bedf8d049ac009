#pragma once
// The one reader of every answer a camera sends (inquiry, configuration download, the answers of the
// firmware and configuration POSTs and the firmware's progress stream).
//
// Cameras run small embedded web servers with CGI programs behind them, and answer the way those do,
// not the way a strict HTTP/1.1 peer would: header lines ending in a bare LF, a status line without a
// reason phrase ("HTTP/1.1 200"), HTTP/1.0, interim 1xx answers ahead of the final one, bodies by
// Content-Length, chunked or ended by the close. The leniency lives here and only here: the header
// block is gathered, its line ends and status line normalised, interim answers dropped, and Beast
// parses the result as usual. Body bytes pass through Beast's body parser untouched, so a progress
// stream or a configuration stays byte-exact.
//
// Limits: a header block (raw, each interim answer counted alone) of at most `headLimit` bytes;
// framing bytes waiting for more input (a chunk header) at most `headLimit` too. The caller bounds the
// body and the time.
//
// AnswerReader does no I/O and is used by one thread. AnswerIntake reads it off a transfer's stream.

#include <array>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "camera/TransferStep.h"

namespace xqt::detail {

/// Longest header block of one answer.
inline constexpr std::size_t ANSWER_HEAD_LIMIT = 8192;

/// The header block `block` (status line and header lines, each ending in LF or CR LF, without the
/// empty line that ends it) as a strict HTTP/1.x header ending in an empty CR LF line; nothing when
/// the status line is not "HTTP/d.d" and a three-digit status code, optionally followed by a space and
/// a reason phrase. Header lines are otherwise passed on as they are.
[[nodiscard]] std::optional<std::string> NormaliseHead(std::string_view block);

class AnswerReader {
  public:
    enum class State {
        Head,    ///< the final answer's header is not complete yet
        Body,    ///< the header is in; its body is being read
        Done,    ///< the body is complete (by its length, its last chunk, or the close)
        Cut,     ///< the connection closed before the declared body was complete
        Failed,  ///< not an HTTP answer, or a limit was passed
    };

    explicit AnswerReader(std::size_t headLimit = ANSWER_HEAD_LIMIT);

    /// Takes the next bytes of the connection and appends the body bytes among them (framing removed)
    /// to `body`; never more body bytes than `wire` holds. Bytes after the end of the answer are
    /// ignored, as is everything once Done, Cut or Failed.
    State Feed(std::string_view wire, std::string& body);
    /// The peer closed the connection: a body that ends with the close is Done; a header or a body
    /// of declared length cut short is Failed or Cut.
    State FeedEnd();

    State state() const { return state_; }
    [[nodiscard]] bool HeadDone() const {
        return state_ == State::Body || state_ == State::Done || state_ == State::Cut;
    }
    /// Status code of the final answer once its header is in, else 0.
    unsigned Status() const;
    /// Whether the final answer's header has `name` (any case).
    [[nodiscard]] bool HasField(boost::beast::http::field name) const;
    /// Interim 1xx answers skipped so far.
    int InterimAnswers() const { return interim_; }

  private:
    State TakeHead(std::string& body);
    State TakeBody(std::string& body);

    std::size_t headLimit_;
    State state_ = State::Head;
    std::string pending_;      // bytes not yet taken: an incomplete header block or framing
    std::size_t scanned_ = 0;  // bytes of pending_ already searched for the end of the header block
    int interim_ = 0;
    std::optional<boost::beast::http::response_parser<boost::beast::http::buffer_body>> parser_;
};

/// Reads an AnswerReader off a transfer's stream, each blocking read made one step of the
/// transfer (`run`, e.g. detail::RunStep with the transfer's deadlines). Keeps at most one read
/// (`readSize` bytes) of body waiting. One thread.
class AnswerIntake {
  public:
    using Start = std::function<void(std::shared_ptr<StepState>)>;
    using Runner = std::function<boost::beast::error_code(const Start&)>;

    /// Result of ReadBody: `size` bytes, or none and the end (no error) or why not.
    struct Piece {
        std::size_t size = 0;
        boost::beast::error_code ec;  ///< partial_message when cut short, timeout, or the read's error
    };

    explicit AnswerIntake(std::size_t readSize = 2048);

    /// Reads until the final answer's header is in, within one step. No error, or the step's error,
    /// partial_message when the camera closed the connection before the header was complete, or
    /// bad_version for an answer that is not HTTP.
    boost::beast::error_code ReadHead(boost::beast::tcp_stream& stream, const Runner& run);
    /// Up to `max` body bytes into `out`, reading one step when none are waiting. `size` 0 without an
    /// error: the body has ended.
    Piece ReadBody(boost::beast::tcp_stream& stream, const Runner& run, char* out, std::size_t max);

    const AnswerReader& reader() const { return reader_; }

  private:
    // One step of reads until `enough` says so or the stream fails; eof is handed to the reader.
    boost::beast::error_code ReadUntil(boost::beast::tcp_stream& stream, const Runner& run,
                                       const std::function<bool()>& enough);

    AnswerReader reader_;
    std::string raw_;                 // one read's bytes
    std::string body_;                // body bytes not yet handed out
    std::size_t given_ = 0;           // bytes of body_ already handed out
    boost::beast::error_code error_;  // the read that ended the body, told once body_ is handed out
    bool headCutShort_ = false;       // the connection closed while the header was still coming
};

}  // namespace xqt::detail
