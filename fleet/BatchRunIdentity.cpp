// BatchRun by the camera's identity: one row per camera in a run, and the settings an earlier
// run kept for a camera, put back when a resumed run meets the same camera at the image's version.
#include <filesystem>
#include <fstream>

#include "camera/ConfigStore.h"
#include "camera/ManualRestore.h"
#include "fleet/BatchRun.h"
#include "fleet/Report.h"
#include "fleet/TextForms.h"

namespace xqt {

/// Posts the settings an earlier run saved from this camera and could not put back, in the
/// restore's attempts; true when the camera took them. A file that cannot be read whole is never
/// posted: the camera would be half set up.
bool BatchRun::RestoreKept(CameraSession& session, const std::string& path,
                           const platform::EngineTiming& timing) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size == 0 || size > CONFIG_SIZE_LIMIT) return false;
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (static_cast<std::uintmax_t>(in.gcount()) != size) return false;
    return PostSavedConfiguration(session, bytes, timing);
}

bool BatchRun::SameCamera(const Identity& a, const Identity& b) {
    if (!a.mac.empty() && !b.mac.empty()) return SameMac(a.mac, b.mac);
    return !a.serial.empty() && a.serial == b.serial;
}

std::optional<std::string> BatchRun::ClaimIdentity(int row, const Identity& identity, bool take) {
    if (identity.mac.empty() && identity.serial.empty()) return std::nullopt;
    for (const auto& [known, other] : claimed_) {
        if (other != row && SameCamera(known, identity))
            return "the same camera as " + rows_.at(other).text[ProgressSlot::ADDRESS];
    }
    if (take) claimed_.emplace_back(identity, row);
    return std::nullopt;
}

void BatchRun::EndResumedRestore(int position, bool restored, const std::string& keptFile) {
    const int row = QueuedRow(position);
    CameraSession& session = *queue_[position].session;
    ProgressRecord& record = rows_.at(row);
    const std::string version = StripVer(session.currentVersion.Get());
    record.previousVersion = version;
    record.text[ProgressSlot::VERSION] = version;
    record.confirmed = true;
    record.savedFile = keptFile;
    record.failure = restored ? UpgradeFailure::None : UpgradeFailure::NotRestored;
    record.result = UpgradeStatus::Completed;
    record.progress = PROGRESS_MAX;
    record.detail =
        restored ? "resumed: it runs " + version + "; the settings kept in " + keptFile + " were put back"
                 : "resumed: it runs " + version + ", but the settings kept in " + keptFile +
                       " could not be put back";
    record.endedAt = std::chrono::system_clock::now();
    std::unique_ptr<CameraSession> ended = std::move(queue_[position].session);
    queue_.erase(queue_.begin() + position);
    ShowStatus(row, StatusCode(UpgradeStatus::Completed));
    record.end = RowEnd::Finished;
    if (!restored) CountFailure();
    ended.reset();
    locks_.erase(row);
    if (observer_) observer_->CameraEnded(row);
}

}  // namespace xqt
