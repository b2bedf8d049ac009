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
#include "platform/Result.h"

namespace xqt {

/// How a camera's part of a run ended, in the stable words a report's `outcome` holds; scripts,
/// the summary, resumption, the failure limit and the exit code read these, never status words.
enum class Outcome {
    Upgraded,             ///< flashed, and the camera itself reported the image's version
    Unconfirmed,          ///< flashed, but the camera never reported the new version itself
    SettingsNotRestored,  ///< upgraded, but its saved settings could not be put back (file kept)
    Current,              ///< already had the image's version: nothing was written
    Unsuitable,           ///< its model or serial number is not accepted
    Failed,               ///< an error ended it
    Skipped,              ///< an earlier run had upgraded this very camera
    NotStarted,           ///< dropped by an interruption or the failure limit, or not reached yet
    Suitable,             ///< dry run: it passed the start inquiries
};

/// The report word of `outcome` ("upgraded", "settings-not-restored", ...).
const char* OutcomeWord(Outcome outcome);
[[nodiscard]] std::optional<Outcome> OutcomeFromWord(const std::string& word);
/// Outcomes that count as failures (summary, failure limit, exit code).
[[nodiscard]] bool IsFailure(Outcome outcome);
/// How `row` ended; nothing while its camera is still being upgraded.
[[nodiscard]] std::optional<Outcome> OutcomeOf(const ProgressRecord& row);

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
    /// The firmware the camera was sent: its version and the SHA-256 of its slot's image; nothing
    /// unless the image went through to the camera.
    std::optional<std::string> imageVersion;
    std::optional<std::string> imageSha256;
    /// A dry run's suitable camera: the image a real run would send it; nothing otherwise.
    std::optional<std::string> plannedVersion;
    std::optional<std::string> plannedSha256;
    std::optional<Outcome> outcome;  ///< nothing while the camera is still being upgraded
    /// A skipped camera's row of the earlier report (its JSON object), carried forward whole so a
    /// later resumption still knows what was done; empty for every other row.
    std::string carried;
};

struct ReportSummary {
    int total = 0;
    int completed = 0;   ///< upgraded and confirmed by the camera
    int current = 0;     ///< already at the image's version
    int failed = 0;      ///< every outcome IsFailure counts
    int notStarted = 0;  ///< dropped, or not ended (yet)
    int skipped = 0;
    int suitable = 0;  ///< dry run: passed the start inquiries
};

struct Report {
    std::string tool;
    std::string imageVersion;
    std::chrono::system_clock::time_point started{};
    std::optional<std::chrono::system_clock::time_point> ended;
    bool interrupted = false;  ///< a signal stopped the run: cameras not started were left out
    std::vector<ReportRow> cameras;

    ReportSummary Summary() const;
    [[nodiscard]] std::string Json() const;
    /// The camera fields in report order, one header line, RFC 4180 quoting, CR LF line ends.
    [[nodiscard]] std::string Csv() const;
};

/// The report row of a progress row as it stands (ended or not).
ReportRow ReportRowOf(const ProgressRecord& row);

class BatchRun;
/// The report of `run` as it stands, written by `tool` ("xqt-cli 1.0.0"); ended once every camera
/// has (`ended` says when).
Report ReportOf(const BatchRun& run, const std::string& tool,
                std::optional<std::chrono::system_clock::time_point> ended = std::nullopt);

/// Time in ISO 8601 with the local offset, e.g. "2026-12-08T09:15:02+01:00".
[[nodiscard]] std::string IsoTime(std::chrono::system_clock::time_point time);

/// Replaces `path` with `text` atomically and durably (the file and its folder are synced); the
/// reason when it cannot.
Result<void> WriteFileAtomically(const std::string& path, const std::string& text);
/// Good when WriteFileAtomically could write `path` (a file can be made beside it); nothing is
/// left behind.
Result<void> CanWriteBeside(const std::string& path);

/// A previous report's cameras that were upgraded and confirmed at `imageVersion`, already at it,
/// or skipped as such: who they were and their rows, to carry forward once each camera, asked
/// again, still runs that version. Also the cameras whose settings that run saved and did not put
/// back (settings-not-restored, unconfirmed, failed, with the file still there), to finish. The
/// reason, for a file that is no report.
struct DoneCamera {
    std::string address;
    std::string mac;     ///< "08-00-46-..." as the report had it; may be empty
    std::string serial;  ///< may be empty
    std::string row;     ///< the row's JSON object
    /// Not done: it was written to, and its saved settings were not put back; they are kept here
    /// (the file exists), to restore once the camera runs the image's version.
    std::string keptFile;
};
struct DoneCameras {
    std::vector<DoneCamera> cameras;
    /// The earlier row this target may be: the one with its MAC when `mac` is known, else the
    /// one at its address; null when none.
    const DoneCamera* Candidate(const std::string& mac, const std::string& address) const;
};
/// Whether two MAC texts name the same interface (":" or "-", any case); false when either is empty.
[[nodiscard]] bool SameMac(const std::string& a, const std::string& b);
Result<DoneCameras> ReadDoneCameras(const std::string& path, const std::string& imageVersion);

}  // namespace xqt
