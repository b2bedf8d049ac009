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

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "camera/Cancellation.h"
#include "camera/ModelList.h"
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

/// What a session is created with.
struct SessionConfig {
    platform::SessionOwner* owner = nullptr;  ///< timers, posted messages, boxes; null: no boxes are shown
    std::string hostPort;                     ///< camera address as FormatHostPort makes it
    std::string credential;                   ///< EncodeCredential of the user's name and password
    ModelList modelList{};                    ///< accepted models; entry 0 is named in messages
    int slot = 0;                             ///< 0-255, added to the timer id bases
    platform::EngineTiming timing{};
};

/// Model, version and serial as the system inquiry reports them.
struct SystemFields {
    bool accepted = false;  ///< the model is listed and not empty
    std::string model;
    std::string version;  ///< SoftVersion as sent (no "ver"), "unknown" for an emergency camera
    std::string serial;
};

/// Why a check refused the camera.
enum class CheckFailure {
    None,
    NoAnswer,              ///< the camera did not answer (or not within the limit)
    WrongModel,            ///< the answer names no accepted model
    LoginRefused,          ///< the camera refused the credential
    AdministratorUnknown,  ///< the user answer carries no administrator
    NotAdministrator,      ///< the credential is another user's
};

/// Outcome of the manual pre-upgrade check; its message boxes have been shown through the owner.
struct ManualCheckResult {
    bool passed = false;
    CheckFailure failure = CheckFailure::None;
    SystemFields system;
    std::string docType;       ///< picks the image slot
    std::string systemAnswer;  ///< empty when the camera did not answer
    std::string userAnswer;    ///< empty when not asked (emergency) or not answered
};

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
    std::string PostShortRequest(std::string_view body, std::chrono::milliseconds limit);

    /// Starts the same exchange on the session's own thread and returns at once; a job still
    /// running is cancelled first. The exchange gives up after the inquiry limit.
    void InquireAsync(std::string_view body);
    /// True once the asynchronous exchange has ended (false when none was started).
    bool IsInquiryDone() const;
    /// The asynchronous answer once IsInquiryDone; empty before.
    std::string AsyncAnswer() const;
    /// When the asynchronous exchange was started, for the caller's own limit.
    std::chrono::steady_clock::time_point AsyncStartTime() const;

    /// Abandons every exchange in progress and ends every pause; permanent.
    void Cancel();
    bool IsCancelled() const;
    /// Waits `duration` unless cancelled; false when the session was cancelled.
    bool Pause(std::chrono::milliseconds duration);

    // ---- Inquiry ---------------------------------------------------------------------------

    /// PostShortRequest of `body` ("inq=system", "inq=user", "inq=network").
    std::string Inquire(std::string_view body, std::chrono::milliseconds limit);

    /// True when the answer names an accepted model; records currentVersion, reportedVersion and
    /// emergency from SoftVersion. With `showMessage`, a refused model shows the wrong-model box.
    bool CheckModelAndVersion(std::string_view answer, bool showMessage);
    /// CheckModelAndVersion plus the model, version and serial texts.
    SystemFields ParseSystemAnswer(std::string_view answer, bool showMessage);
    /// True when the credential is the administrator's. Automatic mode (progressValue set) records
    /// Error1/Error3 in status; manual mode shows the matching box.
    bool CheckAdministrator(std::string_view answer);
    /// DocType value, empty when absent.
    static std::string ReadDocType(std::string_view answer);
    /// MacAddress value with ":" replaced by "-", or nothing when absent or empty.
    static std::optional<std::string> ParseMacAddress(std::string_view answer);
    /// Sets hasPanTilt when lastAnswer contains "PanTiltFunc=1"; never clears it.
    void NotePanTilt();

    /// The wizard's check before a manual upgrade: inq=system (wrong-model box on refusal), the
    /// DocType, and unless the camera is in emergency state inq=user with CheckAdministrator.
    ManualCheckResult RunManualCheck();

    // ---- Restore (CameraSessionRestore.cpp) --------------------------------------------------

    /// Makes `size` bytes at `data` the configuration RestoreConfig posts. Not copied: the caller
    /// keeps them alive and unchanged until RestoreConfig has returned.
    void SetUploadData(const std::uint8_t* data, std::size_t size);
    /// Posts the configuration back (restore path, or the preset path when hasPanTilt), authorized
    /// as the factory-default administrator. 0 when the camera took it; -1 when the request could
    /// not be opened, sent or written (also when there is nothing to post); -2 when completing it
    /// failed or the camera refused it. Blocks the calling thread; leaves status Overwriting.
    int RestoreConfig();

    // ---- Fields ------------------------------------------------------------------------------

    platform::SessionOwner* const owner;
    const std::string hostPort;
    const std::string credential;
    const ModelList modelList;
    const int slot;
    const platform::EngineTiming timing;

    std::atomic<std::int32_t> status{static_cast<std::int32_t>(UpgradeStatus::Standby)};
    std::atomic<bool> emergency{false};   ///< an answer reported SoftVersion=emergency
    std::atomic<bool> hasPanTilt{false};  ///< lastAnswer held "PanTiltFunc=1" once
    /// "ver" + SoftVersion of the first inquiry that set it, or "unknown" in emergency state.
    detail::Synchronized<std::string> currentVersion;
    /// "ver" + SoftVersion of a later inquiry.
    detail::Synchronized<std::string> reportedVersion;
    /// The latest inq=system answer kept by the sequence.
    detail::Synchronized<std::string> lastAnswer;
    /// The automatic list's per-camera progress value (0-10000); set by the creating page before
    /// the session is used. Its presence means automatic mode. The list keeps it alive.
    std::atomic<std::int32_t>* progressValue = nullptr;
    /// Ticks of the current one-second timer (TIMER_TICK_BASE + slot); the request steps reset it.
    std::atomic<std::int32_t> tickCount{0};

    /// The streamed POST of the upload or restore in progress; its steps have the receive time-out
    /// as deadline and are cancelled with the session.
    StreamedPost streamedPost;

  private:
    struct AsyncJob;
    bool IsAutomaticMode() const { return progressValue != nullptr; }
    /// A box with caption BIN 203 "Information" through the owner; nothing without an owner.
    void ShowBox(const std::string& text, platform::MbIcon icon) const;
    void JoinAsync();

    detail::Cancellation cancellation_;
    std::mutex asyncMutex_;  // asyncJob_ is replaced by the owner's thread and read by Cancel()
    std::unique_ptr<AsyncJob> asyncJob_;
    std::thread asyncThread_;
    const std::uint8_t* uploadData_ = nullptr;  // SetUploadData; the caller's bytes
    std::size_t uploadSize_ = 0;
};

}  // namespace xqt
