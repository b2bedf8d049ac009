#include "fleet/UpgradeHistory.h"
#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "camera/ConfigStore.h"
#include "fleet/CameraRecord.h"
#include "fleet/Report.h"
#include "platform/BoundedText.h"

namespace xqt {

namespace {

using json = nlohmann::ordered_json;

/// Holds an exclusive lock on the history's lock file while it lives.
class HistoryLock {
  public:
    explicit HistoryLock(const std::string& path) {
        fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~HistoryLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    HistoryLock(const HistoryLock&) = delete;
    HistoryLock& operator=(const HistoryLock&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

std::string NowText() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

/// Keeps the newest lines of the history within half the bound (called under the lock): the
/// kept lines go to a temporary file that replaces the history.
Result<void> Trim(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t from = all.size() > HISTORY_MAX_BYTES / 2 ? all.size() - HISTORY_MAX_BYTES / 2 : 0;
    if (from > 0) {
        from = all.find('\n', from - 1);
        from = from == std::string::npos ? all.size() : from + 1;
    }
    if (const int failure = platform::ReplaceFile(path, std::string_view(all).substr(from), 0600)) {
        return Fail("cannot trim " + path + ": " + std::strerror(failure));
    }
    return Done();
}

std::string Text(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

std::string HistoryPath() {
    const std::string base = ConfigBaseFolder();
    if (base.empty()) return {};
    const std::string configurations = base + "/" + std::string(CONFIGURATIONS_TAIL);
    return configurations.substr(0, configurations.rfind('/')) + "/history.jsonl";
}

std::string HistoryLine(const HistoryEntry& e) {
    auto orNull = [](const std::string& text) { return text.empty() ? json(nullptr) : json(text); };
    const json line = {{"time", e.time},
                       {"tool", e.tool},
                       {"address", e.address},
                       {"mac", orNull(e.mac)},
                       {"serial", orNull(e.serial)},
                       {"model", orNull(e.model)},
                       {"versionBefore", orNull(e.versionBefore)},
                       {"versionAfter", orNull(e.versionAfter)},
                       {"outcome", e.outcome ? json(OutcomeWord(*e.outcome)) : json(nullptr)},
                       {"configFile", orNull(e.savedFile)}};
    return line.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<HistoryEntry> HistoryEntryOf(const ProgressRecord& row, std::string tool) {
    if (row.end != RowEnd::Finished) return std::nullopt;
    const ReportRow done = ReportRowOf(row);
    // A failure without an UpgradeFailure ended at the start inquiries: nothing was written.
    if (!done.outcome || (*done.outcome == Outcome::Failed && row.failure == UpgradeFailure::None))
        return std::nullopt;
    HistoryEntry entry;
    entry.tool = std::move(tool);
    entry.address = done.address;
    entry.mac = done.mac;
    entry.serial = done.serial;
    entry.model = done.model;
    entry.versionBefore = done.versionBefore;
    if (done.confirmed) entry.versionAfter = done.versionAfter.value_or("");
    entry.outcome = done.outcome;
    entry.savedFile = done.configFile.value_or("");
    return entry;
}

Result<void> AppendHistory(HistoryEntry entry, std::string path) {
    if (path.empty()) path = HistoryPath();
    if (path.empty()) {
        return Fail("no folder for the history (set HOME or XDG_DATA_HOME)");
    }
    if (entry.time.empty()) entry.time = NowText();
    if (!ConfigStore::MakeFolders(path)) {
        return Fail("cannot make the folder of " + path);
    }
    const HistoryLock lock(path);
    if (!lock.Held()) {
        return Fail("cannot lock " + path + ".lock: " + std::strerror(errno));
    }
    const std::string line = HistoryLine(entry) + "\n";
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 &&
        static_cast<std::size_t>(info.st_size) + line.size() > HISTORY_MAX_BYTES) {
        if (Result<void> trimmed = Trim(path); !trimmed) return trimmed;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    const int failure = fd < 0 ? errno : platform::WriteAll(fd, line);
    if (failure != 0 || ::fsync(fd) != 0) {
        Failure reason =
            Fail("cannot append to " + path + ": " + std::strerror(failure != 0 ? failure : errno));
        if (fd >= 0) ::close(fd);
        return reason;
    }
    ::close(fd);
    return Done();
}

Result<std::vector<HistoryEntry>> ReadHistory(const std::string& path) {
    std::vector<HistoryEntry> entries;
    const platform::BoundedText text = platform::ReadBoundedText(path, 2 * HISTORY_MAX_BYTES);
    if (text.outcome == platform::TextReadOutcome::CannotOpen && text.error == ENOENT) return entries;
    if (text.outcome != platform::TextReadOutcome::Read) {
        return Fail("cannot read " + path);
    }
    std::istringstream lines(text.bytes);
    for (std::string line; std::getline(lines, line);) {
        const json object = json::parse(line, nullptr, false);
        if (!object.is_object()) continue;
        HistoryEntry e;
        e.time = Text(object, "time");
        e.tool = Text(object, "tool");
        e.address = Text(object, "address");
        e.mac = Text(object, "mac");
        e.serial = Text(object, "serial");
        e.model = Text(object, "model");
        e.versionBefore = Text(object, "versionBefore");
        e.versionAfter = Text(object, "versionAfter");
        e.outcome = OutcomeFromWord(Text(object, "outcome"));
        e.savedFile = Text(object, "configFile");
        if (!e.address.empty()) entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace xqt
