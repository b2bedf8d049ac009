#include "camera/HostPort.h"

namespace xqt {

std::string FormatHostPort(const std::array<std::uint8_t, 4>& address, int port) {
    std::string text = std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
                       std::to_string(address[2]) + "." + std::to_string(address[3]);
    if (port != 80) text += ":" + std::to_string(port);
    return text;
}

const char* NonUnicastKind(const std::array<std::uint8_t, 4>& address) {
    if (address[0] == 0) return "a \"this network\" address (0.0.0.0/8)";
    if (address[0] >= 224 && address[0] <= 239) return "a multicast address (224.0.0.0/4)";
    if (address == std::array<std::uint8_t, 4>{255, 255, 255, 255})
        return "the broadcast address 255.255.255.255";
    if (address[0] >= 240) return "a reserved address (240.0.0.0/4)";
    return nullptr;
}

HostPort SplitHostPort(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return HostPort{std::string(text), 80};
    HostPort result{std::string(text.substr(0, colon)), 0};
    const std::string_view rest = text.substr(colon + 1, 10);
    for (char c : rest) {
        if (c < '0' || c > '9') break;
        result.port = result.port * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return result;
}

}  // namespace xqt
