#pragma once
// The stand-in firmware image built into the program when no real image is given. The tool never
// looks inside an image; only the simulated cameras read the version from this header so they can
// report it after "flashing".

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace xqt::platform {

inline constexpr std::size_t PLACEHOLDER_HEADER_SIZE = 64;

/// Deterministic image: a 64-byte header naming `version`, then pseudo-random bytes.
std::vector<std::uint8_t> MakePlaceholderImage(std::size_t size, const std::string& version);

/// Version named by a placeholder header, or nothing for any other image.
[[nodiscard]] std::optional<std::string> PlaceholderImageVersion(std::span<const std::uint8_t> image);

}  // namespace xqt::platform
