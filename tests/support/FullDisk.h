#pragma once
// A full disk for the length of a scope: a file size limit of `bytes`, past which writes fail with
// EFBIG instead of raising SIGXFSZ. The limit and the signal's handler are put back on leaving.
// Header-only; the process's limit is shared by its threads, so only one scope at a time.

#include <sys/resource.h>

#include <csignal>

namespace xqt::test {

class FullDisk {
  public:
    explicit FullDisk(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limited = old_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, handler_);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

  private:
    void (*handler_)(int);
    rlimit old_{};
};

}  // namespace xqt::test
