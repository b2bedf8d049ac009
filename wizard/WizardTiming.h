#pragma once
// Durations of the wizard's own waits. The defaults are the product's numbers; tests run a scaled
// copy so a whole manual upgrade passes in a moment.

#include <algorithm>
#include <cmath>

#include "platform/EngineTiming.h"

namespace xqt {

struct WizardTiming {
    int discoveryPeriodMs = 5000;      ///< enquiry at start, again after one period, stop after two
    int restoreFirstPauseMs = 10000;   ///< before the saved configuration is read back
    int restoreRetryPauseMs = 5000;    ///< after a failed restore attempt other than the last
    int restoreLastPauseMs = 5000;     ///< after the attempts
    int restartWatchPeriodMs = 1000;   ///< between inquiries of the restarted camera
    int restartWatchLimitMs = 150000;  ///< the result page comes this long after the restore at the latest
    int inquiryLimitMs = 20000;        ///< limit of each restart-watch inquiry
    /// Redisplay of the session's status word and emergency state. The session's tick stops while
    /// the camera reboots, so the page cannot rely on it alone; the value is a display rate, not an
    /// engine duration, and is never scaled.
    int displayRefreshMs = 250;

    /// The wizard's durations of the engine's timing. Discovery stops at the timer's second tick,
    /// two periods after the start (the engine's discoveryDuration is those two periods).
    static WizardTiming From(const platform::EngineTiming& engine) {
        auto ms = [](platform::Millis d) { return static_cast<int>(d.count()); };
        WizardTiming t;
        t.discoveryPeriodMs = ms(engine.discoveryEnquiryInterval);
        t.restoreFirstPauseMs = ms(engine.manualRestorePause);
        t.restoreRetryPauseMs = ms(engine.manualRestoreRetryPause);
        t.restoreLastPauseMs = ms(engine.manualAfterRestorePause);
        t.restartWatchPeriodMs = ms(engine.restartWatchPeriod);
        t.restartWatchLimitMs = ms(engine.restartWatchLimit);
        t.inquiryLimitMs = ms(engine.restartWatchInquiryLimit);
        return t;
    }

    /// Every duration multiplied by `factor`, at least 1 ms each.
    WizardTiming Scaled(double factor) const {
        auto scale = [factor](int ms) { return std::max(1, static_cast<int>(std::lround(ms * factor))); };
        WizardTiming t;
        t.discoveryPeriodMs = scale(discoveryPeriodMs);
        t.restoreFirstPauseMs = scale(restoreFirstPauseMs);
        t.restoreRetryPauseMs = scale(restoreRetryPauseMs);
        t.restoreLastPauseMs = scale(restoreLastPauseMs);
        t.restartWatchPeriodMs = scale(restartWatchPeriodMs);
        t.restartWatchLimitMs = scale(restartWatchLimitMs);
        t.inquiryLimitMs = scale(inquiryLimitMs);
        t.displayRefreshMs = displayRefreshMs;
        return t;
    }
};

}  // namespace xqt
