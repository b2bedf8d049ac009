#include "cli/UpgradeReporter.h"

#include <unistd.h>

#include <iomanip>
#include <iostream>

#include "camera/ProgressBar.h"
#include "cli/TerminalText.h"
#include "platform/ResourceText.h"

namespace xqt::cli::upgrade {

std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string StatusWord(UpgradeStatus status) {
    static constexpr std::uint16_t kIds[] = {0, 361, 360, 323, 320, 319, 322, 357, 359, 321};
    const auto code = static_cast<int>(status);
    if (code < 1 || code > 9) return {};
    return OneLine(platform::TextOf(kIds[code]));
}

Reporter::Reporter(bool json) : json_(json), tty_(!json && ::isatty(STDOUT_FILENO)) {}

void Reporter::Status(UpgradeStatus status, std::int32_t progress) {
    EndBarLine();
    const std::string word = StatusWord(status);
    if (json_) {
        Print({{"event", "status"},
               {"code", static_cast<int>(status)},
               {"status", word},
               {"progress", progress}});
    } else {
        std::cout << word << std::endl;
    }
    word_ = word;
    lastDecile_ = progress / 1000;
}

void Reporter::Progress(std::int32_t progress) {
    if (json_) return;
    if (tty_) {
        const int filled = progress * 40 / PROGRESS_MAX;
        std::cout << "\r[" << std::string(filled, '#') << std::string(40 - filled, '-') << "] "
                  << std::setw(3) << progress / 100 << "%  " << word_ << "   " << std::flush;
        barShown_ = true;
        return;
    }
    if (progress / 1000 > lastDecile_) {
        lastDecile_ = progress / 1000;
        std::cout << "progress " << progress / 100 << "%" << std::endl;
    }
}

void Reporter::Message(const std::string& text, const std::string& reason) {
    EndBarLine();
    if (json_) {
        nlohmann::json line = {{"event", "message"}, {"text", OneLine(text)}};
        if (!reason.empty()) line["reason"] = reason;
        Print(line);
    } else {
        std::cout << "message: " << TerminalText(OneLine(text)) << std::endl;
    }
}

void Reporter::Print(const nlohmann::json& line) {
    std::cout << JsonText(line) << std::endl;
}

void Reporter::EndBarLine() {
    if (barShown_) std::cout << std::endl;
    barShown_ = false;
}

}  // namespace xqt::cli::upgrade
