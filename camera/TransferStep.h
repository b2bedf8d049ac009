#pragma once
// One blocking step of a transfer that owns its io_context and stream (the streamed POST, the
// configuration download): an asynchronous operation started on the stream and run to its end,
// the stream's deadline or a cancellation. Made by one thread at a time.

#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "camera/TransferBound.h"

namespace xqt::detail {

/// Completion of one step; shared with its handler, which may outlive an abandoned step.
struct StepState {
    bool finished = false;
    boost::beast::error_code ec;
};

/// The completion handler to give the step's operation.
inline auto StepDone(std::shared_ptr<StepState> state) {
    return [state](boost::beast::error_code ec, std::size_t = 0) {
        state->finished = true;
        state->ec = ec;
    };
}

/// Restarts `ioc`, arms `stream`'s deadline with `timeout` (or `notAfter`, when that comes first),
/// lets `start` begin one operation that completes through StepDone, and runs `ioc` until it ends.
/// `cancelled` is asked before and after the restart, so a cancellation that stops the context at
/// any moment ends the step; a cancelled or unfinished step gives operation_aborted.
inline boost::beast::error_code RunStep(
    boost::asio::io_context& ioc, boost::beast::tcp_stream& stream, std::chrono::milliseconds timeout,
    const std::function<bool()>& cancelled, const std::function<void(std::shared_ptr<StepState>)>& start,
    TransferBound::Clock::time_point notAfter = TransferBound::Clock::time_point::max()) {
    if (cancelled()) return boost::asio::error::operation_aborted;
    ioc.restart();
    if (cancelled()) return boost::asio::error::operation_aborted;
    auto state = std::make_shared<StepState>();
    const auto now = TransferBound::Clock::now();
    stream.expires_at(notAfter - now < timeout ? notAfter : now + timeout);
    start(state);
    ioc.run();
    if (!state->finished) return boost::asio::error::operation_aborted;
    return state->ec;
}

/// Shuts the connection down both ways and closes it; errors are of no interest by then.
inline void CloseStream(boost::beast::tcp_stream& stream) {
    boost::beast::error_code ignored;
    stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    stream.close();
}

}  // namespace xqt::detail
