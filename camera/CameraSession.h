#pragma once
// One camera's HTTP client and, later, its upgrade worker. A session is created by the page that
// drives it (the wizard, the automatic progress list, the lists' connection tests) with the camera's
// address text, the credential and the accepted models, and deleted by that page.
//
// Threads and ownership:
// - The synchronous operations (PostShortRequest, Inquire, the checks, RunManualCheck) block the
//   calling thread for at most their wait limit. They are called by one thread at a time: the
//   thread that drives the session (never the user-interface thread of the wizard, which must not
//   block on the network) or the session's own worker.
// - InquireAsync, IsInquiryDone, AsyncAnswer and AsyncStartTime are called by the owner's thread;
//   the exchange runs on a thread of the session's own, which the session joins.
// - status, emergency, hasPanTilt and the Synchronized texts may be read from any thread.
// - Cancel() may be called from any thread: every exchange in progress is abandoned (its socket
//   closed) and every pause ends; later exchanges give the empty answer at once.
// - The destructor cancels and joins the asynchronous inquiry. No other thread may still be inside
//   the session when it is destroyed.
// - Message boxes are shown through the owner (SessionOwner::ShowMessage): on the owner's thread,
//   in order, without blocking the caller.
//
// Text: answers and version texts are UTF-8 here; request bodies and answers are 8-bit on the wire.
//
// The upload, the upgrade sequence and the restore add their operations and fields to this class
// in files of their own (CameraSession<Responsibility>.cpp).
//
// The upgrade (StartUpgrade) runs on the session's worker thread, with a progress reader of its
// own while the camera overwrites its flash memory; the owner's timers (TIMER_*_BASE + slot) drive
// it further through OnSessionTimer on the owner's thread, which never blocks there. What a page
// reads while it runs: status, the progress (progressBar or progressValue), emergency, failure,
// reportedVersion once Completed; in manual mode it also receives WM_APP_UPGRADE and the boxes.
// The worker never runs on after the session was cancelled or after the overwrite watchdog gave
// it up ("abandoned"): it takes no further step and is joined by the destructor.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include <vector>

#include "camera/CameraFault.h"
#include "camera/Cancellation.h"
#include "camera/ConfigStore.h"
#include "camera/ModelList.h"
#include "camera/ProgressBar.h"
#include "camera/StreamedPost.h"
#include "camera/Synchronized.h"
#include "camera/UpgradeStatus.h"
#include "platform/EngineTiming.h"
#include "platform/SessionOwner.h"

