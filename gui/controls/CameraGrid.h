#pragma once
// The owner-drawn camera list of the automatic targets page: one row per record of its TargetList,
// with tick boxes, multi-selection, sorting by a heading click, a tool tip with the real address of
// a DHCP camera, a double-click that opens the camera's web page, and the connection test of the
// selected cameras. AddedCameraList and ProgressList derive from it: they share its painting
// frame, row geometry, heading hit rule and test-free plumbing, and bring rows of their own.
//
// Threads: UI thread only. The connection-test sessions run their exchanges on their own threads
// and are only polled from the grid's timer; the grid owns them and destroys them (cancelling any
// exchange still open) when their test has ended or the grid goes.

#include <QTimer>
#include <QTreeView>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "camera/CameraSession.h"
#include "camera/DiscoveryEntry.h"
#include "camera/ModelList.h"
#include "fleet/AddedCameraRows.h"
#include "fleet/ListInquiries.h"
#include "fleet/TargetList.h"
#include "gui/controls/RowPainter.h"
#include "platform/EngineTiming.h"
#include "platform/MessageBoxes.h"
#include "platform/ShellOpen.h"

namespace xqt {

namespace detail {
class RowModel;
}

/// Connection-test timer of the grid (0x8010).
inline constexpr int TIMER_GRID_TEST = 0x8010;

class CameraGrid : public QTreeView {
    Q_OBJECT
  public:
    /// `models` is handed to every connection test; `timing` gives the test's period and limit.
    explicit CameraGrid(ModelList models, QWidget* parent = nullptr, platform::EngineTiming timing = {});
    ~CameraGrid() override;

    /// Adds a column at `column` (0 = the tick column of the targets page) `width` pixels wide.
    void InsertColumn(int column, const QString& heading, int width, Qt::Alignment alignment = Qt::AlignLeft);
    [[nodiscard]] int ColumnCount() const;

    // ---- The TargetList ------------------------------------------------------------------------

    const TargetList& Targets() const { return targets_; }
    /// TargetList::Insert, shown at once.
    InsertResult Insert(const CameraEntry& entry);
    /// TargetList::FillFromDiscovery, shown at once.
    void FillFromDiscovery(std::span<const DiscoveryEntry> entries);
    /// Appends the valid rows of the Add-other-cameras list (AddedCameraRows::TakeOver); returns
    /// how many were inserted.
    int TakeOver(const AddedCameraRows& rows);
    /// Empties the list. Tests in flight go on; their results are dropped.
    void DeleteAll();
    Credentials GetCredentials(int position) const { return targets_.GetCredentials(position); }
    void SetCredentials(int position, const std::string& name, const std::string& password);
    void SetTicked(int position, bool ticked);
    UpgradeData GetUpgradeData(int position) const { return targets_.GetUpgradeData(position); }
    Octets GetAddress(int position) const { return targets_.GetAddress(position); }
    bool IsReady() const { return targets_.IsReady(); }
    [[nodiscard]] bool FindDuplicateAddresses(platform::MessageBoxes& boxes) const {
        return targets_.FindDuplicateAddresses(boxes);
    }

    // ---- Selection and focus -------------------------------------------------------------------

    /// Selects every row, focuses row 0 and notifies SelectionChanged.
    void SelectAll();
    /// Selects and focuses row 0.
    void SelectFirst();
    /// Posts an Up (Down) key press and release, so the list moves focus and selection as if the
    /// key had been pressed; the release notifies SelectionChanged.
    void MoveFocusUp();
    void MoveFocusDown();
    /// Selected rows in ascending order.
    [[nodiscard]] std::vector<int> SelectedRows() const;
    /// The focused (current) row, or -1.
    [[nodiscard]] int FocusedRow() const;
    [[nodiscard]] bool AnySelected() const;
    /// Selects exactly `rows` and focuses `focused` (-1: no focus).
    void SetSelection(std::span<const int> rows, int focused);

