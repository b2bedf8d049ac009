#include "cli/TerminalText.h"

#include "platform/TextCodec.h"

namespace xqt::cli {

std::string TerminalText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const char32_t cp = platform::NextCodePoint(utf8, at);
        const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
        platform::AppendUtf8(out, control ? U'?' : cp);
    }
    return out;
}

std::string JsonText(const nlohmann::json& value, int indent) {
    return value.dump(indent, ' ', true, nlohmann::json::error_handler_t::replace);
}

}  // namespace xqt::cli
