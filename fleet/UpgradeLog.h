#pragma once
// The upgrade log of an automatic run: one line per camera that took part, in row order. Qt-free;
// the log dialog shows what these build. Pure functions of the rows, called on the UI thread after
// every worker has ended.

#include <cstdint>
#include <string>

#include "fleet/CameraRecord.h"

namespace xqt {

/// Follows a version that the camera never reported itself.
inline constexpr const char* NOT_CONFIRMED_MARK = " (not confirmed)";
/// Ends the log line of a camera that was upgraded but whose saved settings could not be put back.
inline constexpr const char* NOT_RESTORED_NOTE = " Settings not restored; the saved file is kept.";

/// The version column's text of a row: its version, followed by NOT_CONFIRMED_MARK when the row
/// completed without the camera's confirmation.
[[nodiscard]] std::string ShownVersion(const ProgressRecord& row);

/// The log text of a final UpgradeStatus (9 completed, 10..16 the errors), ending in CR LF; empty
/// for any other value.
[[nodiscard]] std::string LogResultText(std::int32_t result);

/// The log line of one progress row: "model(address) " or, for a DHCP camera,
/// "model(DHCP:address) ", then the text of its result; a completion the camera did not confirm
/// adds "Version <version> (not confirmed)." before the line end. Empty for a row whose progress
/// is 0 (a camera that never started). A row that has progress but no final result still ends its
/// line.
[[nodiscard]] std::string LogLine(const ProgressRecord& row);

/// The non-empty log lines of `rows` in their order, joined without separators (each line carries
/// its own CR LF).
template <typename Rows>
std::string UpgradeLogText(const Rows& rows) {
    std::string log;
    for (const ProgressRecord& row : rows)
        log += LogLine(row);
    return log;
}

}  // namespace xqt
