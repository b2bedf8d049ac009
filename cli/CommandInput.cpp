// Password, address and serial rule as the camera sub-commands take them.
#include "cli/CommandInput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <sstream>

#include "camera/HostPort.h"
#include "cli/ExitCodes.h"
#include "cli/TerminalText.h"
#include "platform/BoundedText.h"
#include "platform/Secrets.h"
#include "serialrules/SerialProtect.h"

namespace xqt::cli {

namespace {

/// Longest password line taken from standard input or the terminal; a longer one is refused.
constexpr std::size_t PASSWORD_LINE_MAX = 4096;

// The terminal whose echo the prompt has turned off, for the signal handler: set before the
// handler is installed and kept until it is removed.
volatile std::sig_atomic_t echoTty = -1;
termios echoSaved{};
constexpr int kPromptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// A signal that ends the process at the prompt first gives the terminal its echo back.
// Async-signal-safe calls only.
void RestoreEchoAndRaise(int signal) {
    if (echoTty >= 0) ::tcsetattr(echoTty, TCSAFLUSH, &echoSaved);
    ::signal(signal, SIG_DFL);
    ::raise(signal);  // delivered with the default action once the handler returns
}

/// Echo off on `tty` while it lives, also when a signal ends the process meanwhile. Stop signals
/// are left alone: the process goes on after them and gives the echo back itself.
class EchoOff {
  public:
    explicit EchoOff(int tty) {
        if (::tcgetattr(tty, &echoSaved) != 0) return;
        echoTty = tty;
        for (std::size_t i = 0; i < std::size(kPromptSignals); ++i) {
            struct sigaction action {};
            action.sa_handler = &RestoreEchoAndRaise;
            sigemptyset(&action.sa_mask);
            ::sigaction(kPromptSignals[i], nullptr, &previous_[i]);
            if (previous_[i].sa_handler != SIG_IGN) ::sigaction(kPromptSignals[i], &action, nullptr);
        }
        termios quiet = echoSaved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        if (echoTty < 0) return;
        ::tcsetattr(echoTty, TCSAFLUSH, &echoSaved);
        for (std::size_t i = 0; i < std::size(kPromptSignals); ++i)
            ::sigaction(kPromptSignals[i], &previous_[i], nullptr);
        echoTty = -1;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    struct sigaction previous_[std::size(kPromptSignals)]{};
};

enum class LineRead { Line, End, TooLong };

/// One line from `fd`, read byte by byte so that nothing after it is taken; without its LF and a
/// CR before that. End when nothing at all could be read.
LineRead ReadLine(int fd, std::string& line) {
    line.clear();
    bool any = false;
    for (char c = 0;;) {
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got != 1 || c == '\n') {
            if (got == 1) any = true;
            break;
        }
        any = true;
        if (line.size() == PASSWORD_LINE_MAX) return LineRead::TooLong;
        line += c;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any ? LineRead::Line : LineRead::End;
}

constexpr const char* NO_PASSWORD = "no password: use --password-file, XQT_PASSWORD or a terminal to type it";

Result<std::string> PromptPassword() {
    std::string line;
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) {
        if (::isatty(STDIN_FILENO)) return Fail(NO_PASSWORD);
        // Piped in: the first line of standard input.
        const LineRead read = ReadLine(STDIN_FILENO, line);
        if (read == LineRead::TooLong)
            return Fail("the password line on standard input is longer than " +
                        std::to_string(PASSWORD_LINE_MAX) + " bytes");
        if (read != LineRead::Line) return Fail(NO_PASSWORD);
        return line;
    }
    LineRead read = LineRead::End;
    {
        const EchoOff quiet(tty);
        const char prompt[] = "Password: ";
        (void)!::write(tty, prompt, sizeof(prompt) - 1);
        read = ReadLine(tty, line);
    }
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    if (read == LineRead::TooLong)
        return Fail("the typed password is longer than " + std::to_string(PASSWORD_LINE_MAX) + " bytes");
    if (read != LineRead::Line) return Fail(NO_PASSWORD);
    return line;
}

}  // namespace

Result<void> IsPrivateFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return Fail("cannot read " + path + ": " + std::strerror(errno));
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return Fail(path + " can be read by others; make it private (chmod 600) and try again");
    return Done();
}

