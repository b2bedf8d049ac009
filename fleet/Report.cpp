#include "fleet/Report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "camera/UpgradeStatus.h"
#include "fleet/BatchRun.h"
#include "fleet/UpgradeLog.h"
#include "platform/AtomicFile.h"
#include "platform/BoundedText.h"

namespace xqt {

namespace {

using json = nlohmann::ordered_json;

template <class T>
json OrNull(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

json TimeOrNull(const std::optional<std::chrono::system_clock::time_point>& time) {
    return time ? json(IsoTime(*time)) : json(nullptr);
}

/// A cell in RFC 4180 quoting. A text that a spreadsheet would take for a formula (a camera's
/// name or model may start with "=", "+", "-" or "@") is kept as text by a leading apostrophe.
std::string CsvField(std::string text) {
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        text.insert(text.begin(), '\'');
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

/// The camera fields of a report row, in report order (the CSV's columns too).
constexpr const char* ROW_KEYS[] = {"address",       "mac",          "model",       "serial",
                                    "versionBefore", "versionAfter", "confirmed",   "status",
                                    "statusCode",    "outcome",      "message",     "attempts",
                                    "started",       "ended",        "configFile",  "detail",
                                    "resumed",       "imageVersion", "imageSha256", "plannedVersion",
                                    "plannedSha256"};

json RowJson(const ReportRow& r) {
    if (!r.carried.empty()) {
        json row = json::parse(r.carried, nullptr, false);
        if (row.is_object()) {
            // The earlier row as it was, in this report's key order, marked as carried forward.
            json out = json::object();
            for (const char* key : ROW_KEYS)
                out[key] = row.contains(key) ? row[key] : json(nullptr);
            out["address"] = r.address;
            out["status"] = "skipped";
            out["outcome"] = OutcomeWord(Outcome::Skipped);
            out["resumed"] = true;
            return out;
        }
    }
    return {{"address", r.address},
            {"mac", r.mac},
            {"model", r.model},
            {"serial", r.serial},
            {"versionBefore", r.versionBefore},
            {"versionAfter", OrNull(r.versionAfter)},
            {"confirmed", r.confirmed},
            {"status", r.status},
            {"statusCode", OrNull(r.statusCode)},
            {"outcome", r.outcome ? json(OutcomeWord(*r.outcome)) : json(nullptr)},
            {"message", r.message},
            {"attempts", r.attempts},
            {"started", TimeOrNull(r.started)},
            {"ended", TimeOrNull(r.ended)},
            {"configFile", OrNull(r.configFile)},
            {"detail", OrNull(r.detail)},
            {"resumed", false},
            {"imageVersion", OrNull(r.imageVersion)},
            {"imageSha256", OrNull(r.imageSha256)},
            {"plannedVersion", OrNull(r.plannedVersion)},
            {"plannedSha256", OrNull(r.plannedSha256)}};
}

std::string CellText(const json& value) {
    if (value.is_null()) return {};
    if (value.is_string()) return value.get<std::string>();
    if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
    return value.dump();
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace

std::string IsoTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff;
    const int minutes = static_cast<int>(((offset < 0 ? -offset : offset) / 60) % (24 * 60));
    char zone[12];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return std::string(text) + zone;
}

namespace {

constexpr std::pair<Outcome, const char*> OUTCOME_WORDS[] = {
    {Outcome::Upgraded, "upgraded"},
    {Outcome::Unconfirmed, "unconfirmed"},
    {Outcome::SettingsNotRestored, "settings-not-restored"},
    {Outcome::Current, "current"},
    {Outcome::Unsuitable, "unsuitable"},
    {Outcome::Failed, "failed"},
    {Outcome::Skipped, "skipped"},
    {Outcome::NotStarted, "not-started"},
    {Outcome::Suitable, "suitable"},
};

}  // namespace

const char* OutcomeWord(Outcome outcome) {
    for (const auto& [value, word] : OUTCOME_WORDS)
        if (value == outcome) return word;
    return "failed";
}

std::optional<Outcome> OutcomeFromWord(const std::string& word) {
    for (const auto& [value, text] : OUTCOME_WORDS)
        if (word == text) return value;
    return std::nullopt;
}

bool IsFailure(Outcome outcome) {
    return outcome == Outcome::Unconfirmed || outcome == Outcome::SettingsNotRestored ||
           outcome == Outcome::Unsuitable || outcome == Outcome::Failed;
}

std::optional<Outcome> OutcomeOf(const ProgressRecord& row) {
    switch (row.end) {
        case RowEnd::Finished:
            if (row.result != UpgradeStatus::Completed) return Outcome::Failed;
            if (row.failure == UpgradeFailure::NotRestored) return Outcome::SettingsNotRestored;
            return row.confirmed ? Outcome::Upgraded : Outcome::Unconfirmed;
        case RowEnd::Current:
            return Outcome::Current;
        case RowEnd::Unsuitable:
            return Outcome::Unsuitable;
        case RowEnd::Suitable:
            return Outcome::Suitable;
        case RowEnd::Skipped:
            return Outcome::Skipped;
        case RowEnd::NotStarted:
            return Outcome::NotStarted;
        case RowEnd::Pending:
        default:
            if (row.attempts == 0) return Outcome::NotStarted;
            return std::nullopt;
    }
}

ReportRow ReportRowOf(const ProgressRecord& row) {
    ReportRow out;
    out.address = row.text[ProgressSlot::ADDRESS];
    out.mac = row.mac;
    out.model = row.text[ProgressSlot::MODEL];
    out.serial = row.serial;
    out.versionBefore = row.previousVersion;
    out.attempts = row.attempts;
    if (row.startedAt != std::chrono::system_clock::time_point{}) out.started = row.startedAt;
    if (row.endedAt != std::chrono::system_clock::time_point{}) out.ended = row.endedAt;
    if (!row.savedFile.empty()) out.configFile = row.savedFile;
    if (!row.detail.empty()) out.detail = row.detail;
    out.outcome = OutcomeOf(row);
    switch (row.end) {
        case RowEnd::Finished:
            out.status = StatusWord(StatusCode(row.result));
            out.statusCode = StatusCode(row.result);
            out.message = Trimmed(LogLine(row));
            if (row.result == UpgradeStatus::Completed) {
                out.versionAfter = row.text[ProgressSlot::VERSION];
                out.confirmed = row.confirmed;
            }
            break;
        case RowEnd::Current:
            out.status = "current";
            out.versionAfter = row.previousVersion;
            out.confirmed = true;
            break;
        case RowEnd::Unsuitable:
            out.status = "unsuitable";
            break;
        case RowEnd::Suitable:
            out.status = "suitable";
            break;
        case RowEnd::Skipped:
            out.status = "skipped";
            break;
        case RowEnd::NotStarted:
            out.status = "not started";
            break;
        case RowEnd::Pending:
        default:
            // Still running when the report was written: its status as it stands.
            out.status = row.attempts == 0 ? "not started" : row.text[ProgressSlot::STATUS];
            break;
    }
    return out;
}

Report ReportOf(const BatchRun& run, const std::string& tool,
                std::optional<std::chrono::system_clock::time_point> ended) {
    Report report;
    report.tool = tool;
    report.imageVersion = run.ImageVersion();
    report.started = run.StartedAt() == std::chrono::system_clock::time_point{}
                         ? std::chrono::system_clock::now()
                         : run.StartedAt();
    report.ended = ended;
    for (int i = 0; i < run.Size(); ++i) {
        const ProgressRecord& record = run.Row(i);
        ReportRow row = ReportRowOf(record);
        if (record.end == RowEnd::Finished && record.imageSent) {
            row.imageVersion = report.imageVersion;
            row.imageSha256 = run.ImageSha256(record.imageSlot);
        } else if (record.end == RowEnd::Suitable) {
            row.plannedVersion = report.imageVersion;
            row.plannedSha256 = run.ImageSha256(record.imageSlot);
        }
        report.cameras.push_back(std::move(row));
    }
    return report;
}

ReportSummary Report::Summary() const {
    ReportSummary s;
    s.total = static_cast<int>(cameras.size());
    for (const ReportRow& row : cameras) {
        const std::optional<Outcome> outcome = row.carried.empty() ? row.outcome : Outcome::Skipped;
        if (!outcome) {
            ++s.notStarted;  // still running when the report was made
        } else if (IsFailure(*outcome)) {
            ++s.failed;
        } else {
            switch (*outcome) {
                case Outcome::Upgraded:
                    ++s.completed;
                    break;
                case Outcome::Current:
                    ++s.current;
                    break;
                case Outcome::Skipped:
                    ++s.skipped;
                    break;
                case Outcome::Suitable:
                    ++s.suitable;
                    break;
                default:
                    ++s.notStarted;
                    break;
            }
        }
    }
    return s;
}

std::string Report::Json() const {
    json cams = json::array();
    for (const ReportRow& r : cameras)
        cams.push_back(RowJson(r));
    const ReportSummary s = Summary();
    json doc = {{"tool", tool},
                {"imageVersion", imageVersion},
                {"started", IsoTime(started)},
                {"ended", TimeOrNull(ended)},
                {"interrupted", interrupted},
                {"cameras", cams},
                {"summary",
                 {{"total", s.total},
                  {"completed", s.completed},
                  {"current", s.current},
                  {"failed", s.failed},
                  {"notStarted", s.notStarted},
                  {"skipped", s.skipped},
                  {"suitable", s.suitable}}}};
    // Texts from cameras may hold bytes that are not UTF-8: they are replaced, never a failure.
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string Report::Csv() const {
    std::string out;
    for (std::size_t i = 0; i < std::size(ROW_KEYS); ++i)
        out += (i ? "," : "") + std::string(ROW_KEYS[i]);
    out += "\r\n";
    for (const ReportRow& r : cameras) {
        const json row = RowJson(r);
        for (std::size_t i = 0; i < std::size(ROW_KEYS); ++i) {
            out += (i ? "," : "") + CsvField(CellText(row.at(ROW_KEYS[i])));
        }
        out += "\r\n";
    }
    return out;
}

Result<void> WriteFileAtomically(const std::string& path, const std::string& text) {
    platform::ReplaceStage stage{};
    if (platform::ReplaceFile(path, text, 0644, &stage) == 0) return Done();
    return Fail(stage == platform::ReplaceStage::Create  ? "cannot write beside " + path
                : stage == platform::ReplaceStage::Write ? "cannot write " + path + " (disk full?)"
                                                         : "cannot write " + path);
}

Result<void> CanWriteBeside(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    std::error_code ignored;
    if (target.filename().empty() || fs::is_directory(target, ignored)) {
        return Fail(path + " is a folder, not a file");
    }
    // The probe is made where the report's temporary files will be, and removed again.
    platform::AtomicFile probe;
    if (const int failure = probe.Create(path, 0644)) {
        return Fail("cannot write " + path + ": " + std::strerror(failure));
    }
    return Done();
}

}  // namespace xqt
