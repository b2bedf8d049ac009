#include "gui/platform/QtTaskRunner.h"

#include "gui/platform/QtQueuedCall.h"

namespace xqt::platform {

QtTaskRunner::~QtTaskRunner() {
    StopAndWait();
}

void QtTaskRunner::Run(std::function<void(std::stop_token)> work, std::function<void()> done) {
    if (thread_.joinable()) thread_.join();  // the previous job has delivered; its thread is ending
    running_ = true;
    stopped_ = false;
    thread_ =
        std::jthread([this, work = std::move(work), done = std::move(done)](std::stop_token stop) mutable {
            work(stop);
            PostQueued(this, [this, done = std::move(done)] {
                if (stopped_) return;
                running_ = false;
                done();
            });
        });
}

void QtTaskRunner::StopAndWait() {
    stopped_ = true;
    running_ = false;
    if (!thread_.joinable()) return;
    thread_.request_stop();
    thread_.join();
}

}  // namespace xqt::platform
