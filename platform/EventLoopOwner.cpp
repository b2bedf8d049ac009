#include "platform/EventLoopOwner.h"

namespace xqt::platform {

EventLoopOwner::EventLoopOwner(MessageBoxes& boxes) : boxes_(boxes), thread_([this] { Run(); }) {}

EventLoopOwner::~EventLoopOwner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void EventLoopOwner::SetTimerHandler(TimerHandler handler) {
    std::lock_guard lock(mutex_);
    timerHandler_ = std::move(handler);
}

void EventLoopOwner::SetMessageHandler(MessageHandler handler) {
    std::lock_guard lock(mutex_);
    messageHandler_ = std::move(handler);
}

void EventLoopOwner::Post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

void EventLoopOwner::Call(const std::function<void()>& task) {
    if (IsLoopThread()) {
        task();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneCv;
    bool done = false;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        tasks_.push_back([&] {
            task();
            std::lock_guard doneLock(doneMutex);
            done = true;
            doneCv.notify_all();
        });
    }
    wake_.notify_all();
    std::unique_lock doneLock(doneMutex);
    doneCv.wait(doneLock, [&] { return done; });
}

bool EventLoopOwner::IsLoopThread() const {
    return std::this_thread::get_id() == thread_.get_id();
}

std::vector<UpgradeMessage> EventLoopOwner::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

bool EventLoopOwner::WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
}

bool EventLoopOwner::IsTimerRunning(int id) const {
    std::lock_guard lock(mutex_);
    return timers_.count(id) != 0;
}

int EventLoopOwner::TickCount(int id) const {
    std::lock_guard lock(mutex_);
    auto it = ticks_.find(id);
    return it == ticks_.end() ? 0 : it->second;
}

void EventLoopOwner::StartTimer(int id, std::chrono::milliseconds period) {
    if (period.count() < 1) period = std::chrono::milliseconds(1);
    {
        std::lock_guard lock(mutex_);
        timers_[id] = Timer{period, Clock::now() + period};
    }
    wake_.notify_all();
}

void EventLoopOwner::StopTimer(int id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

void EventLoopOwner::PostUpgradeMessage(std::int32_t wParam, std::int32_t lParam) {
    Post([this, msg = UpgradeMessage{wParam, lParam}] {
        MessageHandler handler;
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(msg);
            handler = messageHandler_;
        }
        changed_.notify_all();
        if (handler) handler(msg);
    });
}

void EventLoopOwner::ShowMessage(const std::string& text, const std::string& caption, MbIcon icon) {
    Post([this, text, caption, icon] { boxes_.Show(text, caption, MbButtons::Ok, icon); });
}

void EventLoopOwner::Run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        // The earliest due timer; ties go to the lower id.
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (next == timers_.end() || it->second.due < next->second.due) next = it;
        }
        if (next == timers_.end()) {
            wake_.wait(lock);
            continue;
        }
        const auto now = Clock::now();
        if (next->second.due > now) {
            const auto due = next->second.due;  // a copy: the timer may be stopped while the loop waits
            wake_.wait_until(lock, due);
            continue;
        }
        const int id = next->first;
        // Like a window timer, a late tick is not made up for: the next one is a full period away.
        next->second.due = now + next->second.period;
        ++ticks_[id];
        TimerHandler handler = timerHandler_;
        lock.unlock();
        if (handler) handler(id);
        lock.lock();
    }
}

}  // namespace xqt::platform
