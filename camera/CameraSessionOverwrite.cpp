// CameraSession: following the overwrite on the camera's progress stream, and the verification of
// the version the camera comes back with after its reboot (the worker's side).
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

// ---- Overwrite and verification -------------------------------------------------------------

bool CameraSession::WatchOverwrite() {
    Sequence& seq = *sequence_;
    {
        std::lock_guard lock(seq.waitMutex);
        seq.readerDone = false;
        seq.stopEvent = false;
        seq.readerStop = false;
    }
    seq.reader = std::thread([this, &seq] {
        ReadProgressStream();
        {
            std::lock_guard lock(seq.waitMutex);
            seq.readerDone = true;
        }
        seq.wake.notify_all();
    });

    // The overwrite watchdog (180 ticks) decides when the stream does not end by itself. The
    // worker's own limit lies well behind it and only matters when no tick ever comes.
    const auto backstop = timing.readerWait + timing.tickPeriod * timing.watchdogTicks;
    bool ended = false;
    bool ok = false;
    {
        std::unique_lock lock(seq.waitMutex);
        ended = seq.wake.wait_for(lock, backstop,
                                  [&] { return seq.readerDone || seq.stopEvent || seq.abandoned.load(); });
        ok = streamOk.load();
    }
    if (!ended) {
        std::lock_guard lock(seq.stepMutex);
        if (!seq.abandoned) ApplyWatchdog();
    }
    {
        std::lock_guard lock(seq.waitMutex);
        seq.readerStop = true;
    }
    seq.wake.notify_all();
    {
        std::lock_guard lock(seq.postMutex);
        if (seq.upload) seq.upload->Cancel();  // ends a read still under way
    }
    seq.reader.join();
    {
        std::lock_guard lock(seq.postMutex);
        seq.upload.reset();  // the request is closed
    }
    if (!Step([&] {
            SetStatus(UpgradeStatus::Rebooting);
            overwriteDone.store(true);
        })) {
        return false;
    }
    return ok;
}

bool CameraSession::VerifyAfterReboot(bool first) {
    if (!WorkerPause(first ? timing.firstVerifyWait : timing.lostLinkVerifyWait)) return false;
    if (!Step([&] {
            tickCount.store(0);
            StartSessionTimer(TIMER_TICK_BASE, timing.tickPeriod);
        })) {
        return false;
    }
    bool ok = false;
    if (!emergency.load()) {
        // A rebooting camera often refuses or resets connections until its web server is up, and
        // such an attempt fails within milliseconds. Each attempt therefore has its share of the
        // span the overwrite watchdog allows (180 s / 20 = 9 s by default) and a failed one waits
        // out the rest of it, so the attempts cover that span whatever way the camera fails.
        const auto share = timing.tickPeriod * timing.watchdogTicks / std::max(1, timing.verifyAttempts);
        auto paceAfter = [&](std::chrono::steady_clock::time_point began, std::chrono::milliseconds least) {
            const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(
                began + share - std::chrono::steady_clock::now());
            return WorkerPause(std::max(least, rest));
        };
        for (int attempt = 0; attempt < timing.verifyAttempts && !IsAbandoned(); ++attempt) {
            const bool last = attempt + 1 == timing.verifyAttempts;
            const auto began = std::chrono::steady_clock::now();
            const std::string answer = WorkerInquire(INQ_SYSTEM, timing.rebootInquiryLimit);
            if (answer.empty()) {
                if (!last && !paceAfter(began, std::chrono::milliseconds(0))) return false;
                continue;
            }
            // Unknown goes on: the restore asks again and withholds the settings then.
            if (MatchCamera(answer) == CameraMatch::Other) {
                // Decided: whatever version it reports, it is not the camera that was upgraded.
                if (!Step([&] { sequence_->anotherCamera = true; })) return false;
                break;
            }
            bool accepted = false;
            if (!Step([&] {
                    lastAnswer.Set(answer);
                    NotePanTilt();
                    accepted = CheckModelAndVersion(answer, false);
                    if (!accepted) return;
                    if (auto v = FindField(answer, "SoftVersion="); v && v->terminated)
                        versionAfterReboot.Set("ver" + std::string(v->value));
                    const std::string reported = reportedVersion.Get();
                    if (newVersion.Get().empty()) newVersion.Set(reported);
                    ok = newVersion.Get() == reported;
                    verified.store(ok);
                })) {
                return false;
            }
            if (accepted) break;  // decided: the right version, or another one (no further attempts)
            if (!last && !paceAfter(began, timing.unacceptedModelPause)) return false;
        }
    } else {
        // Nothing to ask a camera in emergency state: its assumed overwrite time is counted in ticks.
        const auto limit =
            std::chrono::steady_clock::now() + 2 * timing.tickPeriod * timing.emergencyVerifyTicks;
        while (tickCount.load() < timing.emergencyVerifyTicks && std::chrono::steady_clock::now() < limit) {
            if (!WorkerPause(timing.emergencyVerifyStep)) return false;
        }
        if (!Step([&] { SetProgress(PROGRESS_MAX); })) return false;
        ok = true;
    }
    if (!Step([&] { StopSessionTimer(TIMER_TICK_BASE); })) return false;
    return ok;
}

}  // namespace xqt
