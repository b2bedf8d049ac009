#pragma once
// The list of the automatic progress page: it draws the rows of a BatchRun, one per camera, with a
// drawn progress bar and the status word the run writes. Selection and focus are not shown; a click
// on a heading beeps and never sorts. The list owns nothing of the run: the page attaches the run
// and tells the list when its rows changed.
//
// Threads: UI thread only; the run's sessions write the progress words the list reads.

#include <functional>

#include "fleet/BatchRun.h"
#include "fleet/CameraRecord.h"
#include "gui/controls/CameraGrid.h"

namespace xqt {

class ProgressList : public CameraGrid {
    Q_OBJECT
  public:
    explicit ProgressList(ModelList models, QWidget* parent = nullptr, platform::EngineTiming timing = {});
    ~ProgressList() override;

    /// The run whose rows the list draws (null: none); it must outlive the list or be detached.
    void Attach(const BatchRun* run);
    const BatchRun* Run() const { return run_; }
    int Size() const { return run_ ? run_->Size() : 0; }
    const ProgressRecord& Row(int index) const { return run_->Row(index); }
    /// The run's rows were added or removed.
    void RowsReset();
    /// The run's rows changed in place.
    void RefreshRows();
    /// Widens the version column, never narrows it, so that row `index`'s version is shown whole;
    /// for a version marked as not confirmed, which would otherwise be cut before its mark.
    void FitVersionOf(int index);

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
    void PaintBar(QPainter& painter, const QRect& cell, std::int32_t progress) const;

    const BatchRun* run_ = nullptr;
    std::function<void()> beep_;
};

}  // namespace xqt
