#include "cli/FirmwareChoice.h"

#include "camera/PlaceholderGuard.h"

namespace xqt::cli {

void AddFirmwareOptions(CLI::App* sub, FirmwareOptions& options) {
    sub->add_option("--firmware", options.bundle,
                    "Firmware bundle (folder or tar) to write instead of the built-in image; see 'firmware'");
    sub->add_option("--trusted-key", options.trustedKeys,
                    "Ed25519 public key (PEM) the bundle must be signed with; may be repeated");
}

TrustSettings TrustFrom(const std::vector<std::string>& keyFiles) {
    return TrustFromEnvironment(std::vector<std::filesystem::path>(keyFiles.begin(), keyFiles.end()));
}

Result<ChosenFirmware> ChooseFirmware(const FirmwareOptions& options, platform::MessageBoxes* boxes) {
    if (options.bundle.empty() && !options.trustedKeys.empty())
        return Fail("--trusted-key checks a bundle; give one with --firmware");
    ChosenFirmware chosen;
    chosen.resources.LoadAll(boxes);
    if (options.bundle.empty()) return chosen;
    const BundleLoad load = LoadFirmwareBundle(options.bundle, TrustFrom(options.trustedKeys));
    if (!load.Usable()) return Fail("firmware bundle " + options.bundle + ": " + load.error);
    chosen.notice = TrustNotice(*load.bundle);
    chosen.resources.ApplyBundle(*load.bundle);
    return chosen;
}

std::optional<std::string> RefuseToward(const ResourceState& resources, const std::string& hostPort) {
    if (resources.CarriesPlaceholder() && !IsLoopbackHost(hostPort)) return std::string(PLACEHOLDER_REFUSAL);
    return std::nullopt;
}

}  // namespace xqt::cli
