#pragma once
// Runs one blocking job at a time on a helper thread and hands its completion back to the thread
// that owns the runner (the UI thread), through a queued call. Lifetime: the destructor asks a
// running job to stop through its token and waits for it; completions not yet delivered are dropped.

#include <QObject>
#include <functional>
#include <stop_token>
#include <thread>

namespace xqt::platform {

class QtTaskRunner : public QObject {
    Q_OBJECT
  public:
    explicit QtTaskRunner(QObject* parent = nullptr) : QObject(parent) {}
    ~QtTaskRunner() override;

    /// Starts `work` on a helper thread; `done` runs on the owner's thread after it. Call from the
    /// owner's thread, and only after the previous job's `done` has run.
    void Run(std::function<void(std::stop_token)> work, std::function<void()> done);
    /// True from Run until the job's `done` has been delivered.
    bool Running() const { return running_; }
    /// Asks the job to stop and waits for its thread; its `done` is not delivered.
    void StopAndWait();

  private:
    std::jthread thread_;
    bool running_ = false;
    bool stopped_ = false;
};

}  // namespace xqt::platform
