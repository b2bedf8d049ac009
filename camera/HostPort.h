#pragma once
// Camera address texts: "a.b.c.d" for port 80, "a.b.c.d:port" otherwise. The same text is the
// host of every request to the camera. Pure functions; any thread.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace xqt {

/// Longest address text a session holds ("255.255.255.255:65535" is 21 characters).
inline constexpr std::size_t HOSTPORT_MAX = 23;

struct HostPort {
    std::string host;
    /// Decimal value of up to ten digits; may lie outside 0-65535 for a malformed text, which
    /// IsUsablePort tells before anything is sent.
    std::uint64_t port = 80;
};

/// "%d.%d.%d.%d" when `port` is 80, "%d.%d.%d.%d:%d" otherwise.
[[nodiscard]] std::string FormatHostPort(const std::array<std::uint8_t, 4>& address, int port);

/// Why `address` can be no camera's: "a \"this network\" address (0.0.0.0/8)", "a multicast
/// address (224.0.0.0/4)", "the broadcast address 255.255.255.255" or "a reserved address
/// (240.0.0.0/4)"; nullptr for a unicast address, loopback (127.0.0.0/8) among them. A request to
/// any of these would reach no camera, or every host of a network.
[[nodiscard]] const char* NonUnicastKind(const std::array<std::uint8_t, 4>& address);

/// Host is the text before the first ":", the port the leading digits of at most ten characters
/// after it (no digits give 0); a text without ":" is all host, port 80.
[[nodiscard]] HostPort SplitHostPort(std::string_view text);

/// A port a connection can be made to: 1-65535. Port 0 and values that a 16-bit port would wrap
/// are refused instead of reaching some other port.
[[nodiscard]] inline bool IsUsablePort(std::uint64_t port) {
    return port >= 1 && port <= 65535;
}

}  // namespace xqt
