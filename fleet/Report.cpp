#include "fleet/Report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "camera/UpgradeStatus.h"
#include "fleet/BatchRun.h"
#include "fleet/UpgradeLog.h"
#include "platform/BoundedText.h"

namespace xqt {

namespace {

using json = nlohmann::ordered_json;

/// Largest previous report read back (a report of 256 cameras is far below).
constexpr std::size_t REPORT_READ_LIMIT = 16 * 1024 * 1024;

template <class T>
json OrNull(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

json TimeOrNull(const std::optional<std::chrono::system_clock::time_point>& time) {
    return time ? json(IsoTime(*time)) : json(nullptr);
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
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
    switch (static_cast<RowEnd>(row.end)) {
        case RowEnd::Finished:
            out.status = StatusWord(row.result);
            out.statusCode = row.result;
            out.message = Trimmed(LogLine(row));
            if (row.result == StatusCode(UpgradeStatus::Completed)) {
                out.versionAfter = row.text[ProgressSlot::VERSION];
                out.confirmed = row.confirmed != 0;
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
        ReportRow row = ReportRowOf(run.Row(i));
        if (static_cast<RowEnd>(run.Row(i).end) == RowEnd::Finished) {
            row.imageVersion = report.imageVersion;
            row.imageSha256 = run.ImageSha256(run.Row(i).imageSlot);
        }
        report.cameras.push_back(std::move(row));
    }
    return report;
}

ReportSummary Report::Summary() const {
    ReportSummary s;
    s.total = static_cast<int>(cameras.size());
    for (const ReportRow& row : cameras) {
        if (row.status == "current") {
            ++s.current;
        } else if (row.status == "skipped") {
            ++s.skipped;
        } else if (row.status == "suitable") {
            ++s.suitable;
        } else if (row.status == "unsuitable") {
            ++s.failed;
        } else if (row.statusCode && IsFinal(*row.statusCode)) {
            if (*row.statusCode == StatusCode(UpgradeStatus::Completed) && row.confirmed) {
                ++s.completed;
            } else {
                ++s.failed;
            }
        } else {
            ++s.notStarted;
        }
    }
    return s;
}

std::string Report::Json() const {
    json cams = json::array();
    for (const ReportRow& r : cameras) {
        cams.push_back({{"address", r.address},
                        {"mac", r.mac},
                        {"model", r.model},
                        {"serial", r.serial},
                        {"versionBefore", r.versionBefore},
                        {"versionAfter", OrNull(r.versionAfter)},
                        {"confirmed", r.confirmed},
                        {"status", r.status},
                        {"statusCode", OrNull(r.statusCode)},
                        {"message", r.message},
                        {"attempts", r.attempts},
                        {"started", TimeOrNull(r.started)},
                        {"ended", TimeOrNull(r.ended)},
                        {"configFile", OrNull(r.configFile)},
                        {"detail", OrNull(r.detail)},
                        {"imageVersion", OrNull(r.imageVersion)},
                        {"imageSha256", OrNull(r.imageSha256)}});
    }
    const ReportSummary s = Summary();
    json doc = {{"tool", tool},
                {"imageVersion", imageVersion},
                {"started", IsoTime(started)},
                {"ended", TimeOrNull(ended)},
                {"cameras", cams},
                {"summary",
                 {{"total", s.total},
                  {"completed", s.completed},
                  {"current", s.current},
                  {"failed", s.failed},
                  {"notStarted", s.notStarted},
                  {"skipped", s.skipped}}}};
    // Texts from cameras may hold bytes that are not UTF-8: they are replaced, never a failure.
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string Report::Csv() const {
    std::string out =
        "address,mac,model,serial,versionBefore,versionAfter,confirmed,status,statusCode,message,attempts,"
        "started,ended,configFile,detail,imageVersion,imageSha256\r\n";
    for (const ReportRow& r : cameras) {
        const std::string fields[] = {r.address,
                                      r.mac,
                                      r.model,
                                      r.serial,
                                      r.versionBefore,
                                      r.versionAfter.value_or(""),
                                      r.confirmed ? "true" : "false",
                                      r.status,
                                      r.statusCode ? std::to_string(*r.statusCode) : "",
                                      r.message,
                                      std::to_string(r.attempts),
                                      r.started ? IsoTime(*r.started) : "",
                                      r.ended ? IsoTime(*r.ended) : "",
                                      r.configFile.value_or(""),
                                      r.detail.value_or(""),
                                      r.imageVersion.value_or(""),
                                      r.imageSha256.value_or("")};
        for (std::size_t i = 0; i < std::size(fields); ++i)
            out += (i ? "," : "") + CsvField(fields[i]);
        out += "\r\n";
    }
    return out;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot write beside " + path;
        return false;
    }
    ::fchmod(fd, 0644);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    const bool ok = written == text.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        error = "cannot write " + path + (ok ? "" : " (disk full?)");
        return false;
    }
    return true;
}

bool DoneCameras::Contains(const std::string& mac, const std::string& address) const {
    if (!mac.empty() && std::find(macs.begin(), macs.end(), mac) != macs.end()) return true;
    return std::find(addresses.begin(), addresses.end(), address) != addresses.end();
}

std::optional<DoneCameras> ReadDoneCameras(const std::string& path, const std::string& imageVersion,
                                           std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::string text;
    text.resize(REPORT_READ_LIMIT + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > REPORT_READ_LIMIT) {
        error = path + " is too large for a report";
        return std::nullopt;
    }
    const json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object() || !doc.contains("cameras") || !doc["cameras"].is_array()) {
        error = path + " is not a report of this tool";
        return std::nullopt;
    }
    DoneCameras done;
    for (const json& camera : doc["cameras"]) {
        if (!camera.is_object()) continue;
        auto text = [&](const char* key) {
            const auto it = camera.find(key);
            return it != camera.end() && it->is_string() ? it->get<std::string>() : std::string();
        };
        const auto confirmed = camera.find("confirmed");
        const bool isConfirmed =
            confirmed != camera.end() && confirmed->is_boolean() && confirmed->get<bool>();
        const std::string status = text("status");
        if (!isConfirmed || (status != "Completed" && status != "current") ||
            text("versionAfter") != imageVersion)
            continue;
        if (const std::string mac = text("mac"); !mac.empty()) done.macs.push_back(mac);
        done.addresses.push_back(text("address"));
    }
    return done;
}

}  // namespace xqt
