#include "platform/BoundedText.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>

namespace xqt::platform {

namespace {

BoundedText Failure(TextReadOutcome outcome, int error = 0) {
    BoundedText result;
    result.outcome = outcome;
    result.error = error;
    return result;
}

}  // namespace

BoundedText ReadBoundedText(int fd, std::size_t limit) {
    BoundedText result;
    std::array<char, 65536> chunk;
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return Failure(TextReadOutcome::ReadFailed, errno);
        }
        if (got == 0) return result;
        const std::string_view part(chunk.data(), static_cast<std::size_t>(got));
        const std::size_t zero = part.find('\0');
        const std::string_view text = part.substr(0, zero);
        if (text.size() > limit - result.bytes.size()) return Failure(TextReadOutcome::TooLong);
        result.bytes.append(text);
        if (zero != std::string_view::npos) {
            result.cutAtZero = true;
            return result;
        }
    }
}

std::string_view WithoutByteOrderMark(std::string_view text) {
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    if (text.substr(0, mark.size()) == mark) text.remove_prefix(mark.size());
    return text;
}

BoundedText ReadBoundedText(const std::string& path, std::size_t limit) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Failure(TextReadOutcome::CannotOpen, errno);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int error = errno;
        ::close(fd);
        return Failure(TextReadOutcome::ReadFailed, error);
    }
    BoundedText result = ReadBoundedText(fd, limit);
    ::close(fd);
    return result;
}

}  // namespace xqt::platform
