#pragma once
// A peer on 127.0.0.1 for the fuzz targets of what cameras send: it accepts one connection at a
// time, reads the request (head and Content-Length body), answers with the bytes it was given, shuts
// its sending side and waits for the client to leave. Runs on a thread of its own for the life of
// the process; the fuzz target sets the answer before each exchange.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace xqt::fuzz {

class CannedPeer {
  public:
    CannedPeer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::abort();  // no loopback: nothing to fuzz against
        }
        port_ = ntohs(address.sin_port);
        std::thread([this] { Serve(); }).detach();
    }

    /// "127.0.0.1:<port>".
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

    /// The bytes the next connections are answered with.
    void SetAnswer(std::string_view bytes) {
        std::lock_guard lock(mutex_);
        answer_.assign(bytes);
    }

  private:
    void Serve() {
        for (;;) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::string answer;
            {
                std::lock_guard lock(mutex_);
                answer = answer_;
            }
            if (ReadRequest(fd)) {
                for (std::size_t sent = 0; sent < answer.size();) {
                    const ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0) break;
                    sent += static_cast<std::size_t>(n);
                }
            }
            ::shutdown(fd, SHUT_WR);
            char scratch[4096];
            while (::recv(fd, scratch, sizeof(scratch), 0) > 0) {
            }
            ::close(fd);
        }
    }

    // Reads the head and as many body bytes as its Content-Length names; false when the client
    // left before.
    static bool ReadRequest(int fd) {
        std::string seen;
        char buffer[16384];
        std::size_t headEnd = std::string::npos;
        std::size_t bodyLength = 0;
        for (;;) {
            if (headEnd != std::string::npos && seen.size() >= headEnd + 4 + bodyLength) return true;
            const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
            if (n <= 0) return false;
            seen.append(buffer, static_cast<std::size_t>(n));
            if (headEnd == std::string::npos && (headEnd = seen.find("\r\n\r\n")) != std::string::npos) {
                const std::size_t at = seen.find("Content-Length: ");
                if (at != std::string::npos && at < headEnd)
                    bodyLength = std::strtoul(seen.c_str() + at + 16, nullptr, 10);
            }
        }
    }

    int listener_ = -1;
    unsigned short port_ = 0;
    std::mutex mutex_;
    std::string answer_;
};

}  // namespace xqt::fuzz
