#include "camera/ConfigStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/write.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <limits>
#include <vector>

#include "camera/AnswerReader.h"
#include "camera/ConnectWatch.h"
#include "camera/HostPort.h"
#include "camera/ShortRequest.h"
#include "camera/TransferStep.h"

namespace xqt {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr std::size_t NAME_PART_MAX = 64;

std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') return {};
    std::string text(value);
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

std::string HomeFolder() {
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty()) return home;
    std::vector<char> scratch(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, scratch.data(), scratch.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return {};
}

// Letters, digits, "-", "_" and "." pass; every other character (one UTF-8 sequence counts as one)
// becomes "_". Returns whether anything was replaced or cut.
bool CleanNamePart(std::string_view text, std::string& out) {
    bool changed = false;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (kept == NAME_PART_MAX) return true;
        if (std::isalnum(c) && c < 0x80) {
            out += static_cast<char>(c);
        } else if (c == '-' || c == '_' || c == '.') {
            out += static_cast<char>(c);
        } else {
            out += '_';
            changed = true;
            if (c >= 0xC0) {
                while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80)
                    ++i;
            }
        }
        ++kept;
    }
    return changed;
}

std::uint32_t Fnv1a(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

std::string ErrnoText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// "<stem>-N.cfg" for "<stem>.cfg" (N >= 2); the plain path for N = 1.
std::string SuffixedPath(const std::string& plain, int n) {
    if (n <= 1) return plain;
    const std::string suffix = "-" + std::to_string(n);
    constexpr std::string_view CFG = ".cfg";
    if (plain.size() >= CFG.size() && plain.compare(plain.size() - CFG.size(), CFG.size(), CFG) == 0)
        return plain.substr(0, plain.size() - CFG.size()) + suffix + std::string(CFG);
    return plain + suffix;
}

// Moves `from` to `to` unless something already stands at `to`: EEXIST then. A hard link is the
// first choice; file systems without them get a rename that refuses to replace.
int PublishNoReplace(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    const int linkError = errno;
    if (linkError == EEXIST) return EEXIST;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    return errno == EINVAL || errno == ENOSYS ? linkError : errno;
}

// The saved file while it is being written; removed unless it was published.
class TempFile {
  public:
    ~TempFile() { Discard(); }

    bool Create(const std::string& finalPath, std::string& error) {
        const auto slash = finalPath.rfind('/');
        path_ = finalPath.substr(0, slash + 1) + "." + finalPath.substr(slash + 1) + ".XXXXXX";
        fd_ = mkstemp(path_.data());  // O_EXCL, mode 0600
        if (fd_ < 0) {
            error = ErrnoText("cannot create a file in " + finalPath.substr(0, slash), errno);
            path_.clear();
            return false;
        }
        fchmod(fd_, S_IRUSR | S_IWUSR);
        return true;
    }

    bool Write(const char* data, std::size_t size, std::string& error) {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                error = ErrnoText("cannot write the configuration file", errno);
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    /// Flushes and closes the file and publishes it under `plainPath` or, when that is taken, the
    /// first free suffixed name, which `published` receives; `info` the file's identity.
    bool Commit(const std::string& plainPath, std::string& published, struct stat& info, std::string& error) {
        if (::fsync(fd_) != 0 || ::fstat(fd_, &info) != 0) {
            error = ErrnoText("cannot write the configuration file", errno);
            return false;
        }
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) {
            error = ErrnoText("cannot write the configuration file", errno);
            return false;
        }
        for (int n = 1; n <= SAVED_NAME_SUFFIX_MAX; ++n) {
            const std::string candidate = SuffixedPath(plainPath, n);
            const int result = PublishNoReplace(path_, candidate);
            if (result == EEXIST) continue;
            if (result != 0) {
                error = ErrnoText("cannot save " + candidate, result);
                return false;
            }
            path_.clear();
            published = candidate;
            return true;
        }
        error = "cannot save " + plainPath + ": every name up to -" + std::to_string(SAVED_NAME_SUFFIX_MAX) +
                " is taken";
        return false;
    }

    void Discard() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (!path_.empty()) ::unlink(path_.c_str());
        path_.clear();
    }

  private:
    std::string path_;
    int fd_ = -1;
};

