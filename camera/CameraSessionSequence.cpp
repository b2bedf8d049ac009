// CameraSession: the upgrade sequence. The worker saves the configuration (automatic mode), posts
// the image, follows the overwrite, waits for the camera to come back with the new version and
// puts the configuration back; the owner's timers count the seconds, run the overwrite watchdog,
// give a camera that dropped the connection its time, and pace the reconfiguration polls.
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

namespace {

constexpr std::uint16_t BIN_VERSION_UP_ERROR = 206;
constexpr std::uint16_t BIN_NETWORK_ERROR = 225;
constexpr std::int32_t TICK_INCREMENT = 5;

std::string TextOr(std::uint16_t id, std::string_view delivered) {
    std::string text = platform::TextOf(id);
    return text.empty() ? std::string(delivered) : text;
}

}  // namespace

// ---- Small pieces ---------------------------------------------------------------------------

bool CameraSession::IsAbandoned() const {
    return sequence_->abandoned.load();
}

bool CameraSession::AnotherCameraFound() const {
    return sequence_->anotherCamera;
}

bool CameraSession::IsWorkerRunning() const {
    return sequence_->workerRunning.load();
}

void CameraSession::CancelSequence() {
    Sequence& seq = *sequence_;
    std::lock_guard lock(seq.stepMutex);
    seq.Abandon();
    std::lock_guard postLock(seq.postMutex);
    if (configStore) configStore->Cancel();  // a download in progress
}

std::string CameraSession::WorkerInquire(std::string_view body, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    detail::ShortRequestJob request{hostPort, std::string(INQUIRY_PATH), platform::Utf8ToWindows1252(body),
                                    credential};
    return platform::Windows1252ToUtf8(detail::RunShortRequest(request, deadline, sequence_->cancel).answer);
}

bool CameraSession::WorkerPause(std::chrono::milliseconds duration) {
    return sequence_->cancel.WaitFor(duration);
}

bool CameraSession::IsSameCamera(std::string_view systemAnswer) {
    // Only a whole field counts: an answer cut short proves nothing either way.
    const std::string before = inquiredSerial.Get();
    if (auto serial = FindField(systemAnswer, "Serial=");
        serial && serial->terminated && !before.empty() && !serial->value.empty() &&
        platform::Utf8ToWindows1252(before) != platform::Utf8ToWindows1252(serial->value)) {
        return false;
    }
    const std::string mac = inquiredMac.Get();
    if (mac.empty()) return true;
    const std::string network = WorkerInquire(INQ_NETWORK, timing.rebootInquiryLimit);
    const std::optional<std::string> now = ParseMacAddress(network);
    auto same = [](std::string a, std::string b) {
        auto fold = [](std::string& text) {
            for (char& c : text)
                c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        };
        fold(a);
        fold(b);
        return a == b;
    };
    return !now || same(*now, mac);
}

// Called with stepMutex held (inside a step or a verdict).
void CameraSession::StartSessionTimer(int base, std::chrono::milliseconds period) {
    if (base == TIMER_TICK_BASE) sequence_->tickTimerOn = true;
    if (owner) owner->StartTimer(base + slot, period);
}

void CameraSession::StopSessionTimer(int base) {
    if (base == TIMER_TICK_BASE) sequence_->tickTimerOn = false;
    if (owner) owner->StopTimer(base + slot);
}

void CameraSession::Post(std::int32_t wParam, std::int32_t lParam) {
    if (owner) owner->PostUpgradeMessage(wParam, lParam);
}

void CameraSession::SetStatus(UpgradeStatus code) {
    // The observer hears of a change before any other thread can read it, so a record of the
    // changes of several sessions keeps the order in which their readers saw them. Writers take
    // turns (the step lock, or the start check before the worker exists).
    const auto value = static_cast<std::int32_t>(code);
    if (statusObserver && status.load() != value) statusObserver(code);
    status.store(value);
}