    // ---- Heading clicks, page opening, tool tip -------------------------------------------------

    /// A click on heading `column`: the TargetList's rule (the column and direction are recorded
    /// for every click), selection and focus kept on the same cameras.
    void SortByColumn(int column);
    /// Where double-clicks open a camera's page; not owned, must outlive the grid. Default: the
    /// desktop's browser.
    void SetShellOpen(platform::ShellOpen* shell);
    /// The DHCP tip now set (the real address), empty when none.
    QString TipText() const { return tipText_; }

    // ---- Connection test -----------------------------------------------------------------------

    /// Queues a test of every selected row in list order and starts the test timer.
    void StartTest();
    /// Tests waiting or in flight.
    int PendingTests() const { return static_cast<int>(tests_.Size()); }

    // ---- Geometry ------------------------------------------------------------------------------

    [[nodiscard]] int RowHeight() const;
    /// The row at viewport height y: -1 above the first row or when there are no rows, RowCount()
    /// or more below the last one.
    [[nodiscard]] int RowUnder(int y) const;
    /// The cell of `column` in the row at viewport height `rowTop`.
    [[nodiscard]] QRect CellRect(int rowTop, int column) const;

    QModelIndex indexAt(const QPoint& point) const override;

  signals:
    /// After every key release, click and right-click in the list, and from SelectAll.
    void SelectionChanged(bool anySelected);
    /// After a click in the tick column and after the space bar changed ticks.
    void TicksChanged();
    /// When the last test of a connection test has ended.
    void TestFinished();

  protected:
    /// What one row is painted with.
    struct RowPaint {
        int row = 0;
        QRect rect;  ///< the whole row, widened to the viewport
        bool highlighted = false;
        bool focused = false;  ///< the row is focused and the list has the focus
        bool enabled = true;
    };

    [[nodiscard]] virtual int RowCount() const;
    /// What the model reports of a cell (see RowModel): the text drawn in it (Qt::DisplayRole) and
    /// whatever else the row's painting shows there. The grid adds the tick of column 0.
    [[nodiscard]] virtual QVariant CellData(int row, int column, int role) const;
    virtual void PaintRow(QPainter& painter, const RowPaint& paint) const;
    /// A left button went down on heading `column` (dividers excluded).
    virtual void HeadingClicked(int column);

    /// Announce changes of the subclass's own rows to the view.
    void AnnounceRowsAppended();
    void AnnounceRowRemoved(int row);
    void AnnounceRowsReset();
    void AnnounceRowsChanged();

    /// Opens "http://a.b.c.d[:port]/" through the shell.
    void OpenPage(const Octets& address, std::int32_t port) const;
    /// Draws the focus rectangle of a focused row.
    void PaintFocus(QPainter& painter, const RowPaint& paint) const;
    /// Marks a list timer tick as being handled for its scope. One flag serves every list: a tick
    /// that arrives while any list's tick is still being handled finds `entered` false and returns.
    class TickScope {
      public:
        TickScope();
        ~TickScope();
        TickScope(const TickScope&) = delete;
        TickScope& operator=(const TickScope&) = delete;
        const bool entered;
    };

    const detail::RowImages& Images() const { return images_; }
    const ModelList& Models() const { return models_; }
    const platform::EngineTiming& Timing() const { return timing_; }

    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

  private:
    /// Tick rule of a left button going down at `point`; true when it consumed the press.
    [[nodiscard]] bool PressTickBox(const QPoint& point);
    void UpdateDhcpTip(const QPoint& point);
    void ClearTip();
    void OnTestTick();
    void StopTests();

    ModelList models_;
    platform::EngineTiming timing_;
    detail::RowModel* model_;
    detail::RowImages images_;
    TargetList targets_;
    platform::ShellOpen* shell_;

    int tipRow_ = -1;
    QString tipText_;
    QPoint tipPoint_;
    QTimer tipTimer_;

    ConnectionTests tests_;  ///< by record key
    QTimer testTimer_;
};

}  // namespace xqt
