#pragma once
// Every duration the engine and the pages built on it wait for, in one value. The defaults are the
// documented numbers of the product exactly; tests and the simulator use a scaled copy so that a full
// upgrade runs in seconds. Counts of ticks or attempts are not durations and are never scaled: they
// multiply a scaled period, so the overall waits scale with it.
//
// A plain value: copy it freely; it is read from any thread.

#include <chrono>

namespace xqt::platform {

using Millis = std::chrono::milliseconds;

/// The range of time scales the tools and the simulator take (--time-scale, a fleet's timeScale):
/// every scaled duration stays a whole number of milliseconds, far from overflow.
inline constexpr double TIME_SCALE_MIN = 0.001;
inline constexpr double TIME_SCALE_MAX = 10.0;

struct EngineTiming {
    // Transport and inquiry.
    Millis inquiryLimit{20000};          ///< wait limit of an inquiry
    Millis rebootInquiryLimit{60000};    ///< wait limit of an inquiry while a rebooted camera is awaited
    Millis streamReceiveTimeout{60000};  ///< deadline of every step of a streamed POST
    // The overall bound of a transfer (configuration download, image upload, configuration
    // restore) on top of the per-step deadline: once transferGrace has passed, the bytes moved so
    // far must have come at an average of at least one MiB per transferPerMiB (16 KiB/s, about
    // 128 kbit/s, by default), else the transfer fails as if a step had timed out. A camera that
    // trickles one byte every 59 s thus fails after about a minute instead of holding a run for
    // hours; the 10,035,200-byte image may take up to about 11 min.
    Millis transferGrace{60000};
    Millis transferPerMiB{64000};

    // Firmware upload and progress stream.
    Millis tickPeriod{1000};     ///< TIMER_TICK_BASE: overwrite watchdog and progress tick
    Millis streamRetryPause{1};  ///< pause before reading the progress stream again after a socket time-out
    Millis emergencyOverwrite{180000};  ///< overwrite time assumed for a camera in emergency state

    // Upgrade sequence.
    int watchdogTicks = 180;          ///< ticks before the overwrite watchdog fires
    int lostLinkTicks = 240;          ///< ticks the camera is given to come back after a lost link
    Millis lostLinkPeriod{1000};      ///< TIMER_LOSTLINK_BASE
    Millis reconfigPeriod{10000};     ///< TIMER_RECONFIG_BASE: poll while a restored configuration is applied
    Millis firstVerifyWait{60000};    ///< wait after a completed overwrite before verifying
    Millis lostLinkVerifyWait{5000};  ///< wait before verifying after a lost link
    Millis readerWait{180000};        ///< longest wait for the progress-stream reader
    int verifyAttempts = 20;          ///< inquiries made to verify the new version
    Millis unacceptedModelPause{500};    ///< pause after an answer naming a model that is not accepted
    Millis emergencyVerifyStep{500};     ///< sleep step while an emergency camera's ticks are counted
    int emergencyVerifyTicks = 180;      ///< ticks an emergency camera is given before it counts as done
    Millis restorePause{10000};          ///< pause before the saved configuration is posted back
    int restoreAttempts = 4;             ///< attempts to post the configuration back
    Millis restoreRetryPause{5000};      ///< pause after a failed restore attempt
    Millis afterRestorePause{120000};    ///< pause after the restore before reconfiguration is polled
    Millis reconfigInquiryLimit{20000};  ///< wait limit of each reconfiguration poll
    Millis reconfigLimit{299000};        ///< reconfiguration ends Completed after this long

    // Manual wizard: restore after WM_APP_UPGRADE and the restart watch (timer 0x8016).
    Millis manualRestorePause{10000};        ///< pause before the first restore attempt
    Millis manualRestoreRetryPause{5000};    ///< pause after a failed restore attempt
    Millis manualAfterRestorePause{5000};    ///< pause after the restore attempts
    Millis restartWatchPeriod{1000};         ///< restart watch tick
    Millis restartWatchInquiryLimit{20000};  ///< wait limit of each restart-watch inquiry
    Millis restartWatchLimit{150000};        ///< the result page comes at the latest after this long

    // Discovery.
    Millis discoveryReceiveWait{5};         ///< longest wait of one receive
    Millis discoveryEnquiryInterval{5000};  ///< discovery timer: second enquiry, then the stop
    Millis discoveryDuration{10000};        ///< two intervals: discovery ends after this long
    Millis discoveryStopPoll{10};           ///< sleep step while waiting for the receiver to stop

    // Pages and lists.
    Millis targetsWaitPeriod{500};        ///< automatic target page: wait for discovery to end
    Millis gridTestPeriod{500};           ///< camera grid connection test timer (0x8010)
    Millis connectionTestLimit{21000};    ///< a connection test older than this counts as failed
    Millis expanderStep{10};              ///< pause after each of the expander's slide steps
    int expanderSteps = 10;               ///< slide steps of the expander
    Millis schedulerPeriod{33};           ///< progress list scheduler
    Millis counterPeriod{500};            ///< automatic progress page counter
    Millis confirmationDelay{100};        ///< automatic progress page confirmation (fires once)
    Millis addedListInquiryPeriod{500};   ///< added-camera list inquiry timer (0x800A)
    Millis addedListInquiryLimit{21000};  ///< an added-camera inquiry older than this counts as unanswered

    /// A copy with every duration multiplied by `factor` (> 0). A duration that is not zero stays at
    /// least 1 ms, so no timer becomes a busy loop.
    EngineTiming Scaled(double factor) const;
};

}  // namespace xqt::platform
