#pragma once
// Writes a firmware bundle's files: a folder, or an uncompressed tar file when the target's name
// ends in ".xqtfw" (the bundle's own file type) or ".tar" (POSIX ustar, regular files only, owner 0, time 0,
// so the same files always give the same bytes). The caller checks the contents; this only writes them.
// Caller's thread.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/Result.h"

namespace xqt {

/// Name inside the bundle (at most 100 bytes) and bytes, in the order they are written.
using BundleFiles = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;

/// Writes `files` to `target`: a new tar file (written beside it, then renamed over it), or a
/// folder that does not exist yet or is empty. The reason when it cannot.
Result<void> WriteBundle(const std::filesystem::path& target, const BundleFiles& files);

}  // namespace xqt
