#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace xqt::platform {

detail::WriteCall detail::writeCall = ::write;

namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = detail::writeCall(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;  // a regular file that takes nothing will take nothing later either
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int AtomicFile::Create(const std::string& finalPath, mode_t mode) {
    Discard();
    finalPath_ = finalPath;
    const auto slash = finalPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    path_ = finalPath.substr(0, nameStart) + "." + finalPath.substr(nameStart) + ".XXXXXX";
    fd_ = ::mkostemp(path_.data(), O_CLOEXEC);  // O_EXCL, mode 0600
    if (fd_ < 0) {
        const int error = errno;
        path_.clear();
        return error;
    }
    if (::fchmod(fd_, mode) != 0) return errno;
    return 0;
}

int AtomicFile::Write(std::string_view bytes) {
    if (fd_ < 0) return EBADF;
    return WriteAll(fd_, bytes);
}

int AtomicFile::Close(struct stat* info) {
    if (fd_ < 0) return EBADF;
    if (::fsync(fd_) != 0 || (info && ::fstat(fd_, info) != 0)) return errno;
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
}

int AtomicFile::Replace() {
    if (fd_ >= 0 || path_.empty()) return EBADF;
    if (::rename(path_.c_str(), finalPath_.c_str()) != 0) return errno;
    path_.clear();
    if (const int dir = ::open(FolderOf(finalPath_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

int AtomicFile::PublishAs(const std::string& to) {
    if (fd_ >= 0 || path_.empty()) return EBADF;
    if (::link(path_.c_str(), to.c_str()) == 0) {
        ::unlink(path_.c_str());
        path_.clear();
        return 0;
    }
    const int linkError = errno;
    if (linkError == EEXIST) return EEXIST;
    if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        path_.clear();
        return 0;
    }
    return errno == EINVAL || errno == ENOSYS ? linkError : errno;
}

void AtomicFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
}

int ReplaceFile(const std::string& path, std::string_view bytes, mode_t mode, ReplaceStage* stage) {
    AtomicFile file;
    auto failed = [stage](ReplaceStage at, int error) {
        if (stage) *stage = at;
        return error;
    };
    if (const int error = file.Create(path, mode)) return failed(ReplaceStage::Create, error);
    if (const int error = file.Write(bytes)) return failed(ReplaceStage::Write, error);
    if (const int error = file.Close()) return failed(ReplaceStage::Write, error);
    if (const int error = file.Replace()) return failed(ReplaceStage::Rename, error);
    return 0;
}

}  // namespace xqt::platform
