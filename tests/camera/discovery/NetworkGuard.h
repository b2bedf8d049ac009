#pragma once
// Keeps the discovery broadcast inside an isolated network namespace. A program that can send the
// broadcast calls GuardBroadcast() before anything else: it refuses to run when the namespace has
// an interface other than `lo`, unless XQT_NO_NETNS=1 says namespaces are unavailable, in which
// case the broadcasting cases skip themselves (BroadcastSkipReason).
//
// Interfaces are listed over netlink (if_nameindex): /sys/class/net shows the namespace that
// mounted sysfs, which after `unshare -n` is still the machine's own.

#include <optional>
#include <string>
#include <vector>

namespace xqt::test {

/// Names of the interfaces of this process's network namespace other than "lo".
std::vector<std::string> ForeignInterfaces();

/// Checks the namespace once. Returns false after printing why on standard error when the
/// program must not run at all.
bool GuardBroadcast(const char* program);

/// Set when broadcasting cases must skip (foreign interfaces, XQT_NO_NETNS=1): the reason.
std::optional<std::string> BroadcastSkipReason();

/// Empty when a broadcast sent here reaches loopback (lo up, a default route over it); else what
/// is missing and how to set it up.
std::string BroadcastSetupProblem();

}  // namespace xqt::test
