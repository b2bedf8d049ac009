#pragma once
// The overall bound of a transfer (a download or a streamed POST), on top of the deadline of each
// of its steps. Plain value; used by the one thread that runs the transfer.

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/EngineTiming.h"

namespace xqt::detail {

/// The overall bound of one transfer, on top of the deadline of each of its steps: from Start on,
/// the transfer is given `grace`, plus `perMiB` for every MiB it has moved so far. A step that
/// would run past that moment fails with beast::error::timeout like one that missed its own
/// deadline. A default-made bound never limits anything.
class TransferBound {
  public:
    using Clock = std::chrono::steady_clock;
    TransferBound() = default;
    TransferBound(std::chrono::milliseconds grace, std::chrono::milliseconds perMiB)
        : bounded_(true), grace_(grace), perMiB_(perMiB) {}

    void Start() { start_ = Clock::now(); }

    /// The latest moment a step may end once `bytesDone` bytes have moved.
    Clock::time_point Deadline(std::uint64_t bytesDone) const {
        if (!bounded_) return Clock::time_point::max();
        const long double earned = static_cast<long double>(perMiB_.count()) *
                                   static_cast<long double>(bytesDone) / (1024.0L * 1024.0L);
        // Far beyond any transfer: saturate rather than overflow the clock.
        constexpr long double FAR = 1e12L;  // about 31 years in milliseconds
        const auto allowance = std::chrono::milliseconds(
            static_cast<std::int64_t>(std::min(FAR, static_cast<long double>(grace_.count()) + earned)));
        return start_ + allowance;
    }

  private:
    bool bounded_ = false;
    std::chrono::milliseconds grace_{0};
    std::chrono::milliseconds perMiB_{0};
    Clock::time_point start_ = Clock::now();
};

/// The bound EngineTiming gives every transfer.
inline TransferBound TransferBoundOf(const platform::EngineTiming& timing) {
    return TransferBound(timing.transferGrace, timing.transferPerMiB);
}

}  // namespace xqt::detail
