// CameraSession: the owner's timers of a running upgrade: the seconds of the overwrite, its
// watchdog, and the time a camera that dropped the connection is given.
#include <algorithm>
#include <cctype>

#include "camera/AnswerFields.h"
#include "camera/CameraSession.h"
#include "camera/PlaceholderGuard.h"
#include "camera/SessionSequence.h"
#include "camera/ShortRequest.h"
#include "platform/ResourceText.h"
#include "platform/Windows1252.h"

namespace xqt {

using detail::BIN_VERSION_UP_ERROR;
using detail::TICK_INCREMENT;
using platform::TextOr;

// ---- Timers (owner's thread) ----------------------------------------------------------------

void CameraSession::OnSessionTimer(int id) {
    if (id == TIMER_TICK_BASE + slot) {
        OnTick();
    } else if (id == TIMER_LOSTLINK_BASE + slot) {
        OnLostLinkTick();
    } else if (id == TIMER_RECONFIG_BASE + slot) {
        Sequence& seq = *sequence_;
        if (!seq.reconfigOn.load()) return;
        {
            std::lock_guard lock(seq.waitMutex);
            seq.pollWanted = true;
        }
        seq.wake.notify_all();
    }
}

void CameraSession::OnTick() {
    Sequence& seq = *sequence_;
    std::lock_guard lock(seq.stepMutex);
    // A late tick of a timer the sequence has stopped counts for nothing: the lost-link watch that
    // may follow starts its own count in the same counter.
    if (!seq.tickTimerOn) return;
    AddProgress(emergency.load() ? stepSize.load() : TICK_INCREMENT);
    const std::int32_t before = tickCount.fetch_add(1);
    if (before != timing.watchdogTicks) return;
    // A tick of the restore's request, or of the verification after a lost link (which the
    // watchdog never cut short): nothing to decide.
    if (seq.abandoned || seq.lostLinkVerify.load()) return;
    ApplyWatchdog();
}

// The overwrite watchdog's verdict. stepMutex is held; the worker is not abandoned yet.
void CameraSession::ApplyWatchdog() {
    Sequence& seq = *sequence_;
    StopSessionTimer(TIMER_TICK_BASE);
    auto abandon = [&] { seq.Abandon(); };
    if (overwriteDone.load()) {
        // The verification is still undecided: the upgrade counts as done.
        abandon();
        MarkCompleted();
        if (!IsAutomaticMode()) Post(platform::UPGRADE_SET_STATE, platform::UPGRADE_STATE_RESULT);
        return;
    }
    if (IsAutomaticMode()) {
        {
            std::lock_guard waitLock(seq.waitMutex);
            seq.stopEvent = true;
        }
        seq.wake.notify_all();
        return;
    }
    abandon();
    failure.store(FailureCode(UpgradeFailure::OverwriteTimedOut));
    ShowBox(TextOr(BIN_VERSION_UP_ERROR, "Version up error."), platform::MbIcon::Stop);
    Post(platform::UPGRADE_SET_STATE, platform::UPGRADE_STATE_TARGET);
}

void CameraSession::OnLostLinkTick() {
    Sequence& seq = *sequence_;
    if (!seq.lostLinkOn.load()) return;
    AddProgress(emergency.load() ? stepSize.load() : TICK_INCREMENT);
    const std::int32_t before = tickCount.fetch_add(1);
    if (before != timing.lostLinkTicks) return;
    {
        std::lock_guard lock(seq.stepMutex);
        seq.lostLinkOn.store(false);
        StopSessionTimer(TIMER_LOSTLINK_BASE);
    }
    {
        std::lock_guard lock(seq.waitMutex);
        seq.lostLinkExpired = true;
    }
    seq.wake.notify_all();
}

}  // namespace xqt
