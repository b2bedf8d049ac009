// Password, address and serial rule as the camera sub-commands take them.
#include "cli/CommandInput.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "camera/HostPort.h"
#include "serialrules/SerialProtect.h"

namespace xqt::cli {

namespace {

std::optional<std::string> PromptPassword() {
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) {
        if (::isatty(STDIN_FILENO)) return std::nullopt;
        std::string line;  // piped in: the first line of standard input
        if (!std::getline(std::cin, line)) return std::nullopt;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    termios saved{};
    const bool haveTerm = ::tcgetattr(tty, &saved) == 0;
    if (haveTerm) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    const char prompt[] = "Password: ";
    (void)!::write(tty, prompt, sizeof(prompt) - 1);
    std::string line;
    char c = 0;
    bool gotLine = false;
    while (::read(tty, &c, 1) == 1) {
        if (c == '\n') {
            gotLine = true;
            break;
        }
        line += c;
    }
    if (haveTerm) ::tcsetattr(tty, TCSAFLUSH, &saved);
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    if (!gotLine && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

std::optional<std::string> ReadPassword(const std::string& passwordFile, std::string& error) {
    if (!passwordFile.empty()) {
        std::ifstream in(passwordFile, std::ios::binary);
        std::string line;
        if (!in || (!std::getline(in, line) && !in.eof())) {
            error = "cannot read the password file " + passwordFile;
            return std::nullopt;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    if (const char* env = std::getenv("XQT_PASSWORD")) return std::string(env);
    auto typed = PromptPassword();
    if (!typed) error = "no password: use --password-file, XQT_PASSWORD or a terminal to type it";
    return typed;
}

std::optional<std::string> NormaliseAddress(const std::string& text) {
    const HostPort where = SplitHostPort(text);
    in_addr parsed{};
    if (::inet_pton(AF_INET, where.host.c_str(), &parsed) != 1) return std::nullopt;
    if (text.find(':') != std::string::npos) {
        const std::string portText = text.substr(text.find(':') + 1);
        if (portText.empty() || portText.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
    }
    if (!IsUsablePort(where.port)) return std::nullopt;
    const auto* b = reinterpret_cast<const std::uint8_t*>(&parsed.s_addr);
    return FormatHostPort({b[0], b[1], b[2], b[3]}, static_cast<int>(where.port));
}

bool SerialAllowed(const std::string& serial) {
    return ns_serial_protect::IsSerialAllowed(std::string_view(serial)) != 0;
}

}  // namespace xqt::cli
