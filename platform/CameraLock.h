#pragma once
// Advisory locks that keep two runs of this tool (or two front ends) off one camera, and off one
// report file. A lock is a file in the runtime folder held with flock(2): the kernel drops it when
// its process ends, however it ends, so a lock left by a dead process is simply taken over. The
// file holds the holder's process id, so a second run can say who writes to the camera.
//
// The folder is XQT_RUNTIME_DIR when set (tests give each entry its own), else
// $XDG_RUNTIME_DIR/xqt, else /run/lock/xqt as root, else xqt-<uid> in the temporary folder. It is
// made 0700 and must belong to this user: a folder of another user is refused, never used.
//
// Threads: one object per holder; Take may be called from any thread. Two objects of one process
// that name the same key exclude each other as two processes would.
#include <sys/types.h>

#include <string>

namespace xqt::platform {

/// The folder the locks live in (not created).
[[nodiscard]] std::string RuntimeFolder();

/// The lock names of what a run may hold: a camera by its MAC (any separators or case), by its
/// full serial when it gave no MAC, by address:port before its identity is known, and a file by
/// its path (absolute or relative to the working folder; it need not exist yet).
[[nodiscard]] std::string MacLockKey(const std::string& mac);
[[nodiscard]] std::string SerialLockKey(const std::string& serial);
/// The camera's own lock: by its MAC when it gave one, else by its serial.
[[nodiscard]] std::string IdentityLockKey(const std::string& mac, const std::string& serial);
[[nodiscard]] std::string AddressLockKey(const std::string& hostPort);
[[nodiscard]] std::string FileLockKey(const std::string& path);

class CameraLock {
  public:
    enum class State {
        Empty,  ///< never taken, released or moved from
        Held,   ///< this object holds it
        Busy,   ///< another holder has it: Holder() names its process when known
        Failed  ///< the lock file could not be made or opened: Error() says why
    };

    CameraLock() = default;
    ~CameraLock() { Release(); }
    CameraLock(CameraLock&& other) noexcept;
    CameraLock& operator=(CameraLock&& other) noexcept;
    CameraLock(const CameraLock&) = delete;
    CameraLock& operator=(const CameraLock&) = delete;

    /// Tries to take the lock named `key` (one of the keys above) without waiting.
    [[nodiscard]] static CameraLock Take(const std::string& key);

    [[nodiscard]] State GetState() const { return state_; }
    [[nodiscard]] bool Held() const { return state_ == State::Held; }
    /// Busy: the holder's process id, 0 when it has not written it yet.
    [[nodiscard]] pid_t Holder() const { return holder_; }
    /// Failed: why, in a sentence.
    [[nodiscard]] const std::string& Error() const { return error_; }
    /// Busy or Failed: the detail a refused camera's row or message shows ("being upgraded by
    /// process 4711").
    [[nodiscard]] std::string RefusalText() const;
    void Release();

  private:
    int fd_ = -1;
    State state_ = State::Empty;
    pid_t holder_ = 0;
    std::string error_;
};

}  // namespace xqt::platform
