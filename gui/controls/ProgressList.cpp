#include "gui/controls/ProgressList.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <algorithm>

#include "fleet/UpgradeLog.h"
#include "gui/controls/RowGeometry.h"
#include "gui/controls/RowModel.h"
#include "gui/controls/RowPainter.h"

namespace xqt {

namespace {
constexpr int PROGRESS_COLUMNS = 6;  // ID, IP address, Model, Version No, Progress, Status
constexpr int BAR_COLUMN = 4;
const QColor FRAME_GREY(192, 192, 192);
const QColor FRAME_BLACK(0, 0, 0);

std::string TextOfCell(const ProgressRecord& row, int column) {
    return column == ProgressSlot::VERSION ? ShownVersion(row) : row.text[column];
}
}  // namespace

ProgressList::ProgressList(ModelList models, QWidget* parent, platform::EngineTiming timing)
    : CameraGrid(std::move(models), parent, timing), beep_([] { QApplication::beep(); }) {}

ProgressList::~ProgressList() = default;

// ---- Rows ---------------------------------------------------------------------------------------

void ProgressList::Attach(const BatchRun* run) {
    run_ = run;
    AnnounceRowsReset();
}

void ProgressList::RowsReset() {
    AnnounceRowsReset();
}

void ProgressList::RefreshRows() {
    AnnounceRowsChanged();
}

int ProgressList::RowCount() const {
    return Size();
}

QVariant ProgressList::CellData(int row, int column, int role) const {
    if (row < 0 || row >= Size() || column < 0 || column >= PROGRESS_COLUMNS) return {};
    const ProgressRecord& record = Row(row);
    if (column != BAR_COLUMN)
        return role == Qt::DisplayRole ? QString::fromStdString(TextOfCell(record, column)) : QVariant();
    // The bar draws no text; a screen reader names the cell by its percentage.
    const std::int32_t progress = std::clamp(record.progress.Load(), 0, PROGRESS_FULL);
    if (role == detail::PROGRESS_ROLE) return progress;
    if (role == Qt::AccessibleTextRole) return QStringLiteral("%1%").arg(progress * 100 / PROGRESS_FULL);
    return {};
}

void ProgressList::FitVersionOf(int index) {
    const QString text = QString::fromStdString(ShownVersion(Row(index)));
    const int needed = QFontMetrics(font()).horizontalAdvance(text) + detail::CELL_FIT_MARGIN;
    if (header()->sectionSize(ProgressSlot::VERSION) < needed)
        header()->resizeSection(ProgressSlot::VERSION, needed);
}

// ---- Beep ---------------------------------------------------------------------------------------

void ProgressList::SetBeep(std::function<void()> beep) {
    beep_ = std::move(beep);
}

void ProgressList::HeadingClicked(int) {
    if (beep_) beep_();
}

// ---- Painting -----------------------------------------------------------------------------------

void ProgressList::PaintRow(QPainter& painter, const RowPaint& paint) const {
    const ProgressRecord& row = Row(paint.row);
    // Selection and focus are not shown.
    detail::DrawStrip(painter, Images().normal, paint.rect, QColor(0xFB, 0xFB, 0xFB));
    const QFontMetrics metrics(font());
    for (int column = 0; column < std::min(ColumnCount(), PROGRESS_COLUMNS); ++column) {
        const QRect cell = CellRect(paint.rect.top(), column);
        if (column == BAR_COLUMN) {
            PaintBar(painter, cell, row.progress.Load());
        } else {
            detail::DrawCellText(painter, metrics, cell, QString::fromStdString(TextOfCell(row, column)),
                                 Qt::black);
        }
    }
}

void ProgressList::PaintBar(QPainter& painter, const QRect& cell, std::int32_t progress) const {
    // Corners as the cell's edges give them: right and bottom lie just outside the cell.
    const int left = cell.left();
    const int right = cell.left() + cell.width();
    const int top = cell.top();
    const int bottom = cell.top() + cell.height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(FRAME_GREY, 1));
    const QPoint grey[] = {
        {left + 1, top + 3}, {right - 1, top + 3}, {right - 1, bottom - 3}, {left + 1, bottom - 3}};
    painter.drawPolygon(grey, 4);
    painter.setPen(QPen(FRAME_BLACK, 1));
    const QPoint black[] = {
        {left, top + 2}, {right - 2, top + 2}, {right - 2, bottom - 4}, {left, bottom - 4}};
    painter.drawPolygon(black, 4);
    const int barWidth = ProgressBarWidth(progress, cell.width());
    const int barHeight = cell.height() - 7;
    if (barWidth > 0 && barHeight > 0)
        detail::DrawStrip(painter, Images().bar, QRect(left + 1, top + 3, barWidth, barHeight),
                          QColor(0xB5, 0xB2, 0xFF));
    painter.restore();
}

// ---- Input: the view's own handling only (selection, which is not drawn) ------------------------

void ProgressList::mousePressEvent(QMouseEvent* event) {
    QTreeView::mousePressEvent(event);
}

void ProgressList::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
}

void ProgressList::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
}

void ProgressList::mouseMoveEvent(QMouseEvent* event) {
    QTreeView::mouseMoveEvent(event);
}

void ProgressList::keyPressEvent(QKeyEvent* event) {
    QTreeView::keyPressEvent(event);
}

void ProgressList::keyReleaseEvent(QKeyEvent* event) {
    QTreeView::keyReleaseEvent(event);
}

}  // namespace xqt
