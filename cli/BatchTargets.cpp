#include "cli/BatchTargets.h"

#include <unistd.h>

#include <cctype>
#include <iostream>
#include <map>

#include "camera/DiscoveryResults.h"
#include "camera/DiscoveryService.h"
#include "camera/HostPort.h"
#include "cli/TerminalText.h"
#include "fleet/Conversions.h"
#include "fleet/TargetListText.h"
#include "fleet/TextForms.h"
#include "platform/BoundedText.h"
#include "serialrules/SerialProtect.h"

namespace xqt::cli::batch {

Result<std::vector<Target>> TargetsFromList(const std::string& input) {
    const bool standardInput = input == "-";
    const platform::BoundedText text =
        standardInput ? platform::ReadBoundedText(STDIN_FILENO) : platform::ReadBoundedText(input);
    if (text.outcome == platform::TextReadOutcome::TooLong) {
        return Fail(input + " is longer than 1 MiB");
    }
    if (text.outcome != platform::TextReadOutcome::Read) {
        return Fail("cannot read " + (standardInput ? std::string("standard input") : input));
    }
    const TargetListText list = ReadTargetList(text.bytes, text.cutAtZero);
    if (!list.Accepted()) {
        return Fail((standardInput ? std::string("standard input") : input) + ", " + list.error);
    }
    std::vector<Target> targets;
    for (const ListedTarget& listed : list.targets) {
        Target target;
        target.data.address = listed.entry.address;
        target.data.port = listed.entry.port;
        target.data.ticked = true;
        target.hostPort = AddressText(listed.entry.address, listed.entry.port);
        targets.push_back(std::move(target));
    }
    return targets;
}

Result<std::vector<Target>> TargetsFromDiscovery(const ResourceState& resources) {
    DiscoveryResults results(resources.modelNames, [](const std::string& serial) {
        return ns_serial_protect::JudgeSerialAnsi(serial) == ns_serial_protect::SerialVerdict::Allowed;
    });
    DiscoveryOptions options;
    options.print = [](const std::string& line) { std::cerr << TerminalText(line) << std::endl; };
    options.exitProcess = [](int) {};
    DiscoveryService service(results, options);
    if (const int code = service.Run(); code != 0) {
        return Fail("discovery could not start (" + std::to_string(code) + ")");
    }
    std::vector<Target> targets;
    for (const DiscoveryEntry& entry : results.Snapshot()) {
        const auto camera = EntryFromDiscovery(entry);
        if (!camera) continue;
        Target target;
        target.data.mac = camera->macText;
        target.data.address = camera->address;
        target.data.port = camera->port;
        target.data.dhcp = camera->dhcp;
        target.data.model = camera->model;
        target.data.serial = camera->serial;
        target.data.version = camera->version;
        target.data.ticked = true;
        target.hostPort = AddressText(camera->address, camera->port);
        targets.push_back(std::move(target));
    }
    return targets;
}

std::string FindRepeatedTarget(const std::vector<Target>& targets) {
    std::map<std::string, std::size_t> byAddress;
    std::map<std::string, std::size_t> byMac;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Target& target = targets[i];
        if (const auto [first, added] = byAddress.emplace(target.hostPort, i); !added) {
            return "entries " + std::to_string(first->second + 1) + " and " + std::to_string(i + 1) +
                   " of the targets both name the camera at " + target.hostPort;
        }
        if (target.data.mac.empty()) continue;
        std::string mac = target.data.mac;
        for (char& c : mac)
            c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (const auto [first, added] = byMac.emplace(mac, i); !added) {
            return "the cameras at " + targets[first->second].hostPort + " and " + target.hostPort +
                   " report the same MAC " + target.data.mac;
        }
    }
    return {};
}
}  // namespace xqt::cli::batch
