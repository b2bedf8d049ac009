#pragma once
// Files that appear whole or not at all: written beside their final name, synced, then put in
// place by a rename (replacing) or a link (never replacing). Writes retry interrupted and short
// writes, so a signal or a slow disk never cuts a file short. One thread per object.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace xqt::platform {

namespace detail {
/// The write(2) the writers call; tests put in one that is interrupted or writes short.
using WriteCall = ssize_t (*)(int fd, const void* data, std::size_t size);
extern WriteCall writeCall;
}  // namespace detail

/// Writes all of `bytes` to `fd`, retrying EINTR and short writes. 0, or the errno.
[[nodiscard]] int WriteAll(int fd, std::string_view bytes);

/// A temporary file ".<name>.XXXXXX" beside its final path; removed unless it was put in place.
class AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile() { Discard(); }

    /// Creates the temporary file (O_EXCL) in the folder of `finalPath` with `mode`. 0, or the errno.
    [[nodiscard]] int Create(const std::string& finalPath, mode_t mode);
    /// Appends all of `bytes`. 0, or the errno (ENOSPC on a full disk).
    [[nodiscard]] int Write(std::string_view bytes);
    /// Syncs the file to disk and closes it; `info`, when given, receives its identity. 0, or the errno.
    [[nodiscard]] int Close(struct stat* info = nullptr);
    /// Renames the closed file over the final path, then syncs the folder so the rename is durable.
    /// 0, or the errno.
    [[nodiscard]] int Replace();
    /// Puts the closed file at `to` unless something stands there already: EEXIST then. A hard link
    /// is the first choice; file systems without them get a rename that refuses to replace.
    /// 0, or the errno.
    [[nodiscard]] int PublishAs(const std::string& to);
    /// Closes and removes the temporary file unless it was put in place.
    void Discard();

  private:
    std::string finalPath_;
    std::string path_;  // the temporary file; empty once put in place or removed
    int fd_ = -1;
};

/// Replaces `path` with `bytes` atomically and durably (AtomicFile with Replace). 0, or the errno;
/// `stage` then says whether creating, writing or renaming failed.
enum class ReplaceStage { Create, Write, Rename };
[[nodiscard]] int ReplaceFile(const std::string& path, std::string_view bytes, mode_t mode,
                              ReplaceStage* stage = nullptr);

}  // namespace xqt::platform
