#pragma once
// Texts of the automatic mode's dialogs: ids of the BIN texts they show and the few texts written
// into the program itself. Qt-free, so the wording can be checked without widgets.

#include <cstdint>

namespace xqt {

inline constexpr std::uint16_t BIN_INPUT_ADDRESS =
    120;  ///< "Input the correct IP address of the target camera."
inline constexpr std::uint16_t BIN_INFORMATION = 203;    ///< "Information": caption of every question here
inline constexpr std::uint16_t BIN_REMOVE_CAMERA = 253;  ///< "Would you like to remove this camera?"

/// Administrator name and password: at most this many characters each, as typed.
inline constexpr int LOGIN_TEXT_MAX = 16;

/// Ports a camera may listen on besides 80.
inline constexpr int ENTRY_PORT_MIN = 1024;
inline constexpr int ENTRY_PORT_MAX = 65535;

/// What the toolkit says when a number field holds no number in its range.
inline constexpr const char* TEXT_PORT_RANGE = "Please enter an integer between 1024 and 65535.";
inline constexpr const char* TEXT_NOT_ALL_VALID = "Not all the listed cameras are valid!";
inline constexpr const char* TEXT_RELEASE_ALL = "All of the data will be released.";

}  // namespace xqt