namespace xqt {

/// Timer id bases of the owner's timers; the session's `slot` (0-255) is added.
inline constexpr int TIMER_TICK_BASE = 0x8100;
inline constexpr int TIMER_LOSTLINK_BASE = 0x8200;
inline constexpr int TIMER_RECONFIG_BASE = 0x8300;

/// Path of every inquiry.
inline constexpr std::string_view INQUIRY_PATH = "/command/inquiry.cgi";
inline constexpr std::string_view INQ_SYSTEM = "inq=system";
inline constexpr std::string_view INQ_USER = "inq=user";
inline constexpr std::string_view INQ_NETWORK = "inq=network";

/// An image as sessions see it: shared, never copied per camera (the same type as the resource
/// state's image slots).
using ImageBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

/// Who drives a session: the manual wizard (a progress bar, boxes and posted messages) or an
/// automatic run (a row's progress word and status words only).
enum class SessionMode { Manual, Automatic };

/// What a session is created with.
struct SessionConfig {
    platform::SessionOwner* owner = nullptr;  ///< timers, posted messages, boxes; null: no boxes are shown
    std::string hostPort;                     ///< camera address as FormatHostPort makes it
    std::string credential;                   ///< EncodeCredential of the user's name and password
    ModelList modelList{};                    ///< accepted models; entry 0 is named in messages
    int slot = 0;                             ///< 0-255, added to the timer id bases
    platform::EngineTiming timing{};
    // The automatic list's run options, kept by reference (none in manual mode, where the wizard
    // keeps the configuration itself). The list keeps them alive for the session's life and does
    // not change them while an upgrade runs.
    const std::atomic<std::int32_t>* backupFlag = nullptr;  ///< non-zero: save the configuration first
    const std::atomic<std::int32_t>* deleteFlag = nullptr;  ///< non-zero: delete the saved file once restored
    const std::atomic<std::int64_t>* timeStamp = nullptr;   ///< seconds since the epoch naming the saved
                                                            ///< file's folder; none or 0: now
    std::string serialText{};  ///< the camera's serial number (saved file's name)
    SessionMode mode = SessionMode::Manual;
};

/// Model, version and serial as the system inquiry reports them.
struct SystemFields {
    bool accepted = false;  ///< the model is listed and not empty
    std::string model;
    std::string version;  ///< SoftVersion as sent (no "ver"), "unknown" for an emergency camera
    std::string serial;
};

/// An inquiry's answer and, when there is none (or only the challenge), why.
struct InquiryAnswer {
    std::string text;  ///< as PostShortRequest returns it
    CameraFault fault = CameraFault::NoAnswer;
};

/// Outcome of the manual pre-upgrade check; its message boxes have been shown through the owner.
struct ManualCheckResult {
    bool passed = false;
    /// Why the check refused the camera (None when it passed). The serial-number rule is the
    /// caller's: SerialNotAccepted never comes from here.
    CameraFault fault = CameraFault::None;
    std::string detail;  ///< FaultText of `fault`, naming this session's user, model and limit
    SystemFields system;
    std::string docType;       ///< picks the image slot
    std::string systemAnswer;  ///< empty when the camera did not answer
    std::string userAnswer;    ///< empty when not asked (emergency) or not answered
};

/// Whether the camera at the address is the one recorded before the upgrade (MatchCamera).
enum class CameraMatch { Same, Other, Unknown };

class CameraSession {
  public:
    explicit CameraSession(SessionConfig config);
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // ---- Transport -------------------------------------------------------------------------

    /// Posts `body` to the inquiry path with the session's credential and returns the answer: the
    /// camera's bytes (at most 5120, read until complete), "401 Unauthorized" when the camera
    /// demanded authentication, or empty when nothing came within `limit` or the exchange failed.
    [[nodiscard]] std::string PostShortRequest(std::string_view body, std::chrono::milliseconds limit);

    /// Starts the same exchange on the session's own thread and returns at once; a job still
    /// running is cancelled first. The exchange gives up after the inquiry limit.
    void InquireAsync(std::string_view body);
    /// True once the asynchronous exchange has ended (false when none was started).
    [[nodiscard]] bool IsInquiryDone() const;
    /// The asynchronous answer once IsInquiryDone; empty before.
    [[nodiscard]] std::string AsyncAnswer() const;
    /// When the asynchronous exchange was started, for the caller's own limit.
    std::chrono::steady_clock::time_point AsyncStartTime() const;

    /// Abandons every exchange in progress and ends every pause; permanent.
    void Cancel();
    [[nodiscard]] bool IsCancelled() const;
    /// Waits `duration` unless cancelled; false when the session was cancelled.
    bool Pause(std::chrono::milliseconds duration);

    // ---- Inquiry ---------------------------------------------------------------------------

    /// PostShortRequest of `body` ("inq=system", "inq=user", "inq=network").
    [[nodiscard]] std::string Inquire(std::string_view body, std::chrono::milliseconds limit);
    /// Inquire, telling also why no answer came (refused, unreachable, silent, broken, challenged).
    [[nodiscard]] InquiryAnswer Ask(std::string_view body, std::chrono::milliseconds limit);
    /// The text of `fault` for this session's camera: its user, `model` and the inquiry limit.
    [[nodiscard]] std::string DescribeFault(CameraFault fault, const std::string& model = {},
                                            const std::string& serial = {}) const;

