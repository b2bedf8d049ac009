#include "gui/platform/QtSessionOwner.h"

#include <QThread>
#include <QTimer>

#include "gui/platform/QtQueuedCall.h"

namespace xqt::platform {

QtSessionOwner::QtSessionOwner(MessageBoxes& boxes, QObject* parent) : QObject(parent), boxes_(boxes) {}

QtSessionOwner::~QtSessionOwner() {
    for (auto& [id, timer] : timers_)
        timer->stop();
}

void QtSessionOwner::OnUiThread(std::function<void()> call) {
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    // The context object drops the call if the owner is gone before it runs.
    PostQueued(this, std::move(call));
}

bool QtSessionOwner::IsTimerRunning(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

std::uint64_t QtSessionOwner::StopsOf(int id) {
    std::lock_guard lock(stopsMutex_);
    return stops_[id];
}

void QtSessionOwner::StartTimer(int id, std::chrono::milliseconds period) {
    const std::uint64_t stopsBefore = StopsOf(id);
    OnUiThread([this, id, period, stopsBefore] {
        if (StopsOf(id) != stopsBefore) return;  // stopped since this start was asked for
        QTimer*& timer = timers_[id];
        if (!timer) {
            timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, [this, id] {
                if (timerHandler_) timerHandler_(id);
            });
        }
        timer->start(period);
    });
}

void QtSessionOwner::StopTimer(int id) {
    {
        std::lock_guard lock(stopsMutex_);
        ++stops_[id];
    }
    OnUiThread([this, id] {
        auto it = timers_.find(id);
        if (it != timers_.end()) it->second->stop();
    });
}

void QtSessionOwner::PostUpgradeMessage(std::int32_t wParam, std::int32_t lParam) {
    Pending item;
    item.wParam = wParam;
    item.lParam = lParam;
    Enqueue(std::move(item));
}

void QtSessionOwner::ShowMessage(const std::string& text, const std::string& caption, MbIcon icon) {
    Pending item;
    item.isBox = true;
    item.text = text;
    item.caption = caption;
    item.icon = icon;
    Enqueue(std::move(item));
}

void QtSessionOwner::Enqueue(Pending item) {
    // Always queued, even from the UI thread: the caller returns before anything is delivered, as
    // after a posted message.
    PostQueued(this, [this, item = std::move(item)]() mutable {
        pending_.push_back(std::move(item));
        Deliver();
    });
}

void QtSessionOwner::Deliver() {
    // Called again from inside an open box's event loop, it leaves the rest to the outer call.
    if (delivering_) return;
    delivering_ = true;
    while (!pending_.empty()) {
        Pending item = std::move(pending_.front());
        pending_.pop_front();
        if (item.isBox) {
            boxes_.Show(item.text, item.caption, MbButtons::Ok, item.icon);
        } else if (messageHandler_) {
            messageHandler_(item.wParam, item.lParam);
        }
    }
    delivering_ = false;
}

}  // namespace xqt::platform
