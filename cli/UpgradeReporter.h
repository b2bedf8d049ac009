#pragma once
// xqt-cli upgrade: what the run says as it goes: status words, a progress bar on a terminal,
// plain lines otherwise, or one JSON object per line with --json. Used on the command's thread only.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "camera/UpgradeStatus.h"

namespace xqt::cli::upgrade {

/// A BIN text on one line: line breaks become single spaces, the ends are trimmed.
[[nodiscard]] std::string OneLine(const std::string& text);

/// Status words of the manual page (BIN 361, 360, 323, 320, 319, 322, 357, 359, 321).
[[nodiscard]] std::string StatusWord(UpgradeStatus status);

/// Prints the run on standard output: a status word per status, the bar redrawn in place on a
/// terminal (a line per tenth otherwise), messages; with `json` one object per line instead.
class Reporter {
  public:
    explicit Reporter(bool json);

    void Status(UpgradeStatus status, std::int32_t progress);
    void Progress(std::int32_t progress);
    /// A line for the user; `reason` (a failure's word) goes with it into the JSON event.
    void Message(const std::string& text, const std::string& reason = {});
    void Print(const nlohmann::json& line);
    /// Ends the bar's line, if one is shown, so the next text starts on a line of its own.
    void EndBarLine();

    bool json() const { return json_; }

  private:
    bool json_;
    bool tty_;
    bool barShown_ = false;
    std::string word_;
    int lastDecile_ = 0;
};

}  // namespace xqt::cli::upgrade