void AddPasswordOptions(CLI::App* command, std::string& passwordFile, bool& noPrompt) {
    command->add_option("--password-file", passwordFile, "File whose first line is the password (mode 600)");
    command->add_flag("--no-prompt", noPrompt,
                      "Never ask for the password on the terminal or standard input (for scripts)");
}

Result<std::string> ReadPassword(const std::string& passwordFile, bool noPrompt) {
    platform::KeepSecretsOutOfCoreDumps();
    if (!passwordFile.empty()) {
        if (Result<void> private_ = IsPrivateFile(passwordFile); !private_) return Fail(private_.error());
        const platform::BoundedText file = platform::ReadBoundedText(passwordFile);
        switch (file.outcome) {
            case platform::TextReadOutcome::Read:
                break;
            case platform::TextReadOutcome::TooLong:
                return Fail("the password file " + passwordFile + " is longer than " +
                            std::to_string(platform::TEXT_READ_LIMIT) + " bytes");
            default:
                return Fail("cannot read the password file " + passwordFile + ": " +
                            std::strerror(file.error));
        }
        const std::string_view text = platform::WithoutByteOrderMark(file.bytes);
        std::string line(text.substr(0, text.find('\n')));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    if (const char* env = std::getenv("XQT_PASSWORD")) return std::string(env);
    if (noPrompt)
        return Fail(
            "no password, and --no-prompt forbids asking for one: use --password-file or XQT_PASSWORD");
    return PromptPassword();
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
    const std::array<std::uint8_t, 4> address{b[0], b[1], b[2], b[3]};
    if (NonUnicastKind(address)) return std::nullopt;
    return FormatHostPort(address, static_cast<int>(where.port));
}

std::string AddressRefusal(const std::string& text) {
    in_addr parsed{};
    const std::string host = SplitHostPort(text).host;
    if (::inet_pton(AF_INET, host.c_str(), &parsed) == 1) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(&parsed.s_addr);
        if (const char* kind = NonUnicastKind({b[0], b[1], b[2], b[3]}))
            return TerminalText(text) + " is " + kind + ", not a camera's";
    }
    return TerminalText(text) + " is not an IPv4 address with an optional port 1-65535";
}

CLI::Validator NumberIn(double low, double high) {
    std::ostringstream text;
    text << "[" << low << " - " << high << "]";
    const std::string range = text.str();
    return CLI::Validator(
        [low, high, range](std::string& input) -> std::string {
            double value = 0;
            if (CLI::detail::lexical_cast(input, value) && value >= low && value <= high) return {};
            return "Value " + input + " not in range " + range;
        },
        "NUMBER in " + range);
}

bool SerialAllowed(const std::string& serial) {
    return ns_serial_protect::JudgeSerial(serial) == ns_serial_protect::SerialVerdict::Allowed;
}

int CheckExitCode(CameraFault fault) {
    if (IsSilence(fault)) return EXIT_UNREACHABLE;
    if (fault == CameraFault::LoginRefused || fault == CameraFault::NotAdministrator) return EXIT_LOGIN;
    return EXIT_UNSUITABLE;
}

const char* CheckExitWord(CameraFault fault) {
    switch (CheckExitCode(fault)) {
        case EXIT_UNREACHABLE:
            return "unreachable";
        case EXIT_LOGIN:
            return "login";
        default:
            return "unsuitable";
    }
}

bool IsLoopback(const std::string& hostPort) {
    return hostPort.rfind("127.", 0) == 0;
}

platform::MbResult StderrMessageBoxes::Show(const std::string& text, const std::string&, platform::MbButtons,
                                            platform::MbIcon) {
    std::cerr << text << '\n';
    return platform::MbResult::Ok;
}

}  // namespace xqt::cli