    /// True when the answer names an accepted model; records currentVersion, reportedVersion and
    /// emergency from SoftVersion, and inquiredSerial. With `showMessage`, a refused model shows the
    /// wrong-model box.
    [[nodiscard]] bool CheckModelAndVersion(std::string_view answer, bool showMessage);
    /// CheckModelAndVersion plus the model, version and serial texts.
    SystemFields ParseSystemAnswer(std::string_view answer, bool showMessage);
    /// True when the credential is the administrator's. Automatic mode records
    /// Error1/Error3 in status; manual mode shows the matching box.
    [[nodiscard]] bool CheckAdministrator(std::string_view answer);
    /// DocType value, empty when absent.
    [[nodiscard]] static std::string ReadDocType(std::string_view answer);
    /// MacAddress value with ":" replaced by "-", or nothing when absent or empty.
    [[nodiscard]] static std::optional<std::string> ParseMacAddress(std::string_view answer);
    /// Sets hasPanTilt when lastAnswer contains "PanTiltFunc=1"; never clears it.
    void NotePanTilt();

    /// The wizard's check before a manual upgrade: inq=system (a camera that gave no answer at all
    /// gets the did-not-answer box, any other refusal the wrong-model box), the DocType, and unless
    /// the camera is in emergency state inq=user with CheckAdministrator.
    ManualCheckResult RunManualCheck();

    // ---- Upload (CameraSessionUpload.cpp) ----------------------------------------------------

    /// The image to post, the number of its bytes to post (at most its size) and the version text
    /// it carries ("ver1.23"; empty: the first accepted answer after the reboot defines it). The
    /// bytes are shared, never copied. Called before StartUpgrade.
    void SetImage(ImageBytes bytes, std::uint32_t size, std::string version);
    /// Posts the image (worker thread). Taken: sent and, unless in emergency state, the camera took
    /// the end of the request with a 2xx answer (the request stays open for ReadProgressStream); -1:
    /// it could not be opened, sent or written within the transfer's bound, or the camera refused
    /// it (any other answer); -2: sent, but completing it failed (the camera dropped the
    /// connection). Every request handle is closed on failure.
    [[nodiscard]] PostOutcome UploadFirmware();
    /// Follows the camera's progress response until its closing delimiter (reader thread, started
    /// by WatchOverwrite). Sets streamOk: false when the stream broke or timed out. In emergency
    /// state it reads nothing and only sets the per-second increment.
    void ReadProgressStream();

    // ---- Upgrade sequence (CameraSessionSequence.cpp) -----------------------------------------

    /// Starts the worker and sets status to SavingConfig (backup asked) or Uploading. False, with
    /// nothing started, when the session has no owner (its timers drive the sequence) or an
    /// upgrade was already started on it. False also when the image is the build's placeholder and
    /// the camera is not on loopback: then status is Error1 and failure PlaceholderRefused, and
    /// nothing was said to the camera.
    bool StartUpgrade();
    /// A tick of TIMER_TICK_BASE, TIMER_LOSTLINK_BASE or TIMER_RECONFIG_BASE + slot; other ids are
    /// ignored. Owner's thread; returns at once.
    void OnSessionTimer(int id);
    /// Waits for the rebooted camera and checks its version (worker thread). `first`: after a
    /// completed overwrite, else after a lost connection.
    [[nodiscard]] bool VerifyAfterReboot(bool first);
    /// Runs the progress reader until the stream ends, the overwrite watchdog cuts the wait short
    /// (automatic mode) or the worker is abandoned; then status Rebooting. Returns streamOk as it
    /// stood when the wait ended (worker thread).
    [[nodiscard]] bool WatchOverwrite();
    /// The failure of an upload that could not be sent: Error1 in automatic mode; in manual mode
    /// box BIN 225 and WM_APP_UPGRADE (1, 3).
    void ReportNetworkError();
    /// True from StartUpgrade until the worker has returned.
    [[nodiscard]] bool IsWorkerRunning() const;
    /// Who answers at the address now, against the camera recorded before the upgrade: the
    /// Serial field of `systemAnswer` (however the answer ends) and, with inquiredMac known, the
    /// camera's network answer. Other when either names another camera; Same when one of them
    /// names this one; Unknown when neither can be read (an empty answer, no Serial, no MAC), so
    /// that nothing of this camera is ever written into an unknown one. Asks the camera; called by
    /// the worker, or by the driving thread once the worker has ended.
    [[nodiscard]] CameraMatch MatchCamera(std::string_view systemAnswer);

