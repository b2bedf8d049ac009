#pragma once
// The automatic run: one row per camera (ProgressRecord), one CameraSession per row until its
// camera has ended, the run options, the abort flag and the start rule. Qt-free: the wizard's
// progress page draws its rows, and anything with a SessionOwner (the command line, the tests)
// can drive it.
//
// The start rule, applied on every tick of the scheduler timer (TIMER_BATCH_SCHEDULER):
// - cameras start in row order, and only the first `maxActive` queued cameras are driven;
// - at most one camera starts per tick;
// - a camera starts only while fewer than `maxTransfers` cameras ahead of it are saving their
//   configuration, uploading, or having their start inquiries asked; with the wizard's 1, nothing
//   starts behind such a camera (BatchPolicy::overlapStartInquiries lets the inquiries run beside
//   the transfers, never the upgrades);
// - a start asks the system inquiry and, unless the camera is in emergency state, the user inquiry
//   (administrator check) on a worker thread of its own, and the network inquiry for its MAC; a
//   refusal ends the camera (Error1 or Error3); a pass picks the image slot by the camera's DocType
//   and starts the upgrade;
// - a camera is never driven by two sessions: a row whose address:port another queued row has
//   already ends at once, not started; a row whose start inquiries name a camera (its MAC, else its
//   full serial) that another row of the run has named ends Skipped ("the same camera as ...");
// - a camera is never driven by two runs: a start first takes the advisory lock of the camera's
//   address:port, then of its identity (platform/CameraLock.h), and holds them until the camera
//   ends; a camera another process holds ends Skipped ("being upgraded by process N"). A dry run
//   writes nothing and takes no lock;
// - a camera in a final state ends: its result, its version as the camera reported it (without
//   "ver") and whether the camera confirmed it, a full bar, its end time; its session is deleted;
// - Abort lets the running cameras end, then drops the waiting ones (result 0, "not started").
//
// Threads: every operation is called on the owner's thread (the thread that receives the owner's
// timer ticks), except that sessions write the progress word of their own row, and the observer's
// StatusChanged is called on whichever thread changed a session's status. Rows are never moved
// while sessions hold them: AddRow only appends, and Clear deletes every session before any row.
//
// Lifetime: the owner and the resource state outlive the run; the destructor stops the scheduler,
// cuts the start inquiries short, waits for them, and deletes every session.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/CameraSession.h"
#include "camera/ResourceState.h"
#include "camera/UpgradeStatus.h"
#include "fleet/CameraRecord.h"
#include "platform/CameraLock.h"
#include "platform/EngineTiming.h"
#include "platform/SessionOwner.h"

namespace xqt {

/// The owner's timer that ticks the run's scheduler.
inline constexpr int TIMER_BATCH_SCHEDULER = 0x8018;

/// Values of one automatic run that every session reads through a reference (the run keeps them at
/// a fixed place for its whole life). Set before the run starts.
struct RunOptions {
    std::atomic<std::int32_t> retain{1};     ///< save the configuration and put it back afterwards
    std::atomic<std::int32_t> noBackup{1};   ///< delete the saved file once it has been put back
    std::atomic<std::int64_t> startTime{0};  ///< seconds since the epoch: time stamp of the saved files
};

/// How many cameras a run drives.
struct BatchLimits {
    int maxActive = 2;     ///< queued cameras looked at (driven) per tick
    int maxTransfers = 1;  ///< cameras saving, uploading or being asked before their start, at once
};

/// What a run does beyond the wizard's rule (the command line's batch options). The defaults are
/// the wizard's run.
struct BatchPolicy {
    /// The model and serial-number rules apply at the start (for targets nobody checked when they
    /// were listed); a camera that fails them ends "unsuitable".
    bool checkSuitability = false;
    bool skipCurrent = false;  ///< a camera that already reports the image's version is not flashed
    bool dryRun = false;       ///< only the start inquiries: nothing is written to any camera
    int maxFailures = 0;       ///< > 0: once this many cameras have failed, no further camera starts
    /// Times a camera that did not answer its start inquiries goes back to the end of the queue.
    int retryOffline = 0;
    std::chrono::milliseconds retryDelay{60000};  ///< at least this long before it is asked again
    /// The next camera's start inquiries may run while `maxTransfers` cameras save or upload; its
    /// upgrade still starts only once one of those has finished loading. The wizard waits instead.
    bool overlapStartInquiries = false;
};

/// What the run tells whoever shows or records it.
class BatchObserver {
  public:
    virtual ~BatchObserver() = default;
    /// Status words, results or versions of rows changed (owner's thread, once per tick at most).
    virtual void RowsChanged() {}
    /// Row `row`'s camera changed to `status`, in order, on the thread that changed it. Quick, and
    /// never calls back into the run.
    virtual void StatusChanged(int row, UpgradeStatus status) {}
    /// Row `row`'s camera has begun writing (its image or, before, its saved configuration is
    /// known): a record kept on disk should say so now (owner's thread).
    virtual void CameraProgressed(int row) {}
    /// Row `row`'s camera has ended (its result is set; 0 when it was never started).
    virtual void CameraEnded(int row) {}
    /// Every camera has ended; the scheduler has stopped.
    virtual void RunEnded() {}
};

class BatchRun {
  public:
    /// `owner` runs the scheduler and the sessions' timers (null: rows only, nothing can start);
    /// `resources` gives the accepted models and the image slots.
    BatchRun(platform::SessionOwner* owner, ResourceState& resources, platform::EngineTiming timing = {},
             BatchLimits limits = {}, BatchPolicy policy = {});
    ~BatchRun();
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    void SetObserver(BatchObserver* observer) { observer_ = observer; }

