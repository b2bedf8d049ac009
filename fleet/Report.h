#pragma once
// The report of an automatic run: one row per target camera with what happened to it, written as
// JSON or CSV by the command line's batch runs and by the wizard's "Save report...". A report never
// holds a password. Files are replaced atomically (written beside, then renamed over), so a reader
// or a run that is killed never sees half a report.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "fleet/CameraRecord.h"
#include "platform/EngineTiming.h"

namespace xqt {

/// One camera's line of the report.
struct ReportRow {
    std::string address;  ///< "a.b.c.d[:port]"
    std::string mac;
    std::string model;
    std::string serial;
    std::string versionBefore;
    std::optional<std::string> versionAfter;
    bool confirmed = false;  ///< the camera itself reported the image's version
    std::string status;  ///< status word, or "current", "unsuitable", "suitable", "skipped", "not started"
    std::optional<int> statusCode;
    std::string message;  ///< the upgrade log's text for the camera
    int attempts = 0;
    std::optional<std::chrono::system_clock::time_point> started;
    std::optional<std::chrono::system_clock::time_point> ended;
    std::optional<std::string> configFile;
    std::optional<std::string> detail;
    /// The firmware the camera was sent: its version and the SHA-256 of its slot's image; set once
    /// an upgrade of the camera was started.
    std::optional<std::string> imageVersion;
    std::optional<std::string> imageSha256;
};

struct ReportSummary {
    int total = 0;
    int completed = 0;   ///< upgraded and confirmed by the camera
    int current = 0;     ///< already at the image's version
    int failed = 0;      ///< an error, unsuitable, or completed without the camera's confirmation
    int notStarted = 0;  ///< dropped, or not ended (yet)
    int skipped = 0;
    int suitable = 0;  ///< dry run: passed the start inquiries
};

struct Report {
    std::string tool;
    std::string imageVersion;
    std::chrono::system_clock::time_point started{};
    std::optional<std::chrono::system_clock::time_point> ended;
    std::vector<ReportRow> cameras;

    ReportSummary Summary() const;
    std::string Json() const;
    /// The camera fields in report order, one header line, RFC 4180 quoting, CR LF line ends.
    std::string Csv() const;
};

/// The report row of a progress row as it stands (ended or not).
ReportRow ReportRowOf(const ProgressRecord& row);

class BatchRun;
/// The report of `run` as it stands, written by `tool` ("xqt-cli 1.0.0"); ended once every camera
/// has (`ended` says when).
Report ReportOf(const BatchRun& run, const std::string& tool,
                std::optional<std::chrono::system_clock::time_point> ended = std::nullopt);

/// Time in ISO 8601 with the local offset, e.g. "2026-12-08T09:15:02+01:00".
std::string IsoTime(std::chrono::system_clock::time_point time);

/// Replaces `path` with `text` atomically; false with `error` set when it cannot.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error);

/// A previous report's cameras that were upgraded and confirmed at `imageVersion` (or already at
/// it): their MAC texts and addresses. Nothing, with `error` set, for a file that is no report.
struct DoneCameras {
    std::vector<std::string> macs;
    std::vector<std::string> addresses;
    bool Contains(const std::string& mac, const std::string& address) const;
};
std::optional<DoneCameras> ReadDoneCameras(const std::string& path, const std::string& imageVersion,
                                           std::string& error);

}  // namespace xqt
