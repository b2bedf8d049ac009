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

using detail::BIN_NETWORK_ERROR;
using detail::BIN_VERSION_UP_ERROR;
using platform::TextOr;

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

CameraMatch CameraSession::MatchCamera(std::string_view systemAnswer) {
    bool same = false;
    // A serial without its line end is compared as it stands: it named the saved file, so it must
    // name the camera the file goes back to.
    const std::string before = inquiredSerial.Get();
    if (auto serial = FindField(systemAnswer, "Serial=");
        serial && !before.empty() && !serial->value.empty()) {
        if (platform::Utf8ToWindows1252(before) != platform::Utf8ToWindows1252(serial->value))
            return CameraMatch::Other;
        same = true;
    }
    const std::string mac = inquiredMac.Get();
    if (!mac.empty()) {
        const std::string network = WorkerInquire(INQ_NETWORK, timing.rebootInquiryLimit);
        if (const std::optional<std::string> now = ParseMacAddress(network)) {
            auto fold = [](std::string text) {
                for (char& c : text)
                    c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                return text;
            };
            if (fold(*now) != fold(mac)) return CameraMatch::Other;
            same = true;
        }
    }
    return same ? CameraMatch::Same : CameraMatch::Unknown;
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

}  // namespace xqt
