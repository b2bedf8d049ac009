#pragma once
// How every sub-command prints texts it does not control: what a camera sends (model, serial
// number, versions, MAC address, DocType; UTF-8 once the session has decoded its answer, Windows-1252
// bytes in a discovery reply) and messages or paths built from them. A camera is not trusted: on a
// terminal line every control character, which could move the cursor, retitle the window or forge
// lines, is shown as "?". JSON keeps such a text exactly and is written in ASCII, with "\u" escapes
// for the rest, so it is valid UTF-8 and inert on a terminal. Pure functions; any thread.

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace xqt::cli {

/// `utf8` for a terminal line: malformed sequences as U+FFFD, control characters (C0, DEL, C1) as "?".
[[nodiscard]] std::string TerminalText(std::string_view utf8);

/// `value` as JSON text in ASCII, on one line unless `indent` is 0 or more; malformed UTF-8 in a
/// string becomes U+FFFD.
[[nodiscard]] std::string JsonText(const nlohmann::json& value, int indent = -1);

}  // namespace xqt::cli