    // ---- Rows ----------------------------------------------------------------------------------

    /// Deletes every session (cutting start inquiries short), then every row; stops the scheduler
    /// and clears the abort flag.
    void Clear();
    /// Appends a camera to upgrade: its row, and a session that logs in with `user`/`password`
    /// and names the saved configuration after `serial`. Returns the row.
    int AddCamera(ProgressRecord record, const std::string& user, const std::string& password,
                  const std::string& serial);
    /// Appends `record` as the last row. A `session` joins the queue (row order) with its progress
    /// output pointed at the row's progress word; the run owns it from now on. Returns the row.
    int AddRow(ProgressRecord record, std::unique_ptr<CameraSession> session);
    int Size() const { return static_cast<int>(rows_.size()); }
    const ProgressRecord& Row(int index) const { return rows_.at(index); }

    // ---- Queue (row order) ---------------------------------------------------------------------

    int QueueLength() const { return static_cast<int>(queue_.size()); }
    int QueuedRow(int position) const { return queue_.at(position).row; }
    /// The session of `row` while it is queued, else null (its camera has ended).
    CameraSession* SessionOfRow(int row) const;
    /// The queued session whose timers carry `slot`: the one running, else the first waiting.
    CameraSession* SessionOfSlot(int slot) const;

    // ---- The run -------------------------------------------------------------------------------

    RunOptions& Options() { return options_; }
    const BatchLimits& Limits() const { return limits_; }
    /// Starts the scheduler timer; false without an owner, and false (nothing started) when a run
    /// that writes would send the placeholder to a camera outside loopback (PlaceholderRefusal).
    [[nodiscard]] bool Start();
    [[nodiscard]] bool Running() const { return running_; }
    /// When Start was called; zero before.
    std::chrono::system_clock::time_point StartedAt() const { return startedAt_; }
    /// The version of the run's image without "ver" ("1.23").
    [[nodiscard]] std::string ImageVersion() const;
    /// The refusal to show instead of starting when the image is the build's placeholder and a
    /// queued camera is not on loopback; nothing when the run may start.
    [[nodiscard]] std::optional<std::string> PlaceholderRefusal() const;
    /// SHA-256 of the image in `slot` (what a camera given that slot receives); empty when none.
    std::string ImageSha256(int slot) const;
    /// Cameras not yet started are dropped once the running ones have ended.
    void Abort() { abort_ = true; }
    [[nodiscard]] bool AbortRequested() const { return abort_; }
    /// True once the failure limit stopped further starts.
    [[nodiscard]] bool StoppedByFailures() const { return stoppedByFailures_; }
    /// Cameras that have ended failed (every outcome IsFailure counts).
    int Failures() const { return failures_; }

    /// Row `row`'s camera was named by an earlier run as the camera with this MAC and serial. When
    /// its start inquiries show that identity (the MAC when both are known, else the serial) and it
    /// runs the image's version now, nothing is written to it: without `keptFile` it ends Skipped;
    /// with the settings that run saved and could not put back (`keptFile`), they are restored
    /// now and it ends upgraded, or again settings-not-restored. Any other camera, or this one on
    /// another version, is run as usual. Before Start.
    void ExpectEarlier(int row, std::string mac, std::string serial, std::string keptFile = {});