void CameraSession::MarkCompleted() {
    const std::string version = newVersion.Get();
    if (!version.empty()) reportedVersion.Set(version);
    SetProgress(PROGRESS_MAX);
    SetStatus(UpgradeStatus::Completed);
}

void CameraSession::ReportNetworkError() {
    failure.store(FailureCode(UpgradeFailure::UploadNotSent));
    if (IsAutomaticMode()) {
        SetStatus(UpgradeStatus::Error1);
        return;
    }
    ShowBox(TextOr(BIN_NETWORK_ERROR,
                   "Network error occurred.\r\nPlease retry the upgrade without shutting down the power."),
            platform::MbIcon::Stop);
    Post(platform::UPGRADE_SET_STATE, platform::UPGRADE_STATE_TARGET);
}

void CameraSession::ReportUpgradeError(UpgradeFailure why) {
    failure.store(static_cast<std::int32_t>(why));
    if (IsAutomaticMode()) {
        SetStatus(UpgradeStatus::Error2);
        return;
    }
    ShowBox(TextOr(BIN_VERSION_UP_ERROR, "Version up error."), platform::MbIcon::Stop);
    Post(platform::UPGRADE_SET_STATE, platform::UPGRADE_STATE_TARGET);
}

// ---- Start and worker -----------------------------------------------------------------------

bool CameraSession::StartUpgrade() {
    Sequence& seq = *sequence_;
    std::lock_guard lock(seq.stepMutex);
    if (seq.started || seq.abandoned || !owner) return false;
    if (imageData && PlaceholderRefusal(*imageData, hostPort)) {
        seq.started = true;
        failure.store(FailureCode(UpgradeFailure::PlaceholderRefused));
        SetStatus(UpgradeStatus::Error1);
        return false;
    }
    seq.started = true;
    seq.backup = backupFlag_ && backupFlag_->load() != 0;
    SetStatus(seq.backup ? UpgradeStatus::SavingConfig : UpgradeStatus::Uploading);
    seq.workerRunning.store(true);
    seq.worker = std::thread([this] {
        UpgradeWorker();
        sequence_->workerRunning.store(false);
    });
    return true;
}

void CameraSession::UpgradeWorker() {
    Sequence& seq = *sequence_;
    overwriteDone.store(false);
    if (seq.backup && !SaveConfiguration()) {
        Step([&] {
            failure.store(FailureCode(UpgradeFailure::ConfigNotSaved));
            SetStatus(UpgradeStatus::Error6);
            finished.store(true);
        });
        return;
    }
    if (!Step([&] { SetStatus(UpgradeStatus::Uploading); })) return;

    const PostOutcome sent = UploadFirmware();
    if (sent == PostOutcome::NotSent) {
        Step([&] {
            ReportNetworkError();
            finished.store(true);
        });
        return;
    }
    if (sent == PostOutcome::NotCompleted) {
        LostLinkPath();
        return;
    }

    if (!WatchOverwrite()) {
        Step([&] {
            ReportUpgradeError(UpgradeFailure::StreamBroken);
            finished.store(true);
        });
        return;
    }
    if (!VerifyAfterReboot(true)) {
        Step([&] {
            ReportUpgradeError(AnotherCameraFound() ? UpgradeFailure::AnotherCamera
                                                    : UpgradeFailure::NotVerified);
            finished.store(true);
        });
        return;
    }
    bool restore = false;
    if (!Step([&] {
            restore = HasConfigStore();
            if (restore) {
                SetStatus(UpgradeStatus::LoadingConfig);
            } else {
                MarkCompleted();
            }
            Post(platform::UPGRADE_SET_STATE, platform::UPGRADE_STATE_RESULT);
        })) {
        return;
    }
    if (restore) {
        RestoreSteps();
        return;
    }
    Step([&] { finished.store(true); });
}

