#include "camera/DiscoveryReply.h"

#include <limits>
#include <optional>

namespace xqt {

namespace {

constexpr std::string_view WHITESPACE = " \t\n\v\f\r";

// Reads an optionally signed decimal number at `pos` after optional white space, as "%d" does,
// and moves `pos` past it. Saturates instead of overflowing: camera values are untrusted.
std::optional<std::int64_t> ReadDecimal(std::string_view text, std::size_t& pos) {
    std::size_t at = text.find_first_not_of(WHITESPACE, pos);
    if (at == std::string_view::npos) return std::nullopt;
    bool negative = false;
    if (text[at] == '+' || text[at] == '-') {
        negative = text[at] == '-';
        ++at;
    }
    constexpr std::int64_t LIMIT = std::numeric_limits<std::int32_t>::max() + std::int64_t{1};
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
        if (value < LIMIT) value = value * 10 + (text[at] - '0');
    }
    if (digits == 0) return std::nullopt;
    pos = at;
    if (value > LIMIT) value = LIMIT;
    return negative ? -value : value;
}

}  // namespace

std::string_view ReadField(std::string_view text, std::string_view key, std::size_t room) {
    const std::size_t at = text.find(key);
    if (at == std::string_view::npos || room == 0) return {};
    std::string_view value = text.substr(at + key.size());
    value = value.substr(0, value.find(FIELD_END));
    if (value.size() > room - 1) value = value.substr(0, room - 1);
    return value;
}

bool IsFieldOn(std::string_view text, std::string_view key) {
    // Read without a room so that "ONX" can never be cut down to "ON".
    return ReadField(text, key, text.size() + 1) == "ON";
}

std::array<std::uint8_t, 4> ParseIpAddress(std::string_view value) {
    std::array<std::uint8_t, 4> bytes{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto number = ReadDecimal(value, pos);
        if (!number) break;
        bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(*number) & 0xFF);
        if (i + 1 < bytes.size()) {
            if (pos >= value.size() || value[pos] != '.') break;
            ++pos;
        }
    }
    return bytes;
}

std::int32_t ParseWebPort(std::string_view value) {
    if (value.empty()) return 80;
    std::size_t pos = 0;
    auto number = ReadDecimal(value, pos);
    if (!number) return 0;
    if (*number > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (*number < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(*number);
}

}  // namespace xqt