    /// A tick of the owner's timer `id`: the scheduler's, or a session's (routed to the session of
    /// the row it names). False for ids that are neither.
    bool OnTimer(int id);
    /// One scheduler tick (the timer calls it; tests may too).
    void Tick();

  private:
    struct Queued {
        int row = 0;
        std::unique_ptr<CameraSession> session;
        std::chrono::steady_clock::time_point notBefore{};  ///< a retry waits until then
    };
    struct StartJob;
    struct TickState;
    /// Whether a tick goes on with the next queued camera, or with the one that moved up into the
    /// position just handled (the camera there ended or went back to the end of the queue).
    enum class Advance { Next, Stay };

    /// The tick's step for the camera at `position`: takes its start inquiries' verdict, starts
    /// it, follows it, or ends it.
    Advance VisitQueued(int position, TickState& tick);
    /// Takes the verdict of the finished start inquiries at `position`; nothing when the camera is
    /// then handled by its status (it was refused, or passed after the run stopped starting).
    std::optional<Advance> TakeVerdict(int position, TickState& tick);
    /// Starts the waiting camera at `position` when the queue order, the transfer limit, its retry
    /// time and its image slot allow; otherwise the cameras behind it wait too.
    void MayBeginStart(int position, TickState& tick);
    /// Drops what a stopped run will never start, tells the observer, finishes an empty queue.
    void EndTick();
    void BeginStart(int position);
    void CompleteStart(int position, const std::string& docType);
    void EndCamera(int position, std::int32_t state);
    /// Ends the camera at `position` whose earlier run's kept settings were put back now, or
    /// could not be.
    void EndResumedRestore(int position, bool restored, const std::string& keptFile);
    /// Ends the camera at `position` before anything was written to it.
    void EndUnstarted(int position, RowEnd end, std::string detail);
    /// Copies what the session has learnt so far into its row (the saved file's path); true when
    /// the row now says more than before: its file is known, or its image is being written.
    bool NoteProgress(int row, const CameraSession& session, std::int32_t state);
    /// Puts the camera at `position` back at the end of the queue for another try.
    void Requeue(int position);
    /// One more camera failed; at the limit no further camera starts.
    void CountFailure();
    void ShowStatus(int row, std::int32_t state);
    void DropQueued();
    void StopStartJobs();
    void Finish();

    platform::SessionOwner* owner_;
    ResourceState& resources_;
    const platform::EngineTiming timing_;
    const BatchLimits limits_;
    const BatchPolicy policy_;
    BatchObserver* observer_ = nullptr;

    std::deque<ProgressRecord> rows_;  // a deque: appending never moves a row a worker writes to
    std::vector<Queued> queue_;
    std::map<int, std::shared_ptr<StartJob>> jobs_;  // by row: start inquiries in flight or not yet taken
    struct Identity {
        std::string mac;
        std::string serial;
        std::string keptFile;
    };
    /// Whether two identities name one camera: the MACs when both are known, else the serials.
    static bool SameCamera(const Identity& a, const Identity& b);
    /// Posts the settings kept in `path` to the camera of `session` (a start job's thread); true
    /// when the camera took them.
    static bool RestoreKept(CameraSession& session, const std::string& path,
                            const platform::EngineTiming& timing);
    /// The detail of a refusal when another row of the run has named the camera of `identity`;
    /// otherwise, with `take`, the camera is this row's from now on.
    std::optional<std::string> ClaimIdentity(int row, const Identity& identity, bool take);
    std::map<int, Identity> earlier_;                // by row: ExpectEarlier
    std::vector<std::pair<Identity, int>> claimed_;  // identities met by the start inquiries, and their rows
    std::map<int, std::vector<platform::CameraLock>> locks_;  // by row, until its camera ends
    std::vector<bool> writing_;                               // by row: seen uploading
    RunOptions options_;
    bool abort_ = false;
    bool running_ = false;
    bool inTick_ = false;
    bool stoppedByFailures_ = false;
    std::chrono::system_clock::time_point startedAt_{};
    int failures_ = 0;
};

/// The status word shown for state 0..16 ("Standby", "Uploading", ... "Error7"); empty otherwise.
[[nodiscard]] std::string StatusWord(std::int32_t state);

}  // namespace xqt
