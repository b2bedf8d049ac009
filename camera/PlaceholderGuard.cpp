#include "camera/PlaceholderGuard.h"

#include "platform/PlaceholderImage.h"

namespace xqt {

namespace {

// One decimal byte at the front of `text`, consumed; false when there is none.
bool TakeByte(std::string_view& text) {
    std::size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        value = value * 10 + static_cast<unsigned>(text[digits] - '0');
        if (++digits > 3) return false;
    }
    if (digits == 0 || value > 255) return false;
    text.remove_prefix(digits);
    return true;
}

}  // namespace

bool IsLoopbackHost(std::string_view hostPort) {
    std::string_view rest = hostPort;
    if (!rest.starts_with("127.")) return false;
    rest.remove_prefix(4);
    for (int i = 0; i < 3; ++i) {
        if (!TakeByte(rest)) return false;
        if (i < 2) {
            if (rest.empty() || rest.front() != '.') return false;
            rest.remove_prefix(1);
        }
    }
    if (rest.empty()) return true;
    if (rest.front() != ':') return false;
    rest.remove_prefix(1);
    if (rest.empty() || rest.size() > 5) return false;
    unsigned port = 0;
    for (char c : rest) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + static_cast<unsigned>(c - '0');
    }
    return port >= 1 && port <= 65535;
}

bool IsPlaceholderImage(std::span<const std::uint8_t> image) {
    return platform::PlaceholderImageVersion(image).has_value();
}

std::optional<std::string> PlaceholderRefusal(std::span<const std::uint8_t> image,
                                              std::string_view hostPort) {
    if (!IsPlaceholderImage(image) || IsLoopbackHost(hostPort)) return std::nullopt;
    return std::string(PLACEHOLDER_REFUSAL);
}

}  // namespace xqt
