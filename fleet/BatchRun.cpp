#include "fleet/BatchRun.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

#include "camera/Credential.h"
#include "camera/PlaceholderGuard.h"
#include "camera/ShortRequest.h"
#include "fleet/Report.h"
#include "fleet/TextForms.h"
#include "platform/ResourceText.h"
#include "serialrules/SerialProtect.h"

namespace xqt {

namespace {

/// BIN ids of the status words of states 0..16.
constexpr std::uint16_t STATUS_TEXT_IDS[] = {258, 376, 363, 259, 260, 261, 262, 364, 365,
                                             263, 264, 265, 257, 354, 358, 367, 369};

constexpr int SESSION_TIMER_BASES[] = {TIMER_TICK_BASE, TIMER_LOSTLINK_BASE, TIMER_RECONFIG_BASE};

bool IsTransfer(std::int32_t state) {
    return state == StatusCode(UpgradeStatus::SavingConfig) || state == StatusCode(UpgradeStatus::Uploading);
}

constexpr std::int32_t STANDBY = StatusCode(UpgradeStatus::Standby);
constexpr std::int32_t COMPLETED = StatusCode(UpgradeStatus::Completed);

std::string Seconds(std::chrono::milliseconds duration) {
    const auto whole = std::max<long long>(1, (duration.count() + 500) / 1000);
    return std::to_string(whole) + " s";
}

/// What went wrong with a camera whose run ended in `status` for `why`, in words a person can act
/// on; empty for a confirmed completion.
std::string FailureDetail(UpgradeStatus status, UpgradeFailure why, bool confirmed,
                          const platform::EngineTiming& timing) {
    switch (status) {
        case UpgradeStatus::Completed:
            return confirmed ? std::string() : "the camera did not report the new version itself";
        case UpgradeStatus::Error1:
            if (why == UpgradeFailure::UploadNotSent) return "the firmware could not be sent to the camera";
            if (why == UpgradeFailure::NotBack) return "the camera did not come back after its reboot";
            if (why == UpgradeFailure::NotVerified)
                return "the camera came back after its reboot with another version";
            return "no answer within " + Seconds(timing.inquiryLimit);
        case UpgradeStatus::Error2:
            if (why == UpgradeFailure::AnotherCamera) return {};  // EndCamera names the address
            if (why == UpgradeFailure::NotVerified)
                return "the camera did not report the new version after its reboot";
            return "the camera's progress report broke off while it wrote the firmware";
        case UpgradeStatus::Error3:
            return "login refused, or the user is not the camera's administrator";
        case UpgradeStatus::Error6:
            return "the configuration could not be saved, so nothing was written";
        default:
            return StatusWord(StatusCode(status));
    }
}

}  // namespace

std::string StatusWord(std::int32_t state) {
    if (state < 0 || state >= static_cast<std::int32_t>(std::size(STATUS_TEXT_IDS))) return {};
    return platform::TextOf(STATUS_TEXT_IDS[state]);
}

/// The inquiries before one camera's start. Written by its thread until `done`, then read by the
/// owner's thread only.
struct BatchRun::StartJob {
    enum class Verdict { Passed, Refused, Offline, Current, Unsuitable, Suitable, Resumed };
    std::atomic<bool> done{false};
    Verdict verdict = Verdict::Refused;
    std::string docType;
    std::string detail;
    std::string model;  ///< as the camera's system answer named it
    std::string serial;
    std::string mac;      ///< as the camera's network answer gave it; empty when it gave none
    std::jthread thread;  // last: joined first when the job goes
};

BatchRun::BatchRun(platform::SessionOwner* owner, ResourceState& resources, platform::EngineTiming timing,
                   BatchLimits limits, BatchPolicy policy)
    : owner_(owner),
      resources_(resources),
      timing_(timing),
      limits_{std::max(1, limits.maxActive), std::max(1, limits.maxTransfers)},
      policy_(policy) {}

BatchRun::~BatchRun() {
    Clear();
}

// ---- Rows -------------------------------------------------------------------------------------

void BatchRun::Clear() {
    if (owner_) owner_->StopTimer(TIMER_BATCH_SCHEDULER);
    running_ = false;
    abort_ = false;
    stoppedByFailures_ = false;
    failures_ = 0;
    StopStartJobs();
    queue_.clear();
    rows_.clear();
    earlier_.clear();
    writing_.clear();
    if (observer_) observer_->RowsChanged();
}

void BatchRun::ExpectEarlier(int row, std::string mac, std::string serial) {
    earlier_[row] = Identity{std::move(mac), std::move(serial)};
}

int BatchRun::AddCamera(ProgressRecord record, const std::string& user, const std::string& password,
                        const std::string& serial) {
    SessionConfig config;
    config.mode = SessionMode::Automatic;
    config.owner = owner_;
    config.hostPort = record.text[ProgressSlot::ADDRESS];
    config.credential = EncodeCredential(user, password);
    config.modelList = resources_.modelNames;
    // Timer ids leave room for 256 slots; a longer run shares them, and Tick never lets two
    // cameras of one slot run at once.
    config.slot = Size() % MAX_CAMERAS;
    config.timing = timing_;
    config.backupFlag = &options_.retain;
    config.deleteFlag = &options_.noBackup;
    config.timeStamp = &options_.startTime;
    config.serialText = serial;
    auto session = std::make_unique<CameraSession>(std::move(config));
    const ImageInfo image = resources_.GetImageInfo();
    session->SetImage(image.slotData[0], image.slotSize[0], image.versionLabel);
    return AddRow(std::move(record), std::move(session));
}

int BatchRun::AddRow(ProgressRecord record, std::unique_ptr<CameraSession> session) {
    rows_.push_back(std::move(record));
    const int row = Size() - 1;
    if (session) {
        for (const Queued& queued : queue_) {
            if (queued.session->hostPort != session->hostPort) continue;
            // Two sessions for one camera would flash it twice, the second while it overwrites.
            ProgressRecord& twin = rows_.back();
            twin.end = RowEnd::NotStarted;
            twin.detail = "listed twice: the camera at " + session->hostPort + " is already in this run";
            if (observer_) {
                observer_->RowsChanged();
                observer_->CameraEnded(row);
            }
            return row;
        }
        session->progressValue = rows_.back().progress.Word();
        session->statusObserver = [this, row](UpgradeStatus status) {
            if (observer_) observer_->StatusChanged(row, status);
        };
        queue_.push_back(Queued{row, std::move(session)});
    }
    if (observer_) observer_->RowsChanged();
    return row;
}

CameraSession* BatchRun::SessionOfSlot(int slot) const {
    CameraSession* waiting = nullptr;
    for (const Queued& queued : queue_) {
        if (queued.session->slot != slot) continue;
        if (queued.session->status.load() != STANDBY) return queued.session.get();
        if (!waiting) waiting = queued.session.get();
    }
    return waiting;
}

CameraSession* BatchRun::SessionOfRow(int row) const {
    for (const Queued& queued : queue_) {
        if (queued.row == row) return queued.session.get();
    }
    return nullptr;
}

// ---- The run ----------------------------------------------------------------------------------

std::optional<std::string> BatchRun::PlaceholderRefusal() const {
    if (!resources_.CarriesPlaceholder()) return std::nullopt;
    for (const Queued& queued : queue_)
        if (queued.session && !IsLoopbackHost(queued.session->hostPort))
            return std::string(PLACEHOLDER_REFUSAL);
    return std::nullopt;
}

std::string BatchRun::ImageSha256(int slot) const {
    if (slot < 0 || slot >= IMAGE_SLOTS) return {};
    return resources_.slotSha256[static_cast<std::size_t>(slot)];
}

std::string BatchRun::ImageVersion() const {
    return StripVer(resources_.versionLabel);
}

bool BatchRun::Start() {
    if (!owner_ || (!policy_.dryRun && PlaceholderRefusal())) return false;
    running_ = true;
    startedAt_ = std::chrono::system_clock::now();
    owner_->StartTimer(TIMER_BATCH_SCHEDULER, timing_.schedulerPeriod);
    return true;
}

bool BatchRun::OnTimer(int id) {
    if (id == TIMER_BATCH_SCHEDULER) {
        if (running_) Tick();
        return true;
    }
    const int base = id & ~0xFF;
    if (base != TIMER_TICK_BASE && base != TIMER_LOSTLINK_BASE && base != TIMER_RECONFIG_BASE) return false;
    if (CameraSession* session = SessionOfSlot(id & 0xFF)) {
        session->OnSessionTimer(id);
    } else if (owner_) {
        // A timer its session asked for from another thread just before it ended.
        owner_->StopTimer(id);
    }
    return true;
}

void BatchRun::Tick() {
    // A tick that arrives while one is handled (a box shown from an observer) is skipped.
    if (inTick_) return;
    inTick_ = true;
    const auto now = std::chrono::steady_clock::now();
    int loading = 0;  // cameras ahead that are saving their configuration or uploading
    int asking = 0;   // cameras ahead whose start inquiries run or wait to be taken up
    bool startedThisTick = false;
    bool waitingAhead = false;  // a camera ahead has not started: queue order holds the rest back
    bool jobAhead = false;      // a camera ahead is still being asked before its start
    // Slots of the cameras being asked or upgraded: a camera sharing one waits for it to end.
    std::set<int> busySlots;
    for (const Queued& queued : queue_) {
        if (jobs_.count(queued.row) || queued.session->status.load() != STANDBY)
            busySlots.insert(queued.session->slot);
    }
    int position = 0;
    while (position < QueueLength()) {
        if (position >= limits_.maxActive) {
            // Only the first maxActive sessions are driven.
            for (int p = position; p < QueueLength(); ++p)
                ShowStatus(QueuedRow(p), queue_[p].session->status.load());
            break;
        }
        const int row = QueuedRow(position);
        CameraSession& session = *queue_[position].session;
        std::int32_t state = session.status.load();

        if (auto found = jobs_.find(row); found != jobs_.end()) {
            const bool done = found->second->done.load(std::memory_order_acquire);
            const bool passed = done && found->second->verdict == StartJob::Verdict::Passed;
            // A camera that passed waits while one ahead of it is still asked (upgrades start in
            // queue order even when the later camera answered first), and, where its inquiries
            // ran beside the transfers, until a transfer has ended.
            if (!done || (passed &&
                          (jobAhead || (policy_.overlapStartInquiries && loading >= limits_.maxTransfers)))) {
                // The inquiries stand for a start in progress.
                jobAhead = true;
                ++asking;
                ShowStatus(row, state);
                ++position;
                continue;
            }
            const std::shared_ptr<StartJob> job = std::move(found->second);
            jobs_.erase(found);
            job->thread.join();
            // A camera listed by address alone is named by its own answer.
            ProgressRecord& named = rows_.at(row);
            if (named.text[ProgressSlot::MODEL].empty()) named.text[ProgressSlot::MODEL] = job->model;
            // The camera's own answers name it best: discovery may cut a serial short, and a list
            // of addresses knows neither.
            if (!job->serial.empty()) named.serial = job->serial;
            if (!job->mac.empty()) named.mac = job->mac;
            state = session.status.load();
            using Verdict = StartJob::Verdict;
            switch (job->verdict) {
                case Verdict::Passed:
                    if (state == STANDBY && !abort_ && !stoppedByFailures_) {
                        CompleteStart(position, job->docType);
                        startedThisTick = true;
                        ++loading;
                        ShowStatus(row, session.status.load());
                        ++position;
                        continue;
                    }
                    // After an abort a camera that passed is not started any more and is dropped
                    // with the others.
                    break;
                case Verdict::Offline:
                    Requeue(position);  // the ones behind move up to `position`
                    continue;
                case Verdict::Current:
                    EndUnstarted(position, RowEnd::Current, {});
                    continue;
                case Verdict::Resumed:
                    EndUnstarted(position, RowEnd::Skipped, {});
                    continue;
                case Verdict::Suitable:
                    rows_.at(row).imageSlot = resources_.SelectSlot(job->docType);
                    EndUnstarted(position, RowEnd::Suitable, {});
                    continue;
                case Verdict::Unsuitable:
                    EndUnstarted(position, RowEnd::Unsuitable, job->detail);
                    continue;
                case Verdict::Refused:
                    // The check has put the camera into its final state.
                    rows_.at(row).detail = job->detail;
                    break;
            }
        }

        // A camera that ended in this tick may have reached the failure limit: the flags are read
        // afresh for every camera.
        if (!abort_ && !stoppedByFailures_ && state == STANDBY) {
            const int busy = policy_.overlapStartInquiries ? asking : asking + loading;
            if (!startedThisTick && !waitingAhead && busy < limits_.maxTransfers &&
                now >= queue_[position].notBefore && !busySlots.count(session.slot)) {
                busySlots.insert(session.slot);
                BeginStart(position);
                startedThisTick = true;
                ++asking;
            } else {
                waitingAhead = true;
            }
            ShowStatus(row, state);
            ++position;
            continue;
        }
        if (!IsFinal(state)) {
            if (IsTransfer(state)) ++loading;
            if (NoteProgress(row, session, state) && observer_) observer_->CameraProgressed(row);
            ShowStatus(row, state);
            ++position;
            continue;
        }
        EndCamera(position, state);  // the ones behind move up to `position`
    }

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
    job->thread = std::jthread([raw, session, limit, mayRetry, imageVersion, earlier, policy = policy_] {
        using Verdict = StartJob::Verdict;
        auto finish = [raw](Verdict verdict) {
            raw->verdict = verdict;
            raw->done.store(true, std::memory_order_release);
        };
        // The system answer comes first because it tells whether the camera is in recovery state:
        // such a camera need not know its users, and its upload is neither completed nor followed
        // by a progress stream.
        const std::string system = session->Inquire(INQ_SYSTEM, limit);
        if (system.empty() && mayRetry) return finish(Verdict::Offline);
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
        if (earlier) {
            const bool macs = !earlier->mac.empty() && !raw->mac.empty();
            const bool same = macs ? SameMac(earlier->mac, raw->mac)
                                   : !earlier->serial.empty() && earlier->serial == fields.serial;
            if (same) return finish(Verdict::Resumed);
        }
        // A camera that refused the login has said nothing of its model: the login check below
        // reports it as such.
        if (policy.checkSuitability && !system.empty() && system != detail::UNAUTHORIZED_ANSWER) {
            if (!fields.accepted) {
                raw->detail = "model \"" + fields.model + "\" is not accepted";
                return finish(Verdict::Unsuitable);
            }
            if (!emergency && ns_serial_protect::IsSerialAllowed(std::string_view(fields.serial)) == 0) {
                raw->detail = "serial number \"" + fields.serial + "\" is not accepted";
                return finish(Verdict::Unsuitable);
            }
        }
        if (!emergency) {
            // A camera that did not answer is missing (Error1), without a second wait.
            const std::string user = system.empty() ? std::string() : session->Inquire(INQ_USER, limit);
            if (!session->CheckAdministrator(user)) {
                if (!system.empty() && session->status.load() == StatusCode(UpgradeStatus::Error1))
                    raw->detail = "the camera's user list names no administrator";
                return finish(Verdict::Refused);
            }
        }
        raw->docType = CameraSession::ReadDocType(system);
        if (policy.skipCurrent && !emergency && !imageVersion.empty() &&
            StripVer(session->currentVersion.Get()) == imageVersion)
            return finish(Verdict::Current);
        finish(policy.dryRun ? Verdict::Suitable : Verdict::Passed);
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

void BatchRun::EndCamera(int position, std::int32_t state) {
    const int row = QueuedRow(position);
    std::unique_ptr<CameraSession> session = std::move(queue_[position].session);
    queue_.erase(queue_.begin() + position);
    ShowStatus(row, state);
    ProgressRecord& record = rows_.at(row);
    if (state == COMPLETED) {
        record.text[ProgressSlot::VERSION] = StripVer(session->reportedVersion.Get());
        record.confirmed = session->verified.load();
    }
    if (const std::string before = session->currentVersion.Get(); !before.empty())
        record.previousVersion = StripVer(before);
    record.failure = FailureOf(session->failure.load());
    // The saved file as it stands now: gone when it was put back and not to be kept.
    record.savedFile.clear();
    if (const std::string saved = session->savedConfigPath.Get(); !saved.empty()) {
        std::error_code error;
        if (std::filesystem::is_regular_file(saved, error)) record.savedFile = saved;
    }
    record.progress = PROGRESS_MAX;
    record.result = StatusOf(state);
    record.end = RowEnd::Finished;
    const UpgradeFailure why = record.failure;
    if (why == UpgradeFailure::AnotherCamera) {
        record.detail =
            "another camera answers at " + session->hostPort + "; nothing was restored to it" +
            (record.savedFile.empty() ? std::string() : ", the settings are kept in " + record.savedFile);
    } else if (state == COMPLETED && why == UpgradeFailure::NotRestored) {
        record.detail = "upgraded, but the settings could not be put back" +
                        (record.savedFile.empty() ? std::string() : "; they are kept in " + record.savedFile);
    }
    if (record.detail.empty())
        record.detail = FailureDetail(record.result, record.failure, record.confirmed, timing_);
    record.endedAt = std::chrono::system_clock::now();
    if (const auto outcome = OutcomeOf(record); outcome && IsFailure(*outcome)) CountFailure();
    if (owner_) {
        for (int base : SESSION_TIMER_BASES)
            owner_->StopTimer(base + session->slot);
    }
    session.reset();
    if (observer_) observer_->CameraEnded(row);
}

void BatchRun::EndUnstarted(int position, RowEnd end, std::string detail) {
    const int row = QueuedRow(position);
    std::unique_ptr<CameraSession> session = std::move(queue_[position].session);
    queue_.erase(queue_.begin() + position);
    ProgressRecord& record = rows_.at(row);
    if (const std::string before = session->currentVersion.Get(); !before.empty())
        record.previousVersion = StripVer(before);
    record.end = end;
    record.detail = std::move(detail);
    record.endedAt = std::chrono::system_clock::now();
    session.reset();
    if (end == RowEnd::Unsuitable) CountFailure();
    if (observer_) observer_->CameraEnded(row);
}

bool BatchRun::NoteProgress(int row, const CameraSession& session, std::int32_t state) {
    ProgressRecord& record = rows_.at(row);
    bool more = false;
    if (record.savedFile.empty()) {
        record.savedFile = session.savedConfigPath.Get();
        more = !record.savedFile.empty();
    }
    if (static_cast<std::size_t>(row) >= writing_.size()) writing_.resize(row + 1, false);
    if (state >= StatusCode(UpgradeStatus::Uploading) && !writing_[row]) {
        writing_[row] = true;
        more = true;
    }
    return more;
}

void BatchRun::Requeue(int position) {
    Queued queued = std::move(queue_[position]);
    queue_.erase(queue_.begin() + position);
    queued.notBefore = std::chrono::steady_clock::now() + policy_.retryDelay;
    queue_.push_back(std::move(queued));
}

void BatchRun::CountFailure() {
    ++failures_;
    if (policy_.maxFailures > 0 && failures_ >= policy_.maxFailures) stoppedByFailures_ = true;
}

void BatchRun::ShowStatus(int row, std::int32_t state) {
    rows_.at(row).text[ProgressSlot::STATUS] = StatusWord(state);
}

void BatchRun::DropQueued() {
    std::vector<int> dropped;
    for (const Queued& queued : queue_) {
        ProgressRecord& record = rows_.at(queued.row);
        record.result = UpgradeStatus::Standby;
        record.end = RowEnd::NotStarted;
        dropped.push_back(queued.row);
    }
    queue_.clear();
    if (observer_) {
        for (int row : dropped)
            observer_->CameraEnded(row);
    }
}

void BatchRun::Finish() {
    if (owner_) owner_->StopTimer(TIMER_BATCH_SCHEDULER);
    const bool wasRunning = running_;
    running_ = false;
    abort_ = false;
    if (wasRunning && observer_) observer_->RunEnded();
}

void BatchRun::StopStartJobs() {
    for (auto& [row, job] : jobs_) {
        if (CameraSession* session = SessionOfRow(row)) session->Cancel();
    }
    jobs_.clear();  // each job's thread is joined as it goes
}

}  // namespace xqt
