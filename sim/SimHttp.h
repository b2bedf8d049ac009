#pragma once
// What a simulated camera sees of one HTTP request and how it answers: a response is a small
// script of steps (send bytes, wait, reset, stall, run a callback) that the connection plays in
// order and then closes. Handlers are plain functions from camera and request to script, so the
// camera's behaviour is testable without sockets; the connection does the timing.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace xqt::sim {

/// A request as the camera parsed it.
struct SimRequest {
    std::string method;         ///< e.g. "POST"
    std::string target;         ///< e.g. "/command/inquiry.cgi"
    std::string authorization;  ///< value of the Authorization header, empty when none
    std::string body;           ///< wire bytes
    std::vector<std::pair<std::string, std::string>> headers{};  ///< every header field, in order
};

/// Every request a camera received, for tests to assert on.
struct RecordedRequest {
    std::string raw;            ///< the bytes as received (the first RAW_RECORD_LIMIT of them)
    std::uint64_t rawSize = 0;  ///< how many bytes came in all
    bool complete = false;      ///< a whole request was parsed (false: the client left, or garbage)
    SimRequest request;         ///< parsed fields (when complete)
};

inline constexpr std::size_t RAW_RECORD_LIMIT = 64 * 1024;

class SimResponse {
  public:
    struct Step {
        enum class Kind { Send, Wait, Reset, Stall, Call };
        Kind kind;
        std::string bytes;                   // Send
        std::chrono::milliseconds delay{0};  // Wait
        std::function<void()> call;          // Call (runs on the fleet's thread)
    };

    SimResponse& Send(std::string bytes);
    /// Sends `bytes` in writes of `pieceSize` bytes with `pause` between them.
    SimResponse& SendInPieces(const std::string& bytes, std::size_t pieceSize,
                              std::chrono::milliseconds pause);
    SimResponse& Wait(std::chrono::milliseconds delay);
    /// Resets the connection (RST) and ends the script.
    SimResponse& Reset();
    /// Sends nothing more and keeps the connection until the client leaves.
    SimResponse& Stall();
    SimResponse& Call(std::function<void()> call);

    const std::vector<Step>& steps() const { return steps_; }
    /// The bytes of every Send step, concatenated (what the client receives when nothing fails).
    std::string SentBytes() const;

  private:
    std::vector<Step> steps_;
};

/// A delay of `ms` simulated milliseconds in real time at `timeScale`: none for 0 or less, else at
/// least 1 ms, so no scaled pause becomes a busy loop.
std::chrono::milliseconds ScaledDelay(std::int64_t ms, double timeScale);

/// A complete HTTP/1.1 response with Content-Length and "Connection: close".
std::string HttpResponse(int status, const std::string& reason, const std::string& contentType,
                         const std::string& body, const std::vector<std::string>& extraHeaders = {});

}  // namespace xqt::sim
