#pragma once
// A value written by one thread and read by others (version texts, the last answer). Each access
// copies under a lock, so a reader never sees a half-written text.

#include <mutex>
#include <utility>

namespace xqt::detail {

template <class T>
class Synchronized {
  public:
    T Get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void Set(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

  private:
    mutable std::mutex mutex_;
    T value_{};
};

}  // namespace xqt::detail