    // ---- Restore (CameraSessionRestore.cpp) --------------------------------------------------

    /// Makes `size` bytes at `data` the configuration RestoreConfig posts. Not copied: the caller
    /// keeps them alive and unchanged until RestoreConfig has returned.
    void SetUploadData(const std::uint8_t* data, std::size_t size);
    /// Posts the configuration back (restore path, or the preset path when hasPanTilt), authorized
    /// as the factory-default administrator. 0 when the camera took it; -1 when the request could
    /// not be opened, sent or written (also when there is nothing to post); -2 when completing it
    /// failed or the camera refused it. Blocks the calling thread; leaves status Overwriting.
    [[nodiscard]] PostOutcome RestoreConfig();

    // ---- Fields ------------------------------------------------------------------------------

    const SessionMode mode;
    platform::SessionOwner* const owner;
    const std::string hostPort;
    const std::string credential;
    const ModelList modelList;
    const int slot;
    const platform::EngineTiming timing;

    std::atomic<std::int32_t> status{StatusCode(UpgradeStatus::Standby)};
    std::atomic<bool> emergency{false};   ///< an answer reported SoftVersion=emergency
    std::atomic<bool> hasPanTilt{false};  ///< lastAnswer held "PanTiltFunc=1" once
    /// "ver" + SoftVersion of the first inquiry that set it, or "unknown" in emergency state.
    detail::Synchronized<std::string> currentVersion;
    /// "ver" + SoftVersion of a later inquiry.
    detail::Synchronized<std::string> reportedVersion;
    /// "ver" + SoftVersion of the camera's first accepted answer after the upgrade; empty while it has
    /// given none. Unlike reportedVersion, never a version from before the upgrade nor one taken as
    /// reported: what front ends show as the version the camera reported.
    detail::Synchronized<std::string> versionAfterReboot;
    /// The latest inq=system answer kept by the sequence.
    detail::Synchronized<std::string> lastAnswer;
    /// The serial number of the first accepted system answer that carried one: the camera's whole
    /// text, where the one the session was made with may come cut from discovery. It names the
    /// saved configuration's file when set.
    detail::Synchronized<std::string> inquiredSerial;
    /// The camera's MAC as its network inquiry reported it before the upgrade ("08-00-46-..."),
    /// set by whoever asked; when set, the camera that answers after the reboot must report it too.
    detail::Synchronized<std::string> inquiredMac;
    /// Path of the configuration saved by this session's backup, once the download has succeeded.
    detail::Synchronized<std::string> savedConfigPath;
    /// The automatic run's per-camera progress value (0-10000); set by the run before the session
    /// is used. The run keeps it alive.
    std::atomic<std::int32_t>* progressValue = nullptr;
    /// Ticks of the current one-second timer (TIMER_TICK_BASE + slot); the request steps reset it.
    std::atomic<std::int32_t> tickCount{0};

    /// The streamed POST of the upload or restore in progress; its steps have the receive time-out
    /// as deadline and are cancelled with the session.
    StreamedPost streamedPost;

    /// The camera's serial number, named in the saved configuration's file.
    const std::string serialText;

