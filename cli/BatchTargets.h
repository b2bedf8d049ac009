#pragma once
// xqt-cli batch: the cameras of a run, from an address list or from discovery.
#include <optional>
#include <string>
#include <vector>

#include "camera/ResourceState.h"
#include "fleet/TargetList.h"

namespace xqt::cli::batch {

/// One camera to upgrade, with the login it takes.
struct Target {
    UpgradeData data;
    std::string hostPort;
};

/// The cameras of an address list FILE, or of standard input for "-"; nullopt with `error` for a
/// file that cannot be read or is not a list.
std::optional<std::vector<Target>> TargetsFromList(const std::string& input, std::string& error);

/// The suitable cameras that answer the broadcast enquiry; nullopt with `error` when the discovery
/// could not start.
std::optional<std::vector<Target>> TargetsFromDiscovery(const ResourceState& resources, std::string& error);

/// Refuses a target list that names one camera twice (two sessions would flash it twice, the
/// second while it overwrites); empty when every target is another camera.
std::string FindRepeatedTarget(const std::vector<Target>& targets);

}  // namespace xqt::cli::batch
