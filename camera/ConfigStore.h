#pragma once
// One camera's saved configuration: where it lives on disk, how it is fetched from the camera before
// an upgrade, read back for the restore, and removed afterwards.
//
// Where the files go. The folder is chosen by the environment when the store is created:
//   1. "ProgramFiles", when set to an absolute path;
//   2. otherwise "XDG_DATA_HOME", when set to an absolute path;
//   3. otherwise "$HOME/.local/share" ("HOME", else the account's home directory).
// Below it: "VEXO/XQT FirmwareUpgrade/Configurations/<%y%m%d%H%M of the time stamp, local time>/",
// and in there "<model in lower case>.<serial>.cfg". Tests point the folder at a temporary one by
// setting "ProgramFiles" or "XDG_DATA_HOME". Folders we create are 0700, files 0600: a saved
// configuration holds the camera's secrets.
//
// A saved file is never replaced: two cameras of one run may report the same serial (or none),
// and one camera may be saved twice in a minute. When the plain name is taken, the file gets the
// first free "<model>.<serial>-N.cfg" (N = 2, 3, ...), and `localPath` says which name it got. The
// store deletes only the file it wrote itself (same device and inode), never another one that has
// come to stand at its path, and reads back only that file. A download that fails removes the
// folders it created, so no empty dated folder is left behind.
//
// The serial is the camera's own text, so it is made safe for a file name (SafeConfigFileName):
// every file lands inside the dated folder whatever the camera reports.
//
// Threads: one thread at a time uses a store (the wizard's helper thread or a session's worker).
// Cancel() and reading `restored` may come from any thread. A store never deletes a saved file
// unless it was restored (`restored` set by the caller) and the user asked for deletion.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "camera/Cancellation.h"
#include "camera/TransferBound.h"
#include "platform/TextCodec.h"

namespace xqt {

/// The tail below the base folder, native separators.
inline constexpr std::string_view CONFIGURATIONS_TAIL = "VEXO/XQT FirmwareUpgrade/Configurations";
/// Longest configuration a camera may send; more is refused (the file is small on every camera).
inline constexpr std::uint32_t CONFIG_SIZE_LIMIT = 16u * 1024 * 1024;
/// Highest suffix tried when the plain name is taken ("-2" ... "-999").
inline constexpr int SAVED_NAME_SUFFIX_MAX = 999;
/// Bytes of one download read.
inline constexpr std::size_t CONFIG_READ_SIZE = 512;
/// The text that marks a page instead of a configuration (case-sensitive).
inline constexpr std::string_view HTML_MARKER = "<HTML>";
/// Longest `errorText`.
inline constexpr std::size_t ERROR_TEXT_MAX = 254;

/// The base folder the environment names (rules above), without a trailing separator; empty when
/// none can be found.
[[nodiscard]] std::string ConfigBaseFolder();

/// "<base>/VEXO/XQT FirmwareUpgrade/Configurations/<yymmddHHMM>" for `timeStamp` in local time;
/// empty when there is no base folder.
[[nodiscard]] std::string ConfigFolderFor(std::chrono::system_clock::time_point timeStamp);

/// "<model in lower case>.<serial>.cfg" for ordinary names (letters, digits, "-", "_", "."; the
/// serial at most 64 characters). Anything else in the model or serial (separators, NUL, control
/// characters, spaces, non-ASCII) becomes "_", a serial is cut at 64 characters, and then a "~"
/// and eight hex digits of a hash of the original serial are added before ".cfg", so two different
/// serials never share a name. The result is one path component of at most 255 bytes that is never
/// "." or "..".
[[nodiscard]] std::string SafeConfigFileName(std::string_view model, std::string_view serial);

/// Where a camera keeps the configuration that is saved: "/home/l4/" + `model` in lower case +
/// ".cfg". Callers pass the first model of the program's list, never the model a camera reported.
inline std::string ConfigRemotePath(std::string_view model) {
    return "/home/l4/" + platform::AsciiLower(model) + ".cfg";
}

class ConfigStore {
  public:
    /// `host`: the camera's "a.b.c.d[:port]"; `remotePath`: "/home/l4/<model>.cfg"; `credential`:
    /// Base64 of name:password; `timeStamp` names the dated folder; `modelName` and `serialText` the
    /// file; `deleteFlag` non-zero asks for the file's removal once it has been restored.
    /// `stepTimeout` bounds connecting, sending and each read of the download; `bound` the whole
    /// download (EngineTiming's transfer bound; the default one is production's).
    ConfigStore(std::string host, std::string remotePath, const std::string& credential,
                std::chrono::system_clock::time_point timeStamp, const std::string& modelName,
                const std::string& serialText, std::int32_t deleteFlag,
                std::chrono::milliseconds stepTimeout = std::chrono::milliseconds(60000),
                detail::TransferBound bound = detail::TransferBoundOf(platform::EngineTiming{}));
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    /// Fetches the configuration (GET `remotePath` with Basic authorization) and saves it under
    /// `localPath`'s name or, when that is taken, the first free suffixed one (`localPath` then
    /// names it). True when a complete configuration was saved: an HTTP 200 answer, not empty,
    /// within CONFIG_SIZE_LIMIT, without "<HTML>" anywhere (also across reads), within the bound.
    /// The bytes go to a temporary file in the same folder that is published only on success, so
    /// a failure leaves no partial file and never touches an earlier one. On failure `errorText`
    /// says why. Once per store.
    [[nodiscard]] bool Download();

