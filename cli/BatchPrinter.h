#pragma once
// xqt-cli batch: what a run shows and writes while it goes (the live view or status lines, the
// report files, the upgrade history).
//
// Threads: the BatchObserver calls, WriteReports, RecordInHistory, Running and ReportFailed run
// on the event loop's thread (the owner); Wait and Show on the command's own thread, which
// prints; SetStopping and Stopping on either.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "cli/BatchOptions.h"
#include "fleet/BatchRun.h"
#include "fleet/Report.h"
#include "platform/EventLoopOwner.h"

namespace xqt::cli::batch {

/// A camera's end as plain output gives it: "address outcome [version] [(detail)]", in words a
/// person reads, never a status code.
[[nodiscard]] std::string EndLine(const ReportRow& row);

/// Keeps the report files up to date on the owner's thread and hands what there is to show to
/// the command's own thread, which prints it.
class BatchPrinter : public BatchObserver {
  public:
    BatchPrinter(const BatchOptions& options, Report& report) : options_(options), report_(report) {}
    void SetRun(BatchRun* run) { run_ = run; }
    /// Row `row` ends Skipped with the earlier report's row `text` (carried forward whole).
    void Carry(int row, std::string text) { carried_[row] = std::move(text); }

    void StatusChanged(int row, UpgradeStatus status) override {
        std::lock_guard lock(mutex_);
        changes_.push_back({row, status});
        wake_.notify_all();
    }
    void CameraProgressed(int) override { WriteReports(false); }
    void CameraEnded(int row) override {
        WriteReports(false);
        RecordInHistory(row);
        std::lock_guard lock(mutex_);
        ends_.push_back(row);
        wake_.notify_all();
    }
    void RunEnded() override {
        std::lock_guard lock(mutex_);
        ended_ = true;
        wake_.notify_all();
    }

    /// Waits for something to show, at most `limit`; true once the run has ended.
    [[nodiscard]] bool Wait(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, limit, [&] { return ended_ || !changes_.empty() || !ends_.empty(); });
        return ended_;
    }
    /// The changes so far, as the rows stand: gathered on the owner's thread, printed on this one.
    void Show(platform::EventLoopOwner& owner, bool live);
    /// From now on the live view says, once and on a line of its own, that the run is stopping.
    void SetStopping() { stopping_ = true; }
    [[nodiscard]] bool Stopping() const { return stopping_; }
    /// Rewrites the report files (owner's thread); `final` marks the run's end. False when one of
    /// them could not be written.
    bool WriteReports(bool final);
    /// A camera the run wrote to, or tried to, goes into the upgrade history; one that was only asked
    /// (current, unsuitable, a dry run) does not. The report stands whether or not this works.
    void RecordInHistory(int row);
    /// A report file could not be written at some point of the run (owner's thread).
    [[nodiscard]] bool ReportFailed() const { return reportFailed_; }
    /// The cameras still being upgraded, as "address (status)" (owner's thread).
    [[nodiscard]] std::string Running() const;

  private:
    void ReportError(const std::string& error);
    [[nodiscard]] std::string LiveView();

    const BatchOptions& options_;
    Report& report_;
    BatchRun* run_ = nullptr;
    std::map<int, std::string> carried_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<int, UpgradeStatus>> changes_;
    std::deque<int> ends_;  ///< rows whose camera has ended since the last Show
    bool ended_ = false;
    std::atomic<bool> stopping_{false};
    // Owner's thread only.
    bool reportFailed_ = false;
    bool historyFailed_ = false;
    std::string errors_;
    bool stoppingShown_ = false;
    int lastLines_ = 0;
    const std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
};

}  // namespace xqt::cli::batch
