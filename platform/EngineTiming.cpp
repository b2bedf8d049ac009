#include "platform/EngineTiming.h"

#include <cmath>

namespace xqt::platform {

namespace {
Millis Scale(Millis d, double factor) {
    if (d.count() == 0) return d;
    const double scaled = std::round(static_cast<double>(d.count()) * factor);
    return Millis(scaled < 1.0 ? 1 : static_cast<Millis::rep>(scaled));
}
}  // namespace

EngineTiming EngineTiming::Scaled(double factor) const {
    if (!(factor > 0.0)) factor = 1.0;
    EngineTiming t = *this;
    for (Millis* d : {&t.inquiryLimit,
                      &t.rebootInquiryLimit,
                      &t.streamReceiveTimeout,
                      &t.transferGrace,
                      &t.transferPerMiB,
                      &t.tickPeriod,
                      &t.streamRetryPause,
                      &t.emergencyOverwrite,
                      &t.lostLinkPeriod,
                      &t.reconfigPeriod,
                      &t.firstVerifyWait,
                      &t.lostLinkVerifyWait,
                      &t.readerWait,
                      &t.unacceptedModelPause,
                      &t.emergencyVerifyStep,
                      &t.restorePause,
                      &t.restoreRetryPause,
                      &t.afterRestorePause,
                      &t.reconfigInquiryLimit,
                      &t.reconfigLimit,
                      &t.manualRestorePause,
                      &t.manualRestoreRetryPause,
                      &t.manualAfterRestorePause,
                      &t.restartWatchPeriod,
                      &t.restartWatchInquiryLimit,
                      &t.restartWatchLimit,
                      &t.discoveryReceiveWait,
                      &t.discoveryEnquiryInterval,
                      &t.discoveryDuration,
                      &t.discoveryStopPoll,
                      &t.targetsWaitPeriod,
                      &t.gridTestPeriod,
                      &t.connectionTestLimit,
                      &t.expanderStep,
                      &t.schedulerPeriod,
                      &t.counterPeriod,
                      &t.confirmationDelay,
                      &t.addedListInquiryPeriod,
                      &t.addedListInquiryLimit}) {
        *d = Scale(*d, factor);
    }
    return t;
}

}  // namespace xqt::platform
