#include "tests/camera/discovery/NetworkGuard.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace xqt::test {

namespace {

constexpr const char* SETUP_HINT =
    "run inside: unshare -n bash -c 'ip link set lo up; ip route add default dev lo; <program>'";

std::optional<std::string>& SkipReason() {
    static std::optional<std::string> reason;
    return reason;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

std::vector<std::string> ForeignInterfaces() {
    std::vector<std::string> names;
    struct if_nameindex* list = ::if_nameindex();
    if (!list) return {"<interfaces cannot be listed>"};
    for (struct if_nameindex* entry = list; entry->if_index != 0; ++entry) {
        if (std::strcmp(entry->if_name, "lo") != 0) names.emplace_back(entry->if_name);
    }
    if_freenameindex(list);
    return names;
}

bool GuardBroadcast(const char* program) {
    const auto foreign = ForeignInterfaces();
    if (foreign.empty()) return true;
    const char* noNetns = std::getenv("XQT_NO_NETNS");
    const std::string why = "network interfaces other than lo are present (" + Joined(foreign) +
                            "); the discovery broadcast must not leave an isolated network namespace";
    if (noNetns && std::string(noNetns) == "1") {
        SkipReason() = why + "; XQT_NO_NETNS=1, so the broadcasting cases are skipped";
        std::fprintf(stderr, "%s: %s\n", program, SkipReason()->c_str());
        return true;
    }
    std::fprintf(stderr, "%s: refusing to run: %s.\n%s: %s\n", program, why.c_str(), program, SETUP_HINT);
    return false;
}

std::optional<std::string> BroadcastSkipReason() {
    return SkipReason();
}

std::string BroadcastSetupProblem() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return std::string("cannot create a UDP socket: ") + std::strerror(errno);
    std::string problem;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (::ioctl(fd, SIOCGIFFLAGS, &request) != 0 || !(request.ifr_flags & IFF_UP)) {
        problem = std::string("lo is down; ") + SETUP_HINT;
    } else {
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        sockaddr_in broadcast{};
        broadcast.sin_family = AF_INET;
        broadcast.sin_port = htons(9);
        broadcast.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        // A connect routes without sending anything.
        if (::connect(fd, reinterpret_cast<sockaddr*>(&broadcast), sizeof broadcast) != 0)
            problem = std::string("no route for the broadcast (") + std::strerror(errno) + "); " + SETUP_HINT;
    }
    ::close(fd);
    return problem;
}

}  // namespace xqt::test
