#pragma once
// Durations of the wizard's own waits. The defaults are the product's numbers; tests run a scaled
// copy so a whole manual upgrade passes in a moment.

#include <algorithm>
#include <cmath>

namespace xqt {

struct WizardTiming {
    int discoveryPeriodMs = 5000;      ///< enquiry at start, again after one period, stop after two
    int restoreFirstPauseMs = 10000;   ///< before the saved configuration is read back
    int restoreRetryPauseMs = 5000;    ///< after a failed restore attempt other than the last
    int restoreLastPauseMs = 5000;     ///< after the attempts
    int restartWatchPeriodMs = 1000;   ///< between inquiries of the restarted camera
    int restartWatchLimitMs = 150000;  ///< the result page comes this long after the restore at the latest
    int inquiryLimitMs = 20000;        ///< limit of each restart-watch inquiry

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
        return t;
    }
};

}  // namespace xqt
