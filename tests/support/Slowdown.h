#pragma once
// How long a test may wait for an event. Every limit is a duration of the scaled timing the case
// runs with, stretched by the tree's slowdown: XQT_TEST_SLOWDOWN, which ./run sets for the
// sanitizer trees from their measured cost against the plain tree (1 when unset). A limit is
// never a bare number of seconds: a machine twice as slow, or busy with other work, must pass too.
// Header-only, so every suite and the shell commands of the CLI suites share it.

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/EngineTiming.h"

namespace xqt::test {

/// The tree's slowdown against the plain tree; a value that is no number of at least 1 counts as 1.
inline double Slowdown() {
    const char* text = std::getenv("XQT_TEST_SLOWDOWN");
    if (!text) return 1.0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return end != text && std::isfinite(value) && value >= 1.0 ? value : 1.0;
}

/// The limit for a wait that the scaled timing says takes at most `scaled`, stretched for the tree.
inline std::chrono::milliseconds Allow(std::chrono::milliseconds scaled) {
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(scaled.count() * Slowdown())));
}

/// The most a step bounded by `limit` may take in all when it ends at that limit: the limit, and
/// ten times as much again, stretched for the tree, for the work around it. Far below any time-out
/// of a library or of the system, which is what such a check tells apart.
inline std::chrono::milliseconds AtTheLimit(std::chrono::milliseconds limit) {
    return limit + Allow(10 * limit);
}

/// Polls `done` until it holds or `scaled`, stretched for the tree, has passed; whether it held.
template <class Predicate>
bool WaitFor(Predicate done, std::chrono::milliseconds scaled) {
    const auto end = std::chrono::steady_clock::now() + Allow(scaled);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

/// A `timeout` prefix for a shell command that the scaled timing says ends within `scaled`.
inline std::string TimeoutPrefix(std::chrono::milliseconds scaled) {
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(Allow(scaled)).count();
    return "timeout " + std::to_string(seconds < 1 ? 1 : seconds);
}

/// The longest the engine's own limits let one camera's upgrade take under `t`, a backup and a
/// restore included: the two transfers' grace, the overwrite watchdog, the wait before the
/// verification and its own watchdog, then the restore's pauses, attempts and reconfiguration.
inline std::chrono::milliseconds UpgradeLimit(const platform::EngineTiming& t) {
    const auto watchdog = t.tickPeriod * t.watchdogTicks;
    return 2 * t.transferGrace + 2 * watchdog + t.firstVerifyWait + t.restorePause +
           t.restoreAttempts * (t.restoreRetryPause + t.inquiryLimit) + t.afterRestorePause + t.reconfigLimit;
}

}  // namespace xqt::test
