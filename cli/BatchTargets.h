#pragma once
// xqt-cli batch: the cameras of a run, from an address list or from discovery.
#include <optional>
#include <string>
#include <vector>

#include "camera/ResourceState.h"
#include "fleet/TargetList.h"

#include "platform/Result.h"

namespace xqt::cli::batch {

/// One camera to upgrade, with the login it takes.
struct Target {
    UpgradeData data;
    std::string hostPort;
};

/// The cameras of an address list FILE, or of standard input for "-"; the reason for a
/// file that cannot be read or is not a list.
Result<std::vector<Target>> TargetsFromList(const std::string& input);

/// The suitable cameras that answer the broadcast enquiry; the reason when the discovery
/// could not start.
Result<std::vector<Target>> TargetsFromDiscovery(const ResourceState& resources);

/// Refuses a target list that names one camera twice (two sessions would flash it twice, the
/// second while it overwrites); empty when every target is another camera.
[[nodiscard]] std::string FindRepeatedTarget(const std::vector<Target>& targets);

}  // namespace xqt::cli::batch
