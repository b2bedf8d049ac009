#pragma once
// The list of the automatic progress page: one row per camera being upgraded, with a drawn
// progress bar and the status word the page writes. Selection and focus are not shown; a click on
// a heading beeps and never sorts. The list owns the rows (ProgressRecord, by value) and the
// queue of upgrade sessions in row order, one per row until its camera has finished; the page's
// scheduler drives them through the operations below.
//
// Threads: UI thread only, except that each session's worker writes the progress word of its own
// row (ProgressRecord::progress, reached through CameraSession::progressValue). Rows are never
// moved while the list holds sessions: AddRow only appends, and Clear deletes every session
// before any row.

#include <QTimer>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "camera/CameraSession.h"
#include "controls/CameraGrid.h"
#include "targets/CameraRecord.h"

namespace xqt {

/// Values of one automatic run that every upgrade session reads through a reference (the list
/// keeps them at a fixed place for its whole life). Written by the page before the run starts.
struct RunOptions {
    std::atomic<std::int32_t> retain{1};     ///< save the configuration and put it back afterwards
    std::atomic<std::int32_t> noBackup{1};   ///< delete the saved file once it has been put back
    std::atomic<std::int64_t> startTime{0};  ///< seconds since the epoch: time stamp of the saved files
};

class ProgressList : public CameraGrid {
    Q_OBJECT
  public:
    explicit ProgressList(ModelList models, QWidget* parent = nullptr, platform::EngineTiming timing = {});
    ~ProgressList() override;

    // ---- Rows ----------------------------------------------------------------------------------

    /// Deletes every session, then every row; stops the scheduler and clears the abort flag.
    void Clear();
    /// Appends `record` as the last row. A `session` joins the queue (row order) with its progress
    /// output pointed at the row's progress word; the list owns it from now on. Returns the row.
    int AddRow(ProgressRecord record, std::unique_ptr<CameraSession> session);
    int Size() const { return static_cast<int>(rows_.size()); }
    const ProgressRecord& Row(int index) const { return rows_.at(index); }
    /// Row `index` for the page to update (status word, version, result, progress, image slot);
    /// call RefreshRows afterwards to show it.
    ProgressRecord& MutableRow(int index) { return rows_.at(index); }
    void RefreshRows();
    /// Widens the version column, never narrows it, so that row `index`'s version is shown whole;
    /// for a version marked as not confirmed, which would otherwise be cut before its mark.
    void FitVersionOf(int index);

    // ---- Session queue (row order) -------------------------------------------------------------

    int QueueLength() const { return static_cast<int>(queue_.size()); }
    CameraSession& QueuedSession(int position) const { return *queue_.at(position).session; }
    int QueuedRow(int position) const { return queue_.at(position).row; }
    /// The session of `row` while it is queued, else null (its camera has finished).
    CameraSession* SessionOfRow(int row) const;
    /// Removes the session at `position` from the queue and deletes it; the ones behind move up.
    /// Its camera must have finished (no worker of the session may still run).
    void FinishQueued(int position);
    /// Deletes every queued session (an abort drops the cameras not yet started): their rows get
    /// result 0.
    void DropQueued();

    RunOptions& Options() { return options_; }
    bool AbortRequested() const { return abort_; }
    void SetAbort(bool abort) { abort_ = abort; }

    // ---- Scheduler timer -----------------------------------------------------------------------

    /// Calls `tick` every schedulerPeriod on the UI thread; a tick arriving while any list tick is
    /// still being handled is skipped.
    void StartScheduler(std::function<void()> tick);
    void StopScheduler();
    bool SchedulerRunning() const { return schedulerTimer_.isActive(); }

    /// What a heading click plays (default: the system's exclamation sound).
    void SetBeep(std::function<void()> beep);

  protected:
    int RowCount() const override;
    QVariant CellData(int row, int column, int role) const override;
    void PaintRow(QPainter& painter, const RowPaint& paint) const override;
    void HeadingClicked(int column) override;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    struct Queued {
        int row = 0;
        std::unique_ptr<CameraSession> session;
    };

    void PaintBar(QPainter& painter, const QRect& cell, std::int32_t progress) const;

    std::deque<ProgressRecord> rows_;  // a deque: appending never moves a row a worker writes to
    std::vector<Queued> queue_;
    RunOptions options_;
    bool abort_ = false;
    std::function<void()> beep_;
    std::function<void()> schedulerTick_;
    QTimer schedulerTimer_;
};

}  // namespace xqt
