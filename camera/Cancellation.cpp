#include "camera/Cancellation.h"

#include <algorithm>
#include <boost/asio/io_context.hpp>

namespace xqt::detail {

Cancellation::Registration::Registration(Cancellation& owner, boost::asio::io_context& ioc)
    : owner_(owner), ioc_(ioc) {
    std::lock_guard lock(owner_.mutex_);
    owner_.active_.push_back(&ioc_);
    // Cancelled before the exchange began: it must not start at all.
    if (owner_.cancelled_) ioc_.stop();
}

Cancellation::Registration::~Registration() {
    std::lock_guard lock(owner_.mutex_);
    auto& active = owner_.active_;
    active.erase(std::remove(active.begin(), active.end(), &ioc_), active.end());
}

void Cancellation::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        for (auto* ioc : active_)
            ioc->stop();
    }
    wake_.notify_all();
}

bool Cancellation::IsCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool Cancellation::WaitFor(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, duration, [&] { return cancelled_; });
}

}  // namespace xqt::detail