void CameraSession::LostLinkPath() {
    Sequence& seq = *sequence_;
    if (!Step([&] {
            SetStatus(UpgradeStatus::Searching);
            tickCount.store(0);
            seq.lostLinkOn.store(true);
            StartSessionTimer(TIMER_LOSTLINK_BASE, timing.lostLinkPeriod);
        })) {
        return;
    }
    {
        std::unique_lock lock(seq.waitMutex);
        seq.wake.wait(lock, [&] { return seq.lostLinkExpired || seq.abandoned.load(); });
    }
    if (IsAbandoned()) return;

    // Verified (and restored) here on the worker, so the owner's thread never waits for the camera.
    seq.lostLinkVerify.store(true);
    const bool back = VerifyAfterReboot(false);
    seq.lostLinkVerify.store(false);
    bool restore = false;
    if (!Step([&] {
            if (back) {
                Post(platform::UPGRADE_ADVANCE_STATE, platform::UPGRADE_ONE_STEP);
                restore = HasConfigStore();
                if (restore) {
                    SetStatus(UpgradeStatus::LoadingConfig);
                } else {
                    MarkCompleted();
                }
                return;
            }
            if (AnotherCameraFound()) {
                ReportUpgradeError(UpgradeFailure::AnotherCamera);
                return;
            }
            // A camera that answered with another version did come back: that is the failure.
            failure.store(static_cast<std::int32_t>(
                versionAfterReboot.Get().empty() ? UpgradeFailure::NotBack : UpgradeFailure::NotVerified));
            if (IsAutomaticMode()) {
                SetStatus(UpgradeStatus::Error1);
            } else {
                ShowBox(TextOr(BIN_VERSION_UP_ERROR, "Version up error."), platform::MbIcon::Stop);
                Post(platform::UPGRADE_SET_STATE, platform::UPGRADE_STATE_TARGET);
            }
        })) {
        return;
    }
    if (restore) {
        RestoreSteps();
        return;
    }
    Step([&] { finished.store(true); });
}

void CameraSession::ReconfigurationPhase() {
    Sequence& seq = *sequence_;
    if (!Step([&] {
            SetStatus(UpgradeStatus::Reconfiguring);
            seq.reconfigStart = std::chrono::steady_clock::now();
            seq.reconfigOn.store(true);
            StartSessionTimer(TIMER_RECONFIG_BASE, timing.reconfigPeriod);
        })) {
        return;
    }
    for (;;) {
        {
            std::unique_lock lock(seq.waitMutex);
            seq.wake.wait(lock, [&] { return seq.pollWanted || seq.abandoned.load(); });
            seq.pollWanted = false;
        }
        if (IsAbandoned()) return;
        // The poll of each reconfiguration tick, made here so the owner's thread never waits for
        // the camera; a tick that comes while a poll is under way is not queued.
        const std::string answer = WorkerInquire(INQ_SYSTEM, timing.reconfigInquiryLimit);
        const bool done = [&] {
            bool ended = false;
            const bool stepped = Step([&] {
                if (!answer.empty()) {
                    lastAnswer.Set(answer);
                    NotePanTilt();
                }
                AddProgress(1);
                ended = CheckModelAndVersion(answer, false) ||
                        std::chrono::steady_clock::now() - seq.reconfigStart > timing.reconfigLimit;
                if (ended) {
                    seq.reconfigOn.store(false);
                    StopSessionTimer(TIMER_RECONFIG_BASE);
                    MarkCompleted();
                    finished.store(true);
                }
            });
            return ended || !stepped;
        }();
        if (done) return;
    }
}

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
            if (!IsSameCamera(answer)) {
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
        // Nothing to ask a camera in recovery state: its assumed overwrite time is counted in ticks.
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
    AddProgress(emergency.load() ? stepSize.load() : TICK_INCREMENT);
    const std::int32_t before = tickCount.fetch_add(1);
    if (before != timing.watchdogTicks) return;
    Sequence& seq = *sequence_;
    std::lock_guard lock(seq.stepMutex);
    // A tick of a timer the sequence has stopped already, or of the restore's request, or of the
    // verification after a lost link (which the watchdog never cut short): nothing to decide.
    if (seq.abandoned || !seq.tickTimerOn || seq.lostLinkVerify.load()) return;
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
