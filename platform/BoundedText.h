#pragma once
// Reading a whole small text (an address list, a password file) with a bound on its size, so that
// an endless source (a device, a pipe that never closes) is refused once the bound is passed
// instead of filling memory, and nothing is ever used half read. The text ends at its first zero
// byte, as a C string does: what follows it is never read. Blocking reads on the calling thread;
// any thread; no state.

#include <cstddef>
#include <string>
#include <string_view>

namespace xqt::platform {

/// Bytes a text read here may hold by default: far more than any list of cameras or password.
inline constexpr std::size_t TEXT_READ_LIMIT = 1024 * 1024;

enum class TextReadOutcome {
    Read,        ///< the whole text, up to its first zero byte or its end
    CannotOpen,  ///< the file could not be opened (missing, no permission)
    ReadFailed,  ///< a read failed (a folder, an I/O error)
    TooLong,     ///< more than the bound before its end or first zero byte
};

struct BoundedText {
    TextReadOutcome outcome = TextReadOutcome::Read;
    std::string bytes;       ///< the text when Read, else empty
    int error = 0;           ///< errno of CannotOpen and ReadFailed
    bool cutAtZero = false;  ///< Read: the source went on after a zero byte, which ended the text
};

/// `text` without a UTF-8 byte order mark at its start (editors on some systems write one).
std::string_view WithoutByteOrderMark(std::string_view text);

/// The text of the file at `path` (opened without waiting for a writer when it is a FIFO).
[[nodiscard]] BoundedText ReadBoundedText(const std::string& path, std::size_t limit = TEXT_READ_LIMIT);
/// The text read from `fd` from where it stands; the caller keeps and closes `fd`.
[[nodiscard]] BoundedText ReadBoundedText(int fd, std::size_t limit = TEXT_READ_LIMIT);

}  // namespace xqt::platform
