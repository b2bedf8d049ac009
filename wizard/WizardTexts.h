#pragma once
// Ids of the BIN texts that the wizard frame and its manual pages show, and the few texts formed
// from them. Qt-free, so the wording rules can be tested without widgets.

#include <cstdint>
#include <string>

#include "camera/UpgradeStatus.h"

namespace xqt {

inline constexpr std::uint16_t TEXT_INPUT_ADDRESS = 120;
inline constexpr std::uint16_t TEXT_PRECAUTIONS = 134;
inline constexpr std::uint16_t TEXT_ERROR = 139;
inline constexpr std::uint16_t TEXT_NEXT = 159;
inline constexpr std::uint16_t TEXT_BACK = 162;
inline constexpr std::uint16_t TEXT_CANCEL = 165;
inline constexpr std::uint16_t TEXT_MODE_HELP = 168;
inline constexpr std::uint16_t TEXT_AGREE = 170;
inline constexpr std::uint16_t TEXT_NOT_AGREE = 171;
inline constexpr std::uint16_t TEXT_MODE_GROUP = 178;
inline constexpr std::uint16_t TEXT_AUTOMATIC_MODE = 179;
inline constexpr std::uint16_t TEXT_MANUAL_MODE = 180;
inline constexpr std::uint16_t TEXT_FINISH_RESULT = 194;
inline constexpr std::uint16_t TEXT_RETRY = 195;
inline constexpr std::uint16_t TEXT_IN_PROGRESS = 200;
inline constexpr std::uint16_t TEXT_INFORMATION = 203;
inline constexpr std::uint16_t TEXT_PROCEED = 209;
inline constexpr std::uint16_t TEXT_TARGET_INFORMATION = 218;
inline constexpr std::uint16_t TEXT_IP_ADDRESS = 219;
inline constexpr std::uint16_t TEXT_UPDATED = 222;
inline constexpr std::uint16_t TEXT_VERSION_IS = 234;
inline constexpr std::uint16_t TEXT_VERSION_END = 235;
inline constexpr std::uint16_t TEXT_CURRENT_VERSION = 236;
inline constexpr std::uint16_t TEXT_VERSION_INFORMATION = 237;
inline constexpr std::uint16_t TEXT_NEW_VERSION = 238;
inline constexpr std::uint16_t TEXT_QUIT = 248;
inline constexpr std::uint16_t TEXT_UPGRADE = 266;
inline constexpr std::uint16_t TEXT_ABORT = 267;
inline constexpr std::uint16_t TEXT_FINISH = 268;
inline constexpr std::uint16_t TEXT_INPUT_LOGIN = 308;
inline constexpr std::uint16_t TEXT_INPUT_PORT = 310;

/// The agreement: a heading and ten numbered sections, shown in this order.
inline constexpr std::uint16_t AGREEMENT_TEXTS[] = {140, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158};

/// Texts written into the program rather than loaded.
inline constexpr const char* MSG_NOT_SUITABLE = "This firmware is not suitable for the target camera.";
inline constexpr const char* MSG_HIDDEN_MODE =
    "I become 'Velmoran' mode.\nThis mode would be released from using IP address strictly.";
inline constexpr const char* MSG_SAME_ADDRESS =
    "There is more than one camera with the same IP address.\r\nCannot proceed with the upgrade.";
inline constexpr const char* MSG_CANNOT_SAVE = "Cannot save camera's configuration!";
inline constexpr const char* MSG_RESTORE_FAULT = "Fault to upload configuration!";
inline constexpr const char* CAPTION_INFORMATION = "Information";

/// The manual page's word for an UpgradeStatus code: empty for 0, the BIN text for 1-9. Codes
/// above 9 (and below 0) have no word: the caller leaves the shown word as it is.
[[nodiscard]] bool HasManualStatusWord(UpgradeStatus status);
[[nodiscard]] std::string ManualStatusWord(UpgradeStatus status);

/// "Discard …", "Retain …" or "Retain and backup the current settings."
[[nodiscard]] std::string SetupDataText(bool retain, bool backup);

/// BIN 222 + BIN 234 + the version label without its "ver" + BIN 235; a version the camera did
/// not confirm carries NOT_CONFIRMED_MARK before the closing full stop.
[[nodiscard]] std::string ResultText(const std::string& versionLabel, bool confirmed);

}  // namespace xqt
