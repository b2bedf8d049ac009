#include "platform/CameraLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

namespace xqt::platform {

namespace {

namespace fs = std::filesystem;

/// Lock file names stay below the usual 255-byte limit; longer keys are named by their hash.
constexpr std::size_t NAME_LIMIT = 160;

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

/// Letters, digits, '.', '-' and '_' stay; every other byte becomes %XX, so distinct keys never
/// share a file.
std::string FileNameOf(const std::string& key) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string name;
    for (unsigned char c : key) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
            name += static_cast<char>(c);
        } else {
            name += '%';
            name += HEX[c >> 4];
            name += HEX[c & 15];
        }
    }
    if (name.size() <= NAME_LIMIT) return name + ".lock";
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a: the same name in every process
    for (unsigned char c : key)
        hash = (hash ^ c) * 1099511628211ull;
    std::string hex;
    for (int shift = 60; shift >= 0; shift -= 4)
        hex += HEX[(hash >> shift) & 15];
    return name.substr(0, 40) + "~" + hex + ".lock";
}

/// Makes the runtime folder (0700) unless it stands; an empty text when it is there and ours.
std::string PrepareFolder(const std::string& folder) {
    std::error_code ec;
    const fs::path parent = fs::path(folder).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    // The folder itself is made private from the start: a lock file must never be planted by
    // another user.
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0)
        return "cannot make the lock folder " + folder + ": " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return "the lock folder " + folder + " is not a folder";
    if (info.st_uid != ::geteuid()) return "the lock folder " + folder + " belongs to another user";
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
        return "cannot make the lock folder " + folder + " private: " + std::strerror(errno);
    return {};
}

pid_t ReadHolder(int fd) {
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof(text) - 1, 0);
    if (n <= 0) return 0;
    const long pid = std::strtol(text, nullptr, 10);
    return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

std::string RuntimeFolder() {
    if (std::string set = EnvOrEmpty("XQT_RUNTIME_DIR"); !set.empty()) return set;
    if (std::string xdg = EnvOrEmpty("XDG_RUNTIME_DIR"); !xdg.empty()) return xdg + "/xqt";
    if (::geteuid() == 0) return "/run/lock/xqt";
    std::error_code ec;
    fs::path tmp = fs::temp_directory_path(ec);
    if (ec) tmp = "/tmp";
    return (tmp / ("xqt-" + std::to_string(::geteuid()))).string();
}

std::string MacLockKey(const std::string& mac) {
    std::string hex;
    for (unsigned char c : mac)
        if (std::isxdigit(c)) hex += static_cast<char>(std::toupper(c));
    return "mac-" + hex;
}

std::string SerialLockKey(const std::string& serial) {
    return "serial-" + serial;
}

std::string IdentityLockKey(const std::string& mac, const std::string& serial) {
    return mac.empty() ? SerialLockKey(serial) : MacLockKey(mac);
}

std::string AddressLockKey(const std::string& hostPort) {
    // "127.0.0.1" and "127.0.0.1:80" are one camera.
    std::string key = hostPort;
    if (key.find(':') == std::string::npos) key += ":80";
    return "address-" + key;
}

std::string FileLockKey(const std::string& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    // The folder resolved (it exists when the file may be written), the name as given.
    fs::path folder = fs::weakly_canonical(absolute.parent_path(), ec);
    if (ec) folder = absolute.parent_path();
    return "file-" + (folder / absolute.filename()).string();
}

CameraLock::CameraLock(CameraLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      state_(std::exchange(other.state_, State::Empty)),
      holder_(other.holder_),
      error_(std::move(other.error_)) {}

CameraLock& CameraLock::operator=(CameraLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        state_ = std::exchange(other.state_, State::Empty);
        holder_ = other.holder_;
        error_ = std::move(other.error_);
    }
    return *this;
}

CameraLock CameraLock::Take(const std::string& key) {
    CameraLock lock;
    const std::string folder = RuntimeFolder();
    if (std::string why = PrepareFolder(folder); !why.empty()) {
        lock.state_ = State::Failed;
        lock.error_ = std::move(why);
        return lock;
    }
    const std::string path = folder + "/" + FileNameOf(key);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        lock.state_ = State::Failed;
        lock.error_ = "cannot open the lock " + path + ": " + std::strerror(errno);
        return lock;
    }
    int taken;
    do {
        taken = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (taken != 0 && errno == EINTR);
    if (taken != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            lock.state_ = State::Busy;
            lock.holder_ = ReadHolder(fd);
        } else {
            lock.state_ = State::Failed;
            lock.error_ = "cannot lock " + path + ": " + std::strerror(error);
        }
        ::close(fd);
        return lock;
    }
    lock.fd_ = fd;
    lock.state_ = State::Held;
    lock.holder_ = ::getpid();
    const std::string pid = std::to_string(lock.holder_) + "\n";
    // The id is for messages only: a lock without it still excludes.
    if (::ftruncate(fd, 0) == 0) {
        const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
        (void)written;
    }
    return lock;
}

std::string CameraLock::RefusalText() const {
    switch (state_) {
        case State::Busy:
            return holder_ > 0 ? "being upgraded by process " + std::to_string(holder_)
                               : "being upgraded by another process";
        case State::Failed:
            return error_;
        default:
            return {};
    }
}

void CameraLock::Release() {
    if (fd_ >= 0) {
        // Unlocked before closing; the file stays, so a waiting holder never locks a removed one.
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    fd_ = -1;
    if (state_ == State::Held) state_ = State::Empty;
}

}  // namespace xqt::platform
