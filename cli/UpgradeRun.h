#pragma once
// xqt-cli upgrade: the manual upgrade of one camera end to end, as the wizard runs it: the check,
// the optional configuration backup, the upload, the overwrite, the reboot and the verification,
// then the optional restore and the wait for the reconfigured camera.
//
// Threads: Run is called on the command's thread, which also prints; the session's workers and
// the event loop's thread hand their status changes over through a StatusQueue.
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "camera/CameraSession.h"
#include "camera/ConfigStore.h"
#include "camera/ResourceState.h"
#include "cli/ExitCodes.h"
#include "cli/FirmwareChoice.h"
#include "cli/UpgradeReporter.h"
#include "platform/EventLoopOwner.h"
#include "platform/MessageBoxes.h"
#include "platform/StopSignals.h"

namespace xqt::cli::upgrade {

struct UpgradeOptions {
    std::string address;
    std::string user;
    std::string passwordFile;
    bool noPrompt = false;
    bool retain = false;
    bool backup = false;
    bool json = false;
    /// Flash a camera that already runs the image's version too; without it such a camera is left
    /// alone (exit 0, reason "current").
    bool force = false;
    double timeScale = 0;
    FirmwareOptions firmware;
};

struct Result {
    int exitCode = EXIT_INTERNAL;
    std::string failure;  ///< empty on success
    /// Why it failed, for scripts: the FaultWord of a refused check, else the failure word.
    std::string reason;
    std::string detail;  ///< the same for people: FaultText, or the failure's message
    std::string address;
    std::string mac;  ///< as the camera's network answer gave it; empty when it gave none
    std::string model;
    std::string serial;
    std::string currentVersion;
    std::string newVersion;
    std::string reportedVersion;
    bool emergency = false;
    bool verified = false;  ///< the same as `confirmed`; kept for the scripts that read it
    /// The camera itself reported the image's version, in the sequence or when asked at the end;
    /// a Completed sequence alone may have taken it as reported.
    bool confirmed = false;
    bool configSaved = false;
    bool configRestored = false;
    bool anotherCamera = false;  ///< another camera answered at the address before the restore
    /// A stop signal came while the camera was being upgraded: the run went on to its end (or
    /// stopped before anything was sent, when it came before the upload).
    bool interrupted = false;
    std::string savedFile;
};

/// Status changes of the session, handed from its threads to the printing one.
class StatusQueue {
  public:
    void Push(UpgradeStatus s, std::int32_t progress) {
        std::lock_guard lock(mutex_);
        queue_.push_back({s, progress});
    }
    std::deque<std::pair<UpgradeStatus, std::int32_t>> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(queue_, {});
    }

  private:
    std::mutex mutex_;
    std::deque<std::pair<UpgradeStatus, std::int32_t>> queue_;
};

class UpgradeRun {
  public:
    UpgradeRun(const UpgradeOptions& options, std::string address, std::string credential,
               platform::EngineTiming timing, ResourceState resources)
        : options_(options),
          credential_(std::move(credential)),
          timing_(timing),
          resources_(std::move(resources)),
          reporter_(options.json) {
        result_.address = std::move(address);
    }

    [[nodiscard]] Result Run();

  private:
    [[nodiscard]] Result Fail(int exitCode, const std::string& failure, const std::string& message = {});
    /// The check refused the camera for `fault`, described by `detail`.
    [[nodiscard]] Result Refuse(CameraFault fault, const std::string& detail);
    void Show(UpgradeStatus status) {
        lastStatus_ = status;
        reporter_.Status(status, bar_.Position());
    }
    void FlushBoxes();
    /// Prints what the session's threads handed over, and answers stop signals that came since.
    void Drain();
    /// Says on standard error what a stop signal does now: the camera finishes first.
    void NoticeStopSignals();
    /// Follows the running session until it posts its message; nothing when its worker ended
    /// without one.
    [[nodiscard]] std::optional<platform::UpgradeMessage> Follow(CameraSession& session,
                                                                 platform::EventLoopOwner& owner);
    void Restore(CameraSession& session, ConfigStore& store);

    const UpgradeOptions& options_;
    const std::string credential_;
    const platform::EngineTiming timing_;
    const ResourceState resources_;  ///< the embedded firmware, or the bundle's
    Reporter reporter_;
    platform::RecordingMessageBoxes boxes_;
    std::size_t boxesShown_ = 0;
    AtomicProgressBar bar_;
    StatusQueue statuses_;
    UpgradeStatus lastStatus_ = UpgradeStatus::Prepare;
    platform::StopSignalWatch stops_;
    Result result_;
};

}  // namespace xqt::cli::upgrade