    /// Reads the saved file into `buffer`, which must hold at least `byteCount` bytes. True when
    /// the file this store wrote still holds exactly `byteCount` bytes and they were read.
    [[nodiscard]] bool ReadBack(std::span<std::uint8_t> buffer);

    /// Deletes the saved file when it was restored and the delete flag is set, and only when the
    /// file at `localPath` is still the one this store wrote; otherwise nothing. True when the
    /// file was deleted. Failures are only reported by the result.
    bool RemoveFile();

    /// Creates every missing folder above the last "/" of `path` (mode 0700). True when they all
    /// exist as folders afterwards.
    [[nodiscard]] static bool MakeFolders(const std::string& path);

    /// Ends a download in progress (it fails) and every later one; any thread; permanent.
    void Cancel();

    const std::string host;        ///< "a.b.c.d[:port]"
    const std::string remotePath;  ///< "/home/l4/<model>.cfg"
    const std::string url;         ///< "HTTP://" + host + remotePath
    const std::string authHeader;  ///< "Authorization: Basic " + credential (no CR LF)
    /// The saved file: the plain name until Download has published it, then the name it got;
    /// empty when no base folder was found. Read it on the thread that downloads, or after.
    std::string localPath;
    const std::int32_t deleteFlag;

    /// Set by the caller once the configuration was posted back successfully.
    std::atomic<bool> restored{false};
    /// Bytes saved by the last successful Download.
    std::uint32_t byteCount = 0;
    /// Why the last Download or ReadBack failed; empty after success. Never holds the credential.
    std::string errorText;

  private:
    bool Fail(std::string text);

    const std::chrono::milliseconds stepTimeout_;
    detail::TransferBound bound_;
    detail::Cancellation cancellation_;
    bool saved_ = false;  // a file was published; it is the one with the device and inode below
    std::uint64_t savedDevice_ = 0;
    std::uint64_t savedInode_ = 0;
};

namespace detail {

/// Finds HTML_MARKER in a byte stream fed in pieces, also when a piece boundary splits it.
class MarkerScanner {
  public:
    explicit MarkerScanner(std::string_view marker = HTML_MARKER) : marker_(marker) {}
    /// True once the marker was seen in the bytes fed so far.
    bool Feed(std::string_view piece);
    [[nodiscard]] bool Found() const { return found_; }

  private:
    std::string marker_;
    std::string carry_;  // the last marker-length - 1 bytes seen
    bool found_ = false;
};

}  // namespace detail

}  // namespace xqt
