#pragma once
// The long streamed POST that carries a firmware image or a saved configuration: open, the headers
// added one by one in the caller's order, send with the declared total length, write the body in
// pieces, complete (the response header arrives), read the response body, close. Every step that
// touches the network has its own deadline (the receive time-out, 60 s in production); a step that
// misses it fails. Sending the head and the body is also held to the transfer's overall bound
// (TransferBound, counted from Send), so a camera that takes the bytes ever so slowly still ends
// the request in time; completing and reading the answer are not: the camera's progress stream
// has a watchdog of its own.
//
// Threads: all steps are made by one thread (the upgrade worker or the progress reader it hands the
// open request to, one at a time). Cancel() may come from any thread: the step in progress and every
// later one fail at once. Close() is idempotent; the destructor closes.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "camera/TransferBound.h"

namespace xqt {

/// How a streamed POST of ours (the firmware, a configuration) ended.
enum class PostOutcome : int {
    Taken = 0,          ///< sent, and the camera took it
    NotSent = -1,       ///< could not be opened, sent or written, or (firmware) the camera refused it
    NotCompleted = -2,  ///< sent, but completing it failed or (configuration) the camera refused it
};

/// How one step of the request went. A failed step has closed everything; the caller knows which
/// PostOutcome that step's failure means.
enum class PostStep { Done, Failed };

/// Result of one read of the response body.
struct StreamRead {
    enum class Status { Data, End, TimedOut, Failed };
    Status status = Status::Failed;
    std::size_t size = 0;  ///< bytes placed in the caller's buffer (Data only)
};

class StreamedPost {
  public:
    /// `stepTimeout` bounds connecting, each write, completing and each read; `bound` connecting and
    /// writing all together.
    explicit StreamedPost(std::chrono::milliseconds stepTimeout, detail::TransferBound bound = {});
    ~StreamedPost();
    StreamedPost(const StreamedPost&) = delete;
    StreamedPost& operator=(const StreamedPost&) = delete;

    /// Names the camera ("a.b.c.d[:port]") and the path. Failed when the address cannot be used.
    [[nodiscard]] PostStep Open(std::string_view hostPort, std::string_view path);
    /// One header line, ending in CR LF, e.g. "Cache-Control: no-cache\r\n". False (nothing added)
    /// when the request is not open or the text is not a single CR LF-terminated line.
    [[nodiscard]] bool AddHeader(std::string_view line);
    /// Connects and sends the request head. When no "Content-Length" header was added, one with
    /// `totalLength` is.
    [[nodiscard]] PostStep Send(std::uint64_t totalLength);
    /// Writes body bytes; Failed also when they would pass the declared total length.
    [[nodiscard]] PostStep Write(const void* data, std::size_t size);
    /// Ends the request: every declared byte must have been written; waits for the response header.
    [[nodiscard]] PostStep Complete();
    /// Reads up to `max` bytes of the response body (chunked framing removed).
    [[nodiscard]] StreamRead Read(void* buffer, std::size_t max);
    void Close();
    void Cancel();

    [[nodiscard]] bool IsOpen() const;
    /// HTTP status of the response once Complete succeeded, else 0.
    int StatusCode() const;
    std::uint64_t Written() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// The accept types every streamed POST announces, in order.
inline constexpr std::string_view STREAMED_POST_ACCEPT =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";

}  // namespace xqt
