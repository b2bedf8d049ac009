#pragma once
// The manifest of a firmware bundle (manifest.json): which version the bundle carries, the models it
// suits and its images, one per slot. The reader is pure (no file access) and refuses anything the
// tool could not use as it stands, naming the first fault it finds. Any thread.
//
// {"format": 1, "version": "1.24", "released": "2026-11-30", "notes": "...",
//  "models": ["XQT-TR60", ...],
//  "images": [{"key": "", "file": "image.bin", "size": 10035200, "sha256": "<64 hex digits>"}, ...]}

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xqt {

inline constexpr std::size_t MANIFEST_MAX_BYTES = 64 * 1024;
inline constexpr std::uint64_t BUNDLE_IMAGE_MAX_BYTES = 64ull * 1024 * 1024;
/// "ver" + version fits the 63 characters of the version label.
inline constexpr std::size_t BUNDLE_VERSION_MAX = 60;
inline constexpr std::size_t BUNDLE_TEXT_MAX = 63;  ///< a model name or a slot key
inline constexpr std::size_t BUNDLE_NOTES_MAX = 4096;

struct ManifestImage {
    std::string key;   ///< the DocType that selects this slot; slot 0's may be empty
    std::string file;  ///< relative path inside the bundle
    std::uint64_t size = 0;
    std::string sha256;  ///< 64 lower-case hexadecimal digits
};

struct BundleManifest {
    int format = 1;
    std::string version;  ///< without "ver", e.g. "1.24"
    std::string released;
    std::string notes;
    std::vector<std::string> models;    ///< 1 to 10
    std::vector<ManifestImage> images;  ///< 1 to 5; image i fills slot i
};

struct ManifestRead {
    std::optional<BundleManifest> manifest;
    std::string error;  ///< what is wrong, when manifest is empty
};

/// Reads and checks manifest text: bounded size, JSON, the fields and their limits, unique keys,
/// file paths that stay inside the bundle (relative, no "..", no empty or "." parts).
[[nodiscard]] ManifestRead ParseManifest(std::string_view text);

/// The manifest as pack writes it (two-space indentation, a final newline).
[[nodiscard]] std::string WriteManifest(const BundleManifest& manifest);

}  // namespace xqt
