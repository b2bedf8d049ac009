#pragma once
// The firmware a camera command writes: the embedded image, or a bundle named with --firmware and
// checked with the trusted keys (--trusted-key, the trusted-keys folder). Shared by inquire,
// upgrade and batch; the bundle is read and checked completely before any camera is touched.

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

#include "camera/FirmwareBundle.h"
#include "camera/ResourceState.h"
#include "platform/Result.h"

namespace xqt::cli {

struct FirmwareOptions {
    std::string bundle;                    ///< --firmware; empty: the embedded image
    std::vector<std::string> trustedKeys;  ///< --trusted-key, any number
};

/// Registers --firmware BUNDLE and --trusted-key FILE on `sub`.
void AddFirmwareOptions(CLI::App* sub, FirmwareOptions& options);

/// Where trusted keys are read from: XQT_TRUSTED_KEYS_DIR when set, else /etc/xqt/trusted-keys.
[[nodiscard]] TrustSettings TrustFrom(const std::vector<std::string>& keyFiles);

/// The embedded resources, replaced by the bundle when one is named. Messages of the embedded
/// loaders go to `boxes`. The reason when the bundle cannot be used (exit 2); a bundle no trusted
/// key vouches for is taken, with a notice saying so.
struct ChosenFirmware {
    ResourceState resources;
    std::string notice;  ///< for the user before any camera is touched; empty when none
};
Result<ChosenFirmware> ChooseFirmware(const FirmwareOptions& options, platform::MessageBoxes* boxes);

/// The placeholder refusal when `resources` carry the build's placeholder and `hostPort` is not on
/// loopback; nothing otherwise.
[[nodiscard]] std::optional<std::string> RefuseToward(const ResourceState& resources,
                                                      const std::string& hostPort);

}  // namespace xqt::cli
