#include "camera/ConfigStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "camera/ConfigPublish.h"

namespace xqt {

using detail::CreateFolders;
using detail::ErrnoText;

ConfigStore::ConfigStore(std::string hostPort, std::string path, const std::string& credential,
                         std::chrono::system_clock::time_point timeStamp, const std::string& modelName,
                         const std::string& serialText, std::int32_t deleteWhenRestored,
                         std::chrono::milliseconds stepTimeout, detail::TransferBound bound)
    : host(std::move(hostPort)),
      remotePath(std::move(path)),
      url("HTTP://" + this->host + this->remotePath),
      authHeader("Authorization: Basic " + credential),
      localPath([&] {
          const std::string folder = ConfigFolderFor(timeStamp);
          return folder.empty() ? folder : folder + "/" + SafeConfigFileName(modelName, serialText);
      }()),
      deleteFlag(deleteWhenRestored),
      stepTimeout_(stepTimeout),
      bound_(bound) {}

bool ConfigStore::Fail(std::string text) {
    if (text.size() > ERROR_TEXT_MAX) text.resize(ERROR_TEXT_MAX);
    errorText = std::move(text);
    return false;
}

bool ConfigStore::MakeFolders(const std::string& path) {
    return CreateFolders(path).has_value();
}

bool ConfigStore::ReadBack(std::span<std::uint8_t> buffer) {
    errorText.clear();
    if (buffer.size() < byteCount) return Fail("the read-back buffer is too small");
    if (!saved_) return Fail("no configuration was saved");
    const int fd = ::open(localPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Fail(ErrnoText("cannot open " + localPath, errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || static_cast<std::uint64_t>(info.st_dev) != savedDevice_ ||
        static_cast<std::uint64_t>(info.st_ino) != savedInode_) {
        ::close(fd);
        return Fail(localPath + " is not the file that was saved");
    }
    std::size_t filled = 0;
    bool ok = true;
    while (filled < byteCount) {
        const ssize_t n = ::read(fd, buffer.data() + filled, byteCount - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = Fail(ErrnoText("cannot read " + localPath, errno));
            break;
        }
        if (n == 0) {
            ok = Fail(localPath + " is shorter than the saved configuration");
            break;
        }
        filled += static_cast<std::size_t>(n);
    }
    if (ok) {
        char extra;
        ssize_t n;
        do {
            n = ::read(fd, &extra, 1);
        } while (n < 0 && errno == EINTR);
        if (n != 0) ok = Fail(localPath + " has changed since it was saved");
    }
    ::close(fd);
    return ok;
}

bool ConfigStore::RemoveFile() {
    if (!restored.load() || deleteFlag == 0 || !saved_) return false;
    struct stat info {};
    if (::lstat(localPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_dev) != savedDevice_ ||
        static_cast<std::uint64_t>(info.st_ino) != savedInode_) {
        return false;  // not ours (any more): somebody else's file is never deleted
    }
    if (::unlink(localPath.c_str()) != 0) return false;
    saved_ = false;
    // The dated folder existed only for this run's files: once the last of them is gone it goes
    // too (rmdir refuses a folder that still holds anything).
    if (const auto slash = localPath.find_last_of('/'); slash != std::string::npos && slash > 0)
        ::rmdir(localPath.substr(0, slash).c_str());
    return true;
}

void ConfigStore::Cancel() {
    cancellation_.Cancel();
}

// ---------------------------------------------------------------------------------------------
// MarkerScanner

bool detail::MarkerScanner::Feed(std::string_view piece) {
    if (found_ || marker_.empty()) return found_ = found_ || marker_.empty();
    std::string window = carry_;
    window.append(piece.substr(0, std::min(piece.size(), marker_.size() - 1)));
    if (window.find(marker_) != std::string::npos || piece.find(marker_) != std::string_view::npos) {
        return found_ = true;
    }
    const std::size_t keep = marker_.size() - 1;
    if (piece.size() >= keep) {
        carry_.assign(piece.substr(piece.size() - keep));
    } else {
        carry_.append(piece);
        if (carry_.size() > keep) carry_.erase(0, carry_.size() - keep);
    }
    return false;
}

}  // namespace xqt
