#pragma once
// The short exchange behind every inquiry: one POST of a small form on a connection of its own, and
// the answer read until it is complete, the connection closes or 5120 bytes have come, all within
// the caller's deadline. Runs on the calling thread (on an io_context of its own), so the caller
// blocks exactly as long as the exchange or its deadline lasts; a Cancellation stops it early.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "camera/CameraFault.h"
#include "camera/Cancellation.h"

namespace xqt::detail {

/// Room for an answer: longer answers are cut here.
inline constexpr std::size_t ANSWER_CAP = 5120;
/// The answer that stands for an authentication challenge.
inline constexpr std::string_view UNAUTHORIZED_ANSWER = "401 Unauthorized";
/// Agent named in every request.
inline constexpr std::string_view USER_AGENT = "XQT Upgrade Tool";

/// Result codes of an exchange.
inline constexpr int SHORT_OK = 0;           ///< an answer was read
inline constexpr int SHORT_NOT_OPENED = -1;  ///< the request could not be made (address, port, header)
inline constexpr int SHORT_CHALLENGED = -2;  ///< the camera demanded authentication
inline constexpr int SHORT_FAILED = -3;  ///< connecting, sending or reading failed, or the deadline passed

/// Consumes the bytes of an HTTP response as they arrive and decides what the caller gets: the
/// body (at most `cap` bytes, up to its first NUL), the challenge when the header carries
/// WWW-Authenticate (whatever the status and body), or failure for anything that is not an HTTP
/// response. Interim 1xx responses are skipped. Memory stays bounded whatever the peer sends.
class ShortAnswerReader {
  public:
    enum class State { NeedMore, Answer, Challenged, Failed };

    explicit ShortAnswerReader(std::size_t cap = ANSWER_CAP);
    ~ShortAnswerReader();
    ShortAnswerReader(const ShortAnswerReader&) = delete;
    ShortAnswerReader& operator=(const ShortAnswerReader&) = delete;

    /// Next bytes from the connection; returns the state after them. Once the state is not NeedMore,
    /// further bytes are ignored.
    State Feed(std::string_view bytes);
    /// The peer closed the connection. A body cut short by the close is kept as received.
    State FeedEnd();
    State state() const;
    /// The answer bytes (wire code page) once the state is Answer; empty otherwise.
    [[nodiscard]] std::string Answer() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// One exchange: what is posted where.
struct ShortRequestJob {
    std::string hostPort;    ///< "a.b.c.d[:port]": where to connect, and the Host header
    std::string target;      ///< request path, e.g. "/command/inquiry.cgi"
    std::string body;        ///< wire bytes, e.g. "inq=system"
    std::string credential;  ///< Base64 credential of the Authorization header
};

struct ShortResult {
    int code = SHORT_FAILED;
    std::string answer;  ///< wire bytes: the body, UNAUTHORIZED_ANSWER, or empty
    /// None with an answer; LoginRefused with the challenge; otherwise why there is no answer
    /// (NoAnswer also when the exchange was cancelled).
    CameraFault fault = CameraFault::NoAnswer;
};

/// Posts `request` and reads the answer; gives up at `deadline` (empty answer) or when `cancel`
/// fires. The connection is closed whatever the outcome.
ShortResult RunShortRequest(const ShortRequestJob& request, std::chrono::steady_clock::time_point deadline,
                            Cancellation& cancel);

}  // namespace xqt::detail
