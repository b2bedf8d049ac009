#include "platform/PlaceholderImage.h"

#include <algorithm>
#include <cstring>

namespace xqt::platform {

namespace {
constexpr char kMagic[] = "XQT-PLACEHOLDER-FIRMWARE\nversion=";
}

std::vector<std::uint8_t> MakePlaceholderImage(std::size_t size, const std::string& version) {
    std::vector<std::uint8_t> image(size, 0);
    std::string header = std::string(kMagic) + version.substr(0, 24) + "\n";
    std::copy_n(header.begin(), std::min(header.size(), size), image.begin());
    std::uint32_t x = 0x5851540Au;
    for (std::size_t i = PLACEHOLDER_HEADER_SIZE; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        image[i] = static_cast<std::uint8_t>(x >> 24);
    }
    return image;
}

std::optional<std::string> PlaceholderImageVersion(std::span<const std::uint8_t> image) {
    const std::size_t magicLen = sizeof(kMagic) - 1;
    if (image.size() < PLACEHOLDER_HEADER_SIZE || std::memcmp(image.data(), kMagic, magicLen) != 0)
        return std::nullopt;
    std::string version;
    for (std::size_t i = magicLen; i < PLACEHOLDER_HEADER_SIZE && image[i] != '\n' && image[i] != 0; ++i)
        version += static_cast<char>(image[i]);
    return version;
}

}  // namespace xqt::platform
