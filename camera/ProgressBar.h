#pragma once
// The manual progress page's bar as the session sees it: a position on the 0-10000 scale that the
// session moves from its worker, its progress reader and the owner's timer ticks. Implementations
// keep the position in range (like a progress control) and make Advance one atomic step, so ticks
// and chunks written at the same time never lose an increment.

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace xqt {

/// Upper end of every progress bar and per-camera progress value.
inline constexpr std::int32_t PROGRESS_MAX = 10000;

class ProgressBar {
  public:
    virtual ~ProgressBar() = default;
    [[nodiscard]] virtual std::int32_t Position() const = 0;
    /// Sets the position, clamped to 0..PROGRESS_MAX.
    virtual void SetPosition(std::int32_t position) = 0;
    /// Position + delta, clamped, in one step; returns the new position.
    virtual std::int32_t Advance(std::int32_t delta) = 0;
};

/// A bar that is only a number: for the command-line tool and the tests. Any thread.
class AtomicProgressBar : public ProgressBar {
  public:
    [[nodiscard]] std::int32_t Position() const override { return value_.load(); }
    void SetPosition(std::int32_t position) override { value_.store(std::clamp(position, 0, PROGRESS_MAX)); }
    std::int32_t Advance(std::int32_t delta) override {
        std::int32_t old = value_.load();
        std::int32_t next;
        do {
            next = std::clamp(old + delta, 0, PROGRESS_MAX);
        } while (!value_.compare_exchange_weak(old, next));
        return next;
    }

  private:
    std::atomic<std::int32_t> value_{0};
};

}  // namespace xqt
