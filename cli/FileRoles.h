#pragma once
// The files one command reads and writes, each named by its option, must be different files: a
// report written over the address list or the password file, or a configuration posted from the
// password file, loses or leaks what the user gave. Checked before any password is read and before
// any camera is asked. Pure of side effects (looks at the file system only); any thread.

#include <string>
#include <vector>

#include "platform/Result.h"

namespace xqt::cli {

namespace batch {
struct BatchOptions;
}
namespace upgrade {
struct UpgradeOptions;
}

/// One file a command takes: the option that names it and the path as given.
struct FileRole {
    std::string option;  ///< "--report", "the restore file", ...
    std::string path;    ///< empty or "-" (standard input): not a file, skipped
};

/// The reason ("--report and --csv name the same file (PATH)") when two of `files` are one file:
/// the same absolute path once symbolic links are resolved, or the same device and inode where the
/// file exists (a hard link). Pairs named in `allowed` (option names, either order) may share a file.
[[nodiscard]] Result<void> RefuseSharedFiles(
    const std::vector<FileRole>& files, const std::vector<std::pair<std::string, std::string>>& allowed = {});

/// Batch: --targets, --password-file, --credentials, --firmware, --trusted-key, --resume, --report and
/// --csv; --resume may be the --report it is rewritten into.
[[nodiscard]] Result<void> RefuseSharedFiles(const batch::BatchOptions& options);

/// Upgrade: --password-file, --firmware, --trusted-key and the upgrade history it appends to.
[[nodiscard]] Result<void> RefuseSharedFiles(const upgrade::UpgradeOptions& options);

}  // namespace xqt::cli