// MakeFolders with the reason of a failure; the folders it made are added to `created` (outermost
// first).
bool CreateFolders(const std::string& path, std::string& error, std::vector<std::string>* created = nullptr) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (prefix.back() == '/') continue;  // "//" in the path
        struct stat info {};
        if (::stat(prefix.c_str(), &info) != 0) {
            if (::mkdir(prefix.c_str(), S_IRWXU) == 0) {
                if (created) created->push_back(prefix);
            } else if (errno != EEXIST) {
                error = ErrnoText("cannot create the folder " + prefix, errno);
                return false;
            }
            if (::stat(prefix.c_str(), &info) != 0) {
                error = ErrnoText("cannot create the folder " + prefix, errno);
                return false;
            }
        }
        if (!S_ISDIR(info.st_mode)) {
            error = "cannot create the folder " + prefix + ": a file of that name is in the way";
            return false;
        }
    }
    return true;
}

// The folders a download made; removed again, innermost first, unless kept. A folder another
// store has saved into since is not empty and stays.
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

}  // namespace

// ---------------------------------------------------------------------------------------------
// Names

std::string ConfigBaseFolder() {
    if (std::string base = AbsoluteEnv("ProgramFiles"); !base.empty()) return base;
    if (std::string base = AbsoluteEnv("XDG_DATA_HOME"); !base.empty()) return base;
    std::string home = HomeFolder();
    if (home.empty()) return {};
    if (home.back() != '/') home += '/';
    return home + ".local/share";
}

std::string ConfigFolderFor(std::chrono::system_clock::time_point timeStamp) {
    std::string base = ConfigBaseFolder();
    if (base.empty()) return {};
    const std::time_t seconds = std::chrono::system_clock::to_time_t(timeStamp);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[16];
    std::strftime(stamp, sizeof(stamp), "%y%m%d%H%M", &local);
    if (base.back() != '/') base += '/';
    return base + std::string(CONFIGURATIONS_TAIL) + "/" + stamp;
}

std::string SafeConfigFileName(std::string_view model, std::string_view serial) {
    const std::string lower = platform::AsciiLower(model);
    std::string name;
    CleanNamePart(lower, name);
    name += '.';
    std::string cleanSerial;
    if (CleanNamePart(serial, cleanSerial)) {
        char hash[16];
        std::snprintf(hash, sizeof(hash), "~%08x", static_cast<unsigned>(Fnv1a(serial)));
        cleanSerial += hash;
    }
    return name + cleanSerial + ".cfg";
}

// ---------------------------------------------------------------------------------------------
// ConfigStore

ConfigStore::ConfigStore(std::string host, std::string remotePath, const std::string& credential,
                         std::chrono::system_clock::time_point timeStamp, const std::string& modelName,
                         const std::string& serialText, std::int32_t deleteFlag,
                         std::chrono::milliseconds stepTimeout, detail::TransferBound bound)
    : host(std::move(host)),
      remotePath(std::move(remotePath)),
      url("HTTP://" + this->host + this->remotePath),
      authHeader("Authorization: Basic " + credential),
      localPath([&] {
          const std::string folder = ConfigFolderFor(timeStamp);
          return folder.empty() ? folder : folder + "/" + SafeConfigFileName(modelName, serialText);
      }()),
      deleteFlag(deleteFlag),
      stepTimeout_(stepTimeout),
      bound_(bound) {}

bool ConfigStore::Fail(std::string text) {
    if (text.size() > ERROR_TEXT_MAX) text.resize(ERROR_TEXT_MAX);
    errorText = std::move(text);
    return false;
}

bool ConfigStore::MakeFolders(const std::string& path) {
    std::string ignored;
    return CreateFolders(path, ignored);
}

