#pragma once
// The upgrade history: one JSON line per camera upgrade, from the wizard or xqt-cli, appended to
// "history.jsonl" beside the Configurations folder (ConfigBaseFolder + "/VEXO/XQT FirmwareUpgrade").
// Appends take an exclusive lock on "history.jsonl.lock" beside it, so concurrent programs never
// interleave lines; the file is kept under HISTORY_MAX_BYTES by dropping its oldest lines. The file
// and its folder are private (0600, 0700). Blocking file I/O; any thread; no state.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "fleet/Report.h"
#include "platform/Result.h"

namespace xqt {

struct ProgressRecord;

/// Size past which an append first drops the oldest lines, down to about half of it.
inline constexpr std::size_t HISTORY_MAX_BYTES = 1024 * 1024;

struct HistoryEntry {
    std::string time;  ///< ISO 8601 UTC, "2026-12-08T12:15:00Z"; filled by AppendHistory when empty
    std::string tool;  ///< "xqt-cli upgrade", "xqt-upgrade", "xqt-cli batch"
    std::string address;
    std::string mac;
    std::string serial;
    std::string model;
    std::string versionBefore;  ///< bare numbers ("1.10"), empty when unknown
    std::string versionAfter;
    /// Upgraded, Unconfirmed, SettingsNotRestored or Failed; none when a line read back holds a
    /// word this program does not know.
    std::optional<Outcome> outcome;
    std::string savedFile;  ///< the configuration kept on disk, empty when none
};

/// "<base>/VEXO/XQT FirmwareUpgrade/history.jsonl"; empty when there is no base folder.
[[nodiscard]] std::string HistoryPath();

/// Appends `entry` as one line to the history at `path` (HistoryPath when empty). The reason when
/// the history cannot be written; the caller's own work stands either way.
Result<void> AppendHistory(HistoryEntry entry, std::string path = {});

/// The entries of the history at `path`, oldest first; lines that are not entries are skipped.
/// The reason when the file exists but cannot be read; no file is no history.
Result<std::vector<HistoryEntry>> ReadHistory(const std::string& path);

/// The history entry of an automatic run's row (the wizard's or a batch's), written by `tool`:
/// a camera the run wrote to, or began to, with its MAC where the run knew it. Nothing for a row
/// that has not ended or whose camera was only asked (current, unsuitable, skipped, a dry run, or
/// refused at the start inquiries).
[[nodiscard]] std::optional<HistoryEntry> HistoryEntryOf(const ProgressRecord& row, std::string tool);

/// The entry as the JSON object of its line.
[[nodiscard]] std::string HistoryLine(const HistoryEntry& entry);

}  // namespace xqt
