#include "fleet/UpgradeLog.h"

#include "camera/CameraSession.h"
#include "camera/UpgradeStatus.h"
#include "platform/ResourceText.h"

namespace xqt {

namespace {

/// BIN ids of the log texts of results 9..16.
constexpr std::uint16_t RESULT_TEXT_IDS[] = {315, 316, 317, 318, 355, 356, 370, 371};
constexpr std::int32_t FIRST_RESULT = 9;
constexpr std::string_view LINE_END = "\r\n";

bool CompletedUnconfirmed(const ProgressRecord& row) {
    return row.result == UpgradeStatus::Completed && !row.confirmed;
}

}  // namespace

std::string ShownVersion(const ProgressRecord& row) {
    const std::string& version = row.text[ProgressSlot::VERSION];
    return CompletedUnconfirmed(row) ? version + NOT_CONFIRMED_MARK : version;
}

std::string LogResultText(std::int32_t result) {
    const std::int32_t index = result - FIRST_RESULT;
    if (index < 0 || index >= static_cast<std::int32_t>(std::size(RESULT_TEXT_IDS))) return {};
    return platform::TextOf(RESULT_TEXT_IDS[index]);
}

std::string LogLine(const ProgressRecord& row) {
    if (row.progress.Load() == 0) return {};
    const std::string& model = row.text[ProgressSlot::MODEL];
    const std::string& address = row.text[ProgressSlot::ADDRESS];
    std::string line = row.dhcp ? model + "(DHCP:" + address + ") " : model + "(" + address + ") ";
    std::string result = LogResultText(StatusCode(row.result));
    // Without a result text the line would run into the next camera's.
    if (result.empty()) result = "\r\n";
    if (CompletedUnconfirmed(row)) {
        if (result.ends_with(LINE_END)) result.resize(result.size() - LINE_END.size());
        const std::string& version = row.text[ProgressSlot::VERSION];
        result += version.empty() ? " Version" : " Version " + version;
        result += NOT_CONFIRMED_MARK;
        result += ".";
        result += LINE_END;
    }
    if (row.result == UpgradeStatus::Completed && row.failure == UpgradeFailure::NotRestored) {
        if (result.ends_with(LINE_END)) result.resize(result.size() - LINE_END.size());
        result += NOT_RESTORED_NOTE;
        result += LINE_END;
    }
    return line + result;
}

}  // namespace xqt
