#include "platform/Sockets.h"

#include <sys/socket.h>
#include <unistd.h>

namespace xqt::platform {

bool InitSockets() {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace xqt::platform
