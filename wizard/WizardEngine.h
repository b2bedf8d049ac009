#pragma once
// What the wizard asks of the upgrade engine, in one small interface, so the frame and its pages
// can be built and tested without a network. Threads: calls marked "UI thread" come from the
// wizard's user-interface thread and return at once (StopDiscovery excepted, see there). Calls
// marked "helper thread" may block up to their limits; they come from one helper thread, one at a
// time, while the UI thread goes on and may meanwhile make UI-thread calls (discovery ticks,
// reading the session). Events of the running session reach the wizard through
// WizardEngineEvents, always on the UI thread.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "camera/DiscoveryEntry.h"
#include "camera/ProgressBar.h"
#include "camera/ResourceState.h"
#include "camera/UpgradeStatus.h"
#include "fleet/UpgradeHistory.h"
#include "platform/MessageBoxes.h"

namespace xqt {

/// A message box that an engine step decided to show; the wizard shows it on the UI thread.
struct EngineMessage {
    std::string text;
    std::string caption;
    platform::MbIcon icon = platform::MbIcon::Exclamation;
};

/// Outcome of the check of a camera before a manual upgrade (inq=system, then inq=user unless the
/// camera is in emergency state).
struct CameraCheck {
    bool passed = false;  ///< model accepted and, unless in emergency state, logged in as administrator
    std::string model;    ///< ModelName value
    std::string currentVersion;  ///< "ver" + SoftVersion, or "unknown" for a camera in emergency state
    std::string serial;          ///< Serial value, empty when absent
    std::string docType;         ///< DocType value: chooses the image slot
    bool emergency = false;
    std::optional<EngineMessage> message;  ///< the check's own refusal, shown before the wizard's
};

/// The saved configuration of the manual path, made before the session starts.
struct ConfigRequest {
    std::string hostPort;
    std::string remotePath;                           ///< "/home/l4/" + first model in lower case + ".cfg"
    std::string credential;                           ///< Base64 credential
    std::chrono::system_clock::time_point timeStamp;  ///< names the dated folder (local time)
    std::string model;                                ///< first model of the list
    std::string serial;
    bool deleteAfterRestore = false;  ///< the saved file goes once it has been put back
};

/// Position of the manual progress bar, 0 to 10000. The session writes it from its threads (it is
/// the session's ProgressBar), the progress page shows it; it belongs to the wizard and outlives
/// every session.
class ProgressBarValue : public AtomicProgressBar {
  public:
    static constexpr std::int32_t MAX = PROGRESS_MAX;
};

/// Everything the session needs to run a manual upgrade.
struct UpgradeRequest {
    std::string hostPort;
    std::string credential;
    ImageBytes image;             ///< the chosen slot's bytes, shared
    std::uint32_t imageSize = 0;  ///< byte count of the slot
    std::string newVersion;       ///< the version label, "ver1.23"
    ProgressBarValue* progressBar = nullptr;
};

/// Words of the running session, read without a lock.
struct SessionSnapshot {
    UpgradeStatus status = UpgradeStatus::Standby;
    bool emergency = false;
    /// The camera reported the new version itself; false for a version taken as reported (the
    /// overwrite watchdog's verdict, an emergency camera).
    bool verified = false;
};

/// Implemented by the wizard. Called on the UI thread only.
class WizardEngineEvents {
  public:
    virtual ~WizardEngineEvents() = default;
    /// One of the session's one-second ticks (TIMER_TICK_BASE or TIMER_LOSTLINK_BASE + 0) has been
    /// handled by the session.
    virtual void OnSessionTick() = 0;
    /// WM_APP_UPGRADE: wParam 1 sets the page state to lParam, wParam 0 adds lParam to it.
    virtual void OnUpgradeMessage(int wParam, int lParam) = 0;
};

class WizardEngine {
  public:
    virtual ~WizardEngine() = default;

    // Discovery. UI thread.
    /// Creates the discovery service and starts its receiver.
    virtual void StartDiscovery() = 0;
    /// Sends the enquiry datagram once.
    virtual void SendEnquiry() = 0;
    /// Sets the stop word to 1; the receiver ends and sets it back to 0.
    virtual void RequestDiscoveryStop() = 0;
    /// True while the stop word is 1 (asked to stop, receiver not yet ended).
    [[nodiscard]] virtual bool DiscoveryStopRequested() const = 0;
    /// True while the receiver runs (its thread word is not 0): the table may still grow.
    [[nodiscard]] virtual bool DiscoveryRunning() const = 0;
    /// Copies of the cameras found so far (entries with an empty MAC are unused).
    virtual std::vector<DiscoveryEntry> DiscoveredCameras() const = 0;
    /// When the receiver still runs: sets the stop word and waits for its handshake. Then releases
    /// the service. Blocks the caller until the receiver has ended; safe to call more than once.
    virtual void StopDiscovery() = 0;

    /// The serial-number rules. UI thread.
    [[nodiscard]] virtual bool IsSerialAllowed(const std::string& serial) const = 0;

    // Blocking camera work. Helper thread, one call at a time.
    /// The manual pre-upgrade check in a temporary session, each inquiry limited to 20000 ms.
    [[nodiscard]] virtual CameraCheck CheckCamera(const std::string& hostPort,
                                                  const std::string& credential) = 0;
    /// Creates the wizard's saved configuration and downloads it. False leaves nothing saved.
    [[nodiscard]] virtual bool SaveConfiguration(const ConfigRequest& request) = 0;
    /// Reads the saved file back and hands it to the session as the bytes to restore. False when
    /// nothing may be posted: the file cannot be read back whole, or another camera now answers at
    /// the address.
    [[nodiscard]] virtual bool ReadBackConfiguration() = 0;
    /// One restore attempt through the session. Success marks the saved configuration restored and
    /// deletes its file when that was asked for.
    [[nodiscard]] virtual bool RestoreConfiguration() = 0;
    /// inq=system through the session within `limitMs`: true when the answer names a listed model.
    [[nodiscard]] virtual bool ProbeCamera(int limitMs) = 0;

    // The manual session. UI thread.
    /// Deletes the previous session, creates a new one with the wizard as owner, hands it the image
    /// and the progress bar, and starts its worker. Events go to `events` until EndSession.
    virtual void StartUpgrade(const UpgradeRequest& request, WizardEngineEvents& events) = 0;
    virtual SessionSnapshot ReadSession() const = 0;
    /// Stops the session's tick and lost-link timers.
    virtual void StopSessionTimers() = 0;
    /// Deletes the session, if any.
    virtual void EndSession() = 0;
    /// Deletes the saved configuration object, if any (its file stays on disk).
    virtual void ReleaseConfiguration() = 0;
    /// Records a manual run in the upgrade history (one that reached the result page, or failed after
    /// its configuration was saved or its upgrade started); `entry.savedFile` is filled by the engine
    /// (the saved configuration, when it is still on disk). Engines that keep no history ignore it.
    virtual void RecordUpgrade(const HistoryEntry& entry) { (void)entry; }
};

}  // namespace xqt
