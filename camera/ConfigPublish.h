#pragma once
// How a downloaded configuration reaches its name: written to a temporary file beside it
// (platform::AtomicFile), synced, then published under the plain name or the first free suffixed one, never
// over an existing file. Used by ConfigStore only; one thread at a time.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Result.h"

namespace xqt::detail {

/// "what: <strerror(error)>".
[[nodiscard]] std::string ErrnoText(const std::string& what, int error);

/// "<stem>-N.cfg" for "<stem>.cfg" (N >= 2); the plain path for N = 1.
[[nodiscard]] std::string SuffixedPath(const std::string& plain, int n);

/// Where a saved file was published and the file's identity.
struct PublishedFile {
    std::string path;
    struct stat info {};
};

/// The saved file while it is being written; removed unless it was published.
class TempFile {
  public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    /// Creates ".<name>.XXXXXX" (mode 0600) in the folder of `finalPath`.
    Result<void> Create(const std::string& finalPath);
    /// Writes all `size` bytes.
    Result<void> Write(const char* data, std::size_t size);

    /// Flushes and closes the file and publishes it under `plainPath` or, when that is taken, the
    /// first free suffixed name.
    Result<PublishedFile> Commit(const std::string& plainPath);

    /// Closes and removes the file unless it was published.
    void Discard() { file_.Discard(); }

  private:
    platform::AtomicFile file_;
};

/// Creates every missing folder above the last "/" of `path` (mode 0700); the folders it made are
/// added to `created` (outermost first) when given, also when a later one fails.
Result<void> CreateFolders(const std::string& path, std::vector<std::string>* created = nullptr);

/// The folders a download made; removed again, innermost first, unless kept. A folder another
/// store has saved into since is not empty and stays.
class MadeFolders {
  public:
    ~MadeFolders() {
        if (keep) return;
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            ::rmdir(it->c_str());
    }
    std::vector<std::string> folders;
    bool keep = false;
};

}  // namespace xqt::detail
