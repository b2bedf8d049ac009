#include "fleet/BatchRun.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "camera/Credential.h"
#include "camera/PlaceholderGuard.h"
#include "fleet/Report.h"
#include "fleet/TextForms.h"
#include "platform/ResourceText.h"

namespace xqt {

namespace {

/// BIN ids of the status words of states 0..16.
constexpr std::uint16_t STATUS_TEXT_IDS[] = {258, 376, 363, 259, 260, 261, 262, 364, 365,
                                             263, 264, 265, 257, 354, 358, 367, 369};

constexpr int SESSION_TIMER_BASES[] = {TIMER_TICK_BASE, TIMER_LOSTLINK_BASE, TIMER_RECONFIG_BASE};

constexpr std::int32_t COMPLETED = StatusCode(UpgradeStatus::Completed);

/// Whether a camera that ended in `state` had received its image: it completed, or it failed
/// after the upload (the overwrite, the reboot, the check or the restore). Failures before it
/// (a refused login, an unsaved configuration, a request that could not be sent, the placeholder
/// refused) leave the camera without it.
bool ImageWentThrough(std::int32_t state, UpgradeFailure failure) {
    switch (failure) {
        case UpgradeFailure::StreamBroken:
        case UpgradeFailure::OverwriteTimedOut:
        case UpgradeFailure::NotVerified:
        case UpgradeFailure::NotBack:
        case UpgradeFailure::NotRestored:
        case UpgradeFailure::AnotherCamera:
            return true;
        case UpgradeFailure::None:
            return state == COMPLETED;
        default:
            return false;
    }
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
            return FaultText(CameraFault::NoAnswer, FaultSubject{{}, {}, {}, timing.inquiryLimit});
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
    claimed_.clear();
    locks_.clear();
    writing_.clear();
    if (observer_) observer_->RowsChanged();
}

void BatchRun::ExpectEarlier(int row, std::string mac, std::string serial, std::string keptFile) {
    earlier_[row] = Identity{std::move(mac), std::move(serial), std::move(keptFile)};
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
        if (queued.session->status.load() != StatusCode(UpgradeStatus::Standby)) return queued.session.get();
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
    record.imageSent = ImageWentThrough(state, record.failure);
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
    locks_.erase(row);
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
    locks_.erase(row);
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
        locks_.erase(queued.row);
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
