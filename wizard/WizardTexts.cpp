#include "wizard/WizardTexts.h"

#include <array>

#include "fleet/UpgradeLog.h"
#include "platform/ResourceText.h"

namespace xqt {

namespace {
// Manual page texts of Prepare … Completed (codes 1-9).
constexpr std::array<std::uint16_t, 9> STATUS_WORDS = {361, 360, 323, 320, 319, 322, 357, 359, 321};
}  // namespace

bool HasManualStatusWord(UpgradeStatus status) {
    const std::int32_t code = StatusCode(status);
    return code >= 0 && code <= 9;
}

std::string ManualStatusWord(UpgradeStatus status) {
    const std::int32_t code = StatusCode(status);
    if (code < 1 || code > 9) return std::string();
    return platform::TextOf(STATUS_WORDS[static_cast<std::size_t>(code - 1)]);
}

std::string SetupDataText(bool retain, bool backup) {
    if (!retain) return "Discard the current settings.";
    return backup ? "Retain and backup the current settings." : "Retain the current settings.";
}

std::string ResultText(const std::string& versionLabel, bool confirmed) {
    const std::string number = versionLabel.size() > 3 ? versionLabel.substr(3) : std::string();
    std::string end = platform::TextOf(TEXT_VERSION_END);
    if (!confirmed) {
        const auto stop = end.rfind('.');
        end.insert(stop == std::string::npos ? end.size() : stop, NOT_CONFIRMED_MARK);
    }
    return platform::TextOf(TEXT_UPDATED) + platform::TextOf(TEXT_VERSION_IS) + number + end;
}

}  // namespace xqt
