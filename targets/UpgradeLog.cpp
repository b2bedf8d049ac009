#include "targets/UpgradeLog.h"

#include "platform/ResourceText.h"

namespace xqt {

namespace {

/// BIN ids of the log texts of results 9..16.
constexpr std::uint16_t RESULT_TEXT_IDS[] = {315, 316, 317, 318, 355, 356, 370, 371};
constexpr std::int32_t FIRST_RESULT = 9;

}  // namespace

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
    std::string result = LogResultText(row.result);
    // Without a result text the line would run into the next camera's.
    if (result.empty()) result = "\r\n";
    return line + result;
}

}  // namespace xqt