    // Upload and sequence fields. Set by the creating page before StartUpgrade: the image
    // (SetImage) and at most one of progressBar / progressValue; then written by the session.
    ImageBytes imageData;
    std::uint32_t imageSize = 0;
    /// Version text of the image; set from the camera's answer when it was empty.
    detail::Synchronized<std::string> newVersion;
    /// The manual page's progress bar; none in automatic mode. The page keeps it alive.
    ProgressBar* progressBar = nullptr;
    std::atomic<std::int32_t> stepBase{0};
    std::atomic<std::int32_t> stepSize{0};   ///< per step of the stream; per tick in emergency state
    std::atomic<std::int32_t> stepTotal{0};  ///< steps announced by the camera
    std::atomic<bool> streamOk{false};
    std::atomic<bool> overwriteDone{false};  ///< WatchOverwrite has ended
    std::atomic<bool> finished{false};       ///< the worker ended normally
    /// The new version was confirmed by the camera's own answer (not assumed by the watchdog or
    /// for an emergency camera).
    std::atomic<bool> verified{false};
    std::atomic<std::int32_t> failure{static_cast<std::int32_t>(UpgradeFailure::None)};
    /// Automatic mode with a backup: the camera's saved configuration. Created and used by the
    /// worker; read it only once the worker has ended (IsWorkerRunning false).
    std::unique_ptr<ConfigStore> configStore;
    /// Called with every change of status the sequence makes, on the thread that sets it (worker, reader or
    /// owner), in order, while the sequence holds its step lock: it must be quick and must not call
    /// back into the session. Set before StartUpgrade; for logs and tests (pages poll `status`).
    std::function<void(UpgradeStatus)> statusObserver;

  private:
    struct AsyncJob;
    [[nodiscard]] bool IsAutomaticMode() const { return mode == SessionMode::Automatic; }
    /// A box with caption BIN 203 "Information" through the owner; nothing without an owner.
    void ShowBox(const std::string& text, platform::MbIcon icon) const;
    void JoinAsync();

    detail::Cancellation cancellation_;
    std::mutex asyncMutex_;  // asyncJob_ is replaced by the owner's thread and read by Cancel()
    std::unique_ptr<AsyncJob> asyncJob_;
    std::thread asyncThread_;
    const std::uint8_t* uploadData_ = nullptr;  // SetUploadData; the caller's bytes
    std::size_t uploadSize_ = 0;

    // ---- Upload and sequence internals --------------------------------------------------------
    struct Sequence;
    void UpgradeWorker();
    void LostLinkPath();
    void ReconfigurationPhase();
    /// Runs `step` unless the worker was abandoned; false when it was (the caller ends).
    template <class F>
    bool Step(F&& step);
    [[nodiscard]] bool IsAbandoned() const;
    /// Abandons the worker: it takes no further step, its waits and exchanges end. Any thread.
    void CancelSequence();
    /// Inquiry of the worker: ends early when the worker is abandoned.
    [[nodiscard]] std::string WorkerInquire(std::string_view body, std::chrono::milliseconds limit);
    bool WorkerPause(std::chrono::milliseconds duration);
    /// The verification met another camera (stepMutex held).
    [[nodiscard]] bool AnotherCameraFound() const;
    void OnTick();
    void OnLostLinkTick();
    void ApplyWatchdog();
    void StartSessionTimer(int base, std::chrono::milliseconds period);
    void StopSessionTimer(int base);
    void Post(std::int32_t wParam, std::int32_t lParam);
    void SetStatus(UpgradeStatus code);
    /// Failure of the overwrite or the verification: Error2, or box BIN 206 and (1, 3).
    void ReportUpgradeError(UpgradeFailure why);
    /// Status Completed with full progress and the new version as reported.
    void MarkCompleted();
    void AddProgress(std::int32_t delta);
    void SetProgress(std::int32_t value);
    [[nodiscard]] std::int32_t CurrentProgress() const;
    // Configuration backup and restore of automatic mode (CameraSessionBackup.cpp).
    [[nodiscard]] bool SaveConfiguration();
    [[nodiscard]] bool HasConfigStore() const;
    void RestoreSteps();

    const std::atomic<std::int32_t>* const backupFlag_;
    const std::atomic<std::int32_t>* const deleteFlag_;
    const std::atomic<std::int64_t>* const timeStamp_;

    // Last member: destroyed first, so the worker it joins still finds every other member alive.
    std::unique_ptr<Sequence> sequence_;
};

}  // namespace xqt
