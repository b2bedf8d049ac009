#pragma once
// Opening a camera's web page in the user's default browser, standing in for the shell's "open"
// verb. The lists open pages only through this interface so that tests can record the address
// instead of starting a browser. Call on the UI thread.

#include <mutex>
#include <string>
#include <vector>

namespace xqt::platform {

class ShellOpen {
  public:
    virtual ~ShellOpen() = default;
    /// Asks the desktop to open `url`; false when it could not. No message is shown either way.
    virtual bool Open(const std::string& url) = 0;
};

/// The desktop's handler of the URL (platform/QtShellOpen.cpp, library xqt_gui).
class QtShellOpen : public ShellOpen {
  public:
    bool Open(const std::string& url) override;
};

/// Records every address instead of opening it; answers `result`.
class RecordingShellOpen : public ShellOpen {
  public:
    explicit RecordingShellOpen(bool result = true) : result_(result) {}
    bool Open(const std::string& url) override {
        std::lock_guard lock(mutex_);
        opened_.push_back(url);
        return result_;
    }
    std::vector<std::string> Opened() const {
        std::lock_guard lock(mutex_);
        return opened_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
    const bool result_;
};

}  // namespace xqt::platform