bool ConfigStore::Download() try {
    errorText.clear();
    byteCount = 0;
    if (saved_) return Fail("the configuration was saved already");
    if (localPath.empty()) return Fail("no folder for saved configurations: HOME is not set");
    std::string error;
    MadeFolders made;
    if (!CreateFolders(localPath, error, &made.folders)) return Fail(error);

    const HostPort where = SplitHostPort(host);
    beast::error_code ec;
    const auto address = asio::ip::make_address_v4(where.host, ec);
    if (ec || !IsUsablePort(where.port)) return Fail("not a camera address: " + host);
    if (remotePath.empty() || remotePath[0] != '/' ||
        remotePath.find_first_of(std::string_view(" \r\n\0", 4)) != std::string::npos) {
        return Fail("not a configuration path: " + remotePath);
    }
    const std::string_view credentialText = std::string_view(authHeader).substr(21);
    if (credentialText.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        return Fail("the credential cannot be sent");
    }

    TempFile file;
    if (!file.Create(localPath, error)) {
        // Another store may have removed the dated folder it made just after we found it: once more.
        if (!CreateFolders(localPath, error, &made.folders) || !file.Create(localPath, error))
            return Fail(error);
    }

    http::request<http::empty_body> request{http::verb::get, remotePath, 11};
    request.set(http::field::host, host);
    request.set(http::field::user_agent,
                beast::string_view(detail::USER_AGENT.data(), detail::USER_AGENT.size()));
    request.set(http::field::authorization, "Basic " + std::string(credentialText));
    request.set(http::field::cache_control, "no-cache");

    asio::io_context ioc(1);
    detail::Cancellation::Registration registration(cancellation_, ioc);
    beast::tcp_stream stream(ioc);
    std::uint64_t total = 0;
    bound_.Start();
    // Every step is held to the overall bound for the bytes received so far as well.
    auto run = [&](const std::function<void(std::shared_ptr<detail::StepState>)>& start) {
        return detail::RunStep(
            ioc, stream, stepTimeout_, [this] { return cancellation_.IsCancelled(); }, start,
            bound_.Deadline(total));
    };
    auto done = [](std::shared_ptr<detail::StepState> state) { return detail::StepDone(std::move(state)); };
    auto closeStream = [&] { detail::CloseStream(stream); };
    auto failWith = [&](const std::string& what, beast::error_code e) {
        closeStream();
        if (e == asio::error::operation_aborted && cancellation_.IsCancelled())
            return Fail(what + ": cancelled");
        if (e == beast::error::timeout) return Fail(what + ": the camera did not answer in time");
        return Fail(what + ": " + e.message());
    };

    detail::NoteConnect(address.to_string() + ":" + std::to_string(where.port));
    ec = run([&](auto s) {
        stream.async_connect(tcp::endpoint(address, static_cast<std::uint16_t>(where.port)), done(s));
    });
    if (ec) return failWith("cannot connect to " + host, ec);
    ec = run([&](auto s) { http::async_write(stream, request, done(s)); });
    if (ec) return failWith("cannot send the request to " + host, ec);

    detail::AnswerIntake answer(CONFIG_READ_SIZE);
    ec = answer.ReadHead(stream, run);
    if (ec == http::error::bad_version) return failWith("the camera's answer is not HTTP", ec);
    if (ec) return failWith("no answer from " + host, ec);
    if (const unsigned status = answer.reader().Status(); status != 200) {
        closeStream();
        return Fail("the camera refused the configuration (HTTP " + std::to_string(status) + ")");
    }

    detail::MarkerScanner scanner;
    char block[CONFIG_READ_SIZE];
    for (;;) {
        const auto piece = answer.ReadBody(stream, run, block, sizeof(block));
        if (piece.size == 0) {
            if (!piece.ec) break;
            if (piece.ec == http::error::partial_message)
                return failWith("the configuration arrived incomplete", piece.ec);
            return failWith("cannot read the configuration", piece.ec);
        }
        const std::string_view bytes(block, piece.size);
        if (scanner.Feed(bytes)) {
            closeStream();
            return Fail("the camera sent a page instead of its configuration");
        }
        total += piece.size;
        if (total > CONFIG_SIZE_LIMIT) {
            closeStream();
            return Fail("the configuration is larger than " + std::to_string(CONFIG_SIZE_LIMIT) + " bytes");
        }
        if (!file.Write(block, piece.size, error)) {
            closeStream();
            return Fail(error);
        }
    }
    closeStream();
    if (total == 0) return Fail("the camera sent an empty configuration");
    struct stat info {};
    std::string published;
    if (!file.Commit(localPath, published, info, error)) return Fail(error);
    made.keep = true;
    localPath = std::move(published);
    saved_ = true;
    savedDevice_ = static_cast<std::uint64_t>(info.st_dev);
    savedInode_ = static_cast<std::uint64_t>(info.st_ino);
    byteCount = static_cast<std::uint32_t>(total);
    return true;
} catch (const std::exception& e) {
    return Fail(e.what());
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
