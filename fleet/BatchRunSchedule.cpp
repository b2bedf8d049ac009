// BatchRun's scheduler: the tick that walks the queue in order, asks each camera before its start
// on a thread of its own, starts the cameras that passed, and follows the running ones.
#include <algorithm>
#include <optional>
#include <set>
#include <thread>

#include "camera/ShortRequest.h"
#include "fleet/BatchRun.h"
#include "fleet/Report.h"
#include "fleet/TextForms.h"
#include "serialrules/SerialProtect.h"

namespace xqt {

namespace {

constexpr std::int32_t STANDBY = StatusCode(UpgradeStatus::Standby);

bool IsTransfer(std::int32_t state) {
    return state == StatusCode(UpgradeStatus::SavingConfig) || state == StatusCode(UpgradeStatus::Uploading);
}

}  // namespace

/// The inquiries before one camera's start. Written by its thread until `done`, then read by the
/// owner's thread only.
struct BatchRun::StartJob {
    enum class Verdict {
        Passed,
        Refused,
        Offline,
        Current,
        Unsuitable,
        Suitable,
        Resumed,      ///< an earlier run finished it, and it still runs the image's version
        Restored,     ///< an earlier run's kept settings were put back now
        NotRestored,  ///< they could not be put back this time either
        Locked        ///< another run holds the camera (`detail` says which)
    };
    std::atomic<bool> done{false};
    Verdict verdict = Verdict::Refused;
    std::string docType;
    std::string detail;
    std::string model;  ///< as the camera's system answer named it
    std::string serial;
    std::string mac;       ///< as the camera's network answer gave it; empty when it gave none
    std::string keptFile;  ///< Restored, NotRestored: the earlier run's saved settings
    /// The address:port's lock and, once the answers named the camera, its identity's lock; the
    /// row keeps them until its camera ends.
    std::vector<platform::CameraLock> locks;
    std::jthread thread;  // last: joined first when the job goes
};

/// What one tick has seen of the queue so far, in queue order.
struct BatchRun::TickState {
    std::chrono::steady_clock::time_point now;
    int loading = 0;  // cameras ahead that are saving their configuration or uploading
    int asking = 0;   // cameras ahead whose start inquiries run or wait to be taken up
    bool startedThisTick = false;
    bool waitingAhead = false;  // a camera ahead has not started: queue order holds the rest back
    bool jobAhead = false;      // a camera ahead is still being asked before its start
    // Slots of the cameras being asked or upgraded: a camera sharing one waits for it to end.
    std::set<int> busySlots;
};

void BatchRun::Tick() {
    // A tick that arrives while one is handled (a box shown from an observer) is skipped.
    if (inTick_) return;
    inTick_ = true;
    TickState tick;
    tick.now = std::chrono::steady_clock::now();
    for (const Queued& queued : queue_) {
        if (jobs_.count(queued.row) || queued.session->status.load() != STANDBY)
            tick.busySlots.insert(queued.session->slot);
    }
    for (int position = 0; position < QueueLength();) {
        if (position >= limits_.maxActive) {
            // Only the first maxActive sessions are driven.
            for (int p = position; p < QueueLength(); ++p)
                ShowStatus(QueuedRow(p), queue_[p].session->status.load());
            break;
        }
        if (VisitQueued(position, tick) == Advance::Next) ++position;
    }
    EndTick();
}

BatchRun::Advance BatchRun::VisitQueued(int position, TickState& tick) {
    const int row = QueuedRow(position);
    CameraSession& session = *queue_[position].session;
    if (auto found = jobs_.find(row); found != jobs_.end()) {
        const StartJob& job = *found->second;
        const bool done = job.done.load(std::memory_order_acquire);
        const bool passed = done && job.verdict == StartJob::Verdict::Passed;
        // A camera that passed waits while one ahead of it is still asked (upgrades start in
        // queue order even when the later camera answered first), and, where its inquiries
        // ran beside the transfers, until a transfer has ended.
        if (!done || (passed && (tick.jobAhead ||
                                 (policy_.overlapStartInquiries && tick.loading >= limits_.maxTransfers)))) {
            // The inquiries stand for a start in progress.
            tick.jobAhead = true;
            ++tick.asking;
            ShowStatus(row, session.status.load());
            return Advance::Next;
        }
        if (const auto advance = TakeVerdict(position, tick)) return *advance;
    }
    // A camera that ended in this tick may have reached the failure limit: the flags are read
    // afresh for every camera.
    const std::int32_t state = session.status.load();
    if (!abort_ && !stoppedByFailures_ && state == STANDBY) {
        MayBeginStart(position, tick);
        ShowStatus(row, state);
        return Advance::Next;
    }
    if (!IsFinal(state)) {
        if (IsTransfer(state)) ++tick.loading;
        if (NoteProgress(row, session, state) && observer_) observer_->CameraProgressed(row);
        ShowStatus(row, state);
        return Advance::Next;
    }
    EndCamera(position, state);  // the ones behind move up to `position`
    return Advance::Stay;
}

std::optional<BatchRun::Advance> BatchRun::TakeVerdict(int position, TickState& tick) {
    const int row = QueuedRow(position);
    CameraSession& session = *queue_[position].session;
    const auto found = jobs_.find(row);
    const std::shared_ptr<StartJob> job = std::move(found->second);
    jobs_.erase(found);
    job->thread.join();
    // A camera listed by address alone is named by its own answer.
    ProgressRecord& record = rows_.at(row);
    if (record.text[ProgressSlot::MODEL].empty()) record.text[ProgressSlot::MODEL] = job->model;
    // The camera's own answers name it best: discovery may cut a serial short, and a list
    // of addresses knows neither.
    if (!job->serial.empty()) record.serial = job->serial;
    if (!job->mac.empty()) record.mac = job->mac;
    using JobVerdict = StartJob::Verdict;
    if (job->verdict != JobVerdict::Offline) {
        for (platform::CameraLock& lock : job->locks)
            locks_[row].push_back(std::move(lock));
        // The first row that named a camera keeps it; any other row of it is left alone, whatever
        // its own answers said. A row another run holds keeps nothing.
        const Identity named{job->mac, job->serial, {}};
        if (auto refusal = ClaimIdentity(row, named, job->verdict != JobVerdict::Locked)) {
            EndUnstarted(position, RowEnd::Skipped, std::move(*refusal));
            return Advance::Stay;
        }
        // The camera itself, at whichever address it answers, is held against other runs before
        // anything is written to it. Taken here, in row order, so that of two rows of one camera
        // the first listed is the one upgraded.
        if (job->verdict == JobVerdict::Passed && !policy_.dryRun &&
            (!named.mac.empty() || !named.serial.empty())) {
            platform::CameraLock held =
                platform::CameraLock::Take(platform::IdentityLockKey(named.mac, named.serial));
            if (!held.Held()) {
                EndUnstarted(position, RowEnd::Skipped, held.RefusalText());
                return Advance::Stay;
            }
            locks_[row].push_back(std::move(held));
        }
    }
    switch (job->verdict) {
        case JobVerdict::Passed:
            if (session.status.load() == STANDBY && !abort_ && !stoppedByFailures_) {
                CompleteStart(position, job->docType);
                tick.startedThisTick = true;
                ++tick.loading;
                ShowStatus(row, session.status.load());
                return Advance::Next;
            }
            // After an abort a camera that passed is not started any more and is dropped
            // with the others.
            return std::nullopt;
        case JobVerdict::Offline:
            Requeue(position);  // the ones behind move up to `position`
            return Advance::Stay;
        case JobVerdict::Current:
            EndUnstarted(position, RowEnd::Current, {});
            return Advance::Stay;
        case JobVerdict::Resumed:
            EndUnstarted(position, RowEnd::Skipped, {});
            return Advance::Stay;
        case JobVerdict::Restored:
        case JobVerdict::NotRestored:
            EndResumedRestore(position, job->verdict == JobVerdict::Restored, job->keptFile);
            return Advance::Stay;
        case JobVerdict::Locked:
            EndUnstarted(position, RowEnd::Skipped, job->detail);
            return Advance::Stay;
        case JobVerdict::Suitable:
            rows_.at(row).imageSlot = resources_.SelectSlot(job->docType);
            EndUnstarted(position, RowEnd::Suitable, {});
            return Advance::Stay;
        case JobVerdict::Unsuitable:
            EndUnstarted(position, RowEnd::Unsuitable, job->detail);
            return Advance::Stay;
        case JobVerdict::Refused:
            // The check has put the camera into its final state.
            rows_.at(row).detail = job->detail;
            return std::nullopt;
    }
    return std::nullopt;
}

void BatchRun::MayBeginStart(int position, TickState& tick) {
    const int busy = policy_.overlapStartInquiries ? tick.asking : tick.asking + tick.loading;
    const int slot = queue_[position].session->slot;
    if (!tick.startedThisTick && !tick.waitingAhead && busy < limits_.maxTransfers &&
        tick.now >= queue_[position].notBefore && !tick.busySlots.count(slot)) {
        tick.busySlots.insert(slot);
        BeginStart(position);
        tick.startedThisTick = true;
        ++tick.asking;
    } else {
        tick.waitingAhead = true;
    }
}

void BatchRun::EndTick() {
    if ((abort_ || stoppedByFailures_) && jobs_.empty()) {
        const bool allWaiting = std::all_of(queue_.begin(), queue_.end(), [](const Queued& queued) {
            return queued.session->status.load() == STANDBY;
        });
        if (allWaiting) DropQueued();
    }
    if (observer_) observer_->RowsChanged();
    inTick_ = false;
    if (queue_.empty()) Finish();
}

void BatchRun::BeginStart(int position) {
    CameraSession* session = queue_[position].session.get();
    auto job = std::make_shared<StartJob>();
    const int row = QueuedRow(position);
    jobs_[row] = job;
    ProgressRecord& record = rows_.at(row);
    if (record.attempts++ == 0) record.startedAt = std::chrono::system_clock::now();
    const bool mayRetry = record.attempts <= policy_.retryOffline;
    const auto limit = timing_.inquiryLimit;
    const std::string imageVersion = StripVer(resources_.GetImageInfo().versionLabel);
    std::optional<Identity> earlier;
    if (auto found = earlier_.find(row); found != earlier_.end()) earlier = found->second;
    // The session stays queued while the job runs: only a finished job lets the tick end it, and
    // StopStartJobs waits for the job before a session is deleted. The job holds only itself.
    StartJob* raw = job.get();
    const platform::EngineTiming timing = timing_;
    job->thread = std::jthread([raw, session, limit, mayRetry, imageVersion, earlier, timing,
                                policy = policy_] {
        using JobVerdict = StartJob::Verdict;
        auto finish = [raw](JobVerdict verdict) {
            raw->verdict = verdict;
            raw->done.store(true, std::memory_order_release);
        };
        // Another run may be writing to the camera at this address: it is left alone before a
        // word is said to it. A dry run writes nothing and needs no lock.
        auto lock = [&](const std::string& key) {
            if (policy.dryRun) return true;
            platform::CameraLock taken = platform::CameraLock::Take(key);
            if (!taken.Held()) {
                raw->detail = taken.RefusalText();
                return false;
            }
            raw->locks.push_back(std::move(taken));
            return true;
        };
        if (!lock(platform::AddressLockKey(session->hostPort))) return finish(JobVerdict::Locked);
        // The system answer comes first because it tells whether the camera is in emergency state:
        // such a camera need not know its users, and its upload is neither completed nor followed
        // by a progress stream.
        const InquiryAnswer asked = session->Ask(INQ_SYSTEM, limit);
        const std::string& system = asked.text;
        if (system.empty() && mayRetry) return finish(JobVerdict::Offline);
        const SystemFields fields = session->ParseSystemAnswer(system, false);
        raw->model = fields.model;
        raw->serial = fields.serial;
        const bool emergency = session->emergency.load();
        // The MAC names the camera in the report and, after the reboot, tells it from another
        // camera that may have taken its address meanwhile.
        if (!system.empty() && system != detail::UNAUTHORIZED_ANSWER) {
            if (auto mac = CameraSession::ParseMacAddress(session->Inquire(INQ_NETWORK, limit))) {
                raw->mac = *mac;
                session->inquiredMac.Set(*mac);
            }
        }
        // An earlier run's row counts only for the very camera, and only as it is now: one back
        // on another version is run again.
        if (earlier && SameCamera(*earlier, Identity{raw->mac, fields.serial, {}}) && !imageVersion.empty() &&
            !session->emergency.load() && StripVer(session->currentVersion.Get()) == imageVersion) {
            if (earlier->keptFile.empty()) return finish(JobVerdict::Resumed);
            raw->keptFile = earlier->keptFile;
            if (policy.dryRun) return finish(JobVerdict::Suitable);
            // The camera itself is held before its settings are written to it.
            if (!lock(platform::IdentityLockKey(raw->mac, raw->serial))) return finish(JobVerdict::Locked);
            return finish(RestoreKept(*session, earlier->keptFile, timing) ? JobVerdict::Restored
                                                                           : JobVerdict::NotRestored);
        }
        // A camera that refused the login has said nothing of its model: the login check below
        // reports it as such.
        if (policy.checkSuitability && !system.empty() && system != detail::UNAUTHORIZED_ANSWER) {
            if (!fields.accepted) {
                raw->detail = session->DescribeFault(CameraFault::ModelNotAccepted, fields.model);
                return finish(JobVerdict::Unsuitable);
            }
            if (!emergency &&
                ns_serial_protect::JudgeSerial(fields.serial) == ns_serial_protect::SerialVerdict::Refused) {
                raw->detail =
                    session->DescribeFault(CameraFault::SerialNotAccepted, fields.model, fields.serial);
                return finish(JobVerdict::Unsuitable);
            }
        }
        if (!emergency) {
            // A camera that did not answer is missing (Error1), without a second wait.
            const InquiryAnswer user =
                system.empty()
                    ? InquiryAnswer{{},
                                    asked.fault == CameraFault::None ? CameraFault::NoAnswer : asked.fault}
                    : session->Ask(INQ_USER, limit);
            if (!session->CheckAdministrator(user.text)) {
                CameraFault fault = user.fault;
                if (fault == CameraFault::None) {
                    fault = session->status.load() == StatusCode(UpgradeStatus::Error1)
                                ? CameraFault::AdministratorUnknown
                                : CameraFault::NotAdministrator;
                }
                raw->detail = session->DescribeFault(fault, fields.model);
                return finish(JobVerdict::Refused);
            }
        }
        raw->docType = CameraSession::ReadDocType(system);
        if (policy.skipCurrent && !emergency && !imageVersion.empty() &&
            StripVer(session->currentVersion.Get()) == imageVersion)
            return finish(JobVerdict::Current);
        finish(policy.dryRun ? JobVerdict::Suitable : JobVerdict::Passed);
    });
}

void BatchRun::CompleteStart(int position, const std::string& docType) {
    const int row = QueuedRow(position);
    CameraSession& session = *queue_[position].session;
    const int slot = resources_.SelectSlot(docType);
    ProgressRecord& record = rows_.at(row);
    record.imageSlot = slot;
    const ImageInfo image = resources_.GetImageInfo();
    session.SetImage(image.slotData[slot], image.slotSize[slot], image.versionLabel);
    session.StartUpgrade();
}

}  // namespace xqt
