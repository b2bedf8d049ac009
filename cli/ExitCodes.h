#pragma once
// The exit codes of xqt-cli, every command's in one place. The values are an interface: the
// commands' --help, the manual pages, the Ansible collection and users' scripts read them, so a
// value never changes meaning. The same number may mean different things to different commands;
// each name below is used by the commands its section names.

namespace xqt::cli {

// ---- Every command ----
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_INTERNAL = 1;  ///< missing resources, or an exception escaped
inline constexpr int EXIT_USAGE = 2;     ///< options, files, password; nothing was sent

// ---- Commands that talk to one camera: inquire, upgrade, config ----
inline constexpr int EXIT_UNREACHABLE = 3;
inline constexpr int EXIT_LOGIN = 4;  ///< login refused or not the administrator
inline constexpr int EXIT_UNSUITABLE = 5;

// ---- Commands that write to a camera: upgrade, config restore ----
/// Another run of this tool holds the camera (its address or its identity); nothing was sent.
inline constexpr int EXIT_CAMERA_BUSY = 16;

// ---- upgrade ----
inline constexpr int EXIT_VERIFIED = EXIT_OK;  ///< the camera confirmed the new version
inline constexpr int EXIT_CONFIG_NOT_SAVED = 6;
inline constexpr int EXIT_NOT_SENT = 7;
inline constexpr int EXIT_UPGRADE_ERROR = 8;
inline constexpr int EXIT_NOT_BACK = 9;
inline constexpr int EXIT_NOT_VERIFIED = 10;
inline constexpr int EXIT_CONFIG_NOT_RESTORED = 11;

// ---- config save | restore ----
inline constexpr int EXIT_NOT_SAVED = 6;
inline constexpr int EXIT_NOT_RESTORED = 7;
inline constexpr int EXIT_OTHER_CAMERA = 8;

// ---- batch ----
inline constexpr int EXIT_ALL_DONE = EXIT_OK;
inline constexpr int EXIT_SOME_FAILED = 12;
inline constexpr int EXIT_STOPPED = 13;  ///< --max-failures held cameras back
inline constexpr int EXIT_NO_TARGETS = 14;
inline constexpr int EXIT_REPORT_FAILED = 15;

// ---- discover (1-3: the socket could not be set up, passed on from the discovery) ----
inline constexpr int EXIT_DISCOVERY_FAILED = 4;
inline constexpr int EXIT_NONE_LISTED = 5;

// ---- check-list ----
inline constexpr int EXIT_LIST_REFUSED = 1;  ///< too long, or not a list
inline constexpr int EXIT_LIST_UNREADABLE = 2;

// ---- history ----
inline constexpr int EXIT_HISTORY_UNREADABLE = 1;

}  // namespace xqt::cli
