#pragma once
// Keeps the build's placeholder image (a stand-in for simulated cameras) off real cameras: it may
// only be written to loopback addresses. Pure functions, any thread; nothing here opens a socket.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace xqt {

/// What every front end says when it refuses the placeholder toward a camera outside loopback.
inline constexpr std::string_view PLACEHOLDER_REFUSAL =
    "This build carries a placeholder image for simulated cameras; give a firmware bundle with --firmware.";

/// True for "127.x.y.z" with an optional ":port", each x/y/z a decimal byte. Anything else (names,
/// other addresses, malformed text) is not loopback.
[[nodiscard]] bool IsLoopbackHost(std::string_view hostPort);

/// True when `image` starts with the placeholder's header.
[[nodiscard]] bool IsPlaceholderImage(std::span<const std::uint8_t> image);

/// The refusal text when `image` is the placeholder and `hostPort` is not loopback; nothing when
/// the image may be sent there.
[[nodiscard]] std::optional<std::string> PlaceholderRefusal(std::span<const std::uint8_t> image,
                                                            std::string_view hostPort);

}  // namespace xqt
