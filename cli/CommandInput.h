#pragma once
// What the camera sub-commands take from the user the same way: the password and the camera's
// address.

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "camera/CameraFault.h"
#include "cli/FileRoles.h"
#include "platform/MessageBoxes.h"
#include "platform/Result.h"

namespace xqt::cli {

/// The box inquire and upgrade show when the firmware does not suit the camera.
inline constexpr const char* NOT_SUITABLE_TEXT = "This firmware is not suitable for the target camera.";

/// The password: the first line of `passwordFile` when one is named (a file that group or others
/// may access is refused, and a UTF-8 byte order mark skipped), else XQT_PASSWORD, else, unless
/// `noPrompt`, typed on the terminal without echo (or the first line of a piped standard input).
/// A trailing CR is dropped. The reason when none can be had; the password itself is never printed.
Result<std::string> ReadPassword(const std::string& passwordFile, bool noPrompt);

/// Adds the options ReadPassword takes, --password-file and --no-prompt, to `command`.
void AddPasswordOptions(CLI::App* command, std::string& passwordFile, bool& noPrompt);

/// The reason when the file at `path` cannot be examined or group or others have any access to it:
/// a file holding a password must be its owner's alone.
Result<void> IsPrivateFile(const std::string& path);

/// "a.b.c.d[:port]" in the form the sessions use (port 80 omitted); nullopt for anything else,
/// including a port outside 1-65535 or with other characters than digits, and an address that is
/// no camera's (multicast, broadcast, 0.0.0.0/8, 240.0.0.0/4: see NonUnicastKind).
[[nodiscard]] std::optional<std::string> NormaliseAddress(const std::string& text);

/// Why NormaliseAddress refuses `text`, for a person: "TEXT is not an IPv4 address with an optional
/// port 1-65535" or "TEXT is a multicast address (224.0.0.0/4), not a camera's"; TEXT shown as
/// TerminalText shows it.
[[nodiscard]] std::string AddressRefusal(const std::string& text);

/// An option's check: a number from `low` to `high`, both included. Anything else, NaN and the
/// infinities among it, is a usage error.
[[nodiscard]] CLI::Validator NumberIn(double low, double high);

/// The serial-number rules, built on first use.
[[nodiscard]] bool SerialAllowed(const std::string& serial);

/// The exit code of a check refused for `fault`: unreachable for every silence, login for a login
/// the camera refused or that is not the administrator's, unsuitable for the rest.
[[nodiscard]] int CheckExitCode(CameraFault fault);

/// The word scripts read beside the exit code of a refused check ("unreachable", "login",
/// "unsuitable"): the `failure` of upgrade's result.
[[nodiscard]] const char* CheckExitWord(CameraFault fault);

/// True for a loopback address ("127.x.y.z[:port]"): the only cameras --time-scale may be used with.
[[nodiscard]] bool IsLoopback(const std::string& hostPort);

/// Shows a box as its text on standard error (the engine's messages to a command-line user).
class StderrMessageBoxes : public platform::MessageBoxes {
  public:
    platform::MbResult Show(const std::string& text, const std::string& caption, platform::MbButtons buttons,
                            platform::MbIcon icon) override;
};

}  // namespace xqt::cli
