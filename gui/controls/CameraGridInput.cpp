// CameraGrid: input. Tick clicks and the space bar, heading clicks, the double-click that opens a
// camera's page, and the DHCP tip.
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>

#include "fleet/TextForms.h"
#include "gui/controls/CameraGrid.h"
#include "gui/controls/RowGeometry.h"

namespace xqt {

// ---- Input --------------------------------------------------------------------------------------

bool CameraGrid::PressTickBox(const QPoint& point) {
    const int row = RowUnder(point.y());
    // Below the last row nothing at all happens: the selection stays as it is.
    if (row < 0 || row >= targets_.Size()) return true;
    if (ColumnCount() == 0 || header()->logicalIndexAt(point.x()) != 0) return false;
    targets_.ClickTick(row, SelectedRows());
    AnnounceRowsChanged();
    emit TicksChanged();
    return true;
}

void CameraGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && PressTickBox(event->position().toPoint())) {
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void CameraGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        emit SelectionChanged(AnySelected());
}

void CameraGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QTreeView::mouseDoubleClickEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    if (ColumnCount() > 0 && header()->logicalIndexAt(point.x()) == 0) {
        // A double-click in the tick column is a second click on the box. The view's own
        // double-click handling would turn it into yet another press, so it is not called.
        if (!PressTickBox(point)) QTreeView::mouseDoubleClickEvent(event);
        event->accept();
        return;
    }
    const int row = RowUnder(point.y());
    if (row < 0 || row >= targets_.Size()) return;
    const CameraRecord& record = targets_.Record(row);
    OpenPage(record.address, record.port);
    QTreeView::mouseDoubleClickEvent(event);
}

void CameraGrid::keyPressEvent(QKeyEvent* event) {
    // The space bar ticks (on release); it does not also select the focused row.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CameraGrid::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() &&
        targets_.PressSpace(FocusedRow(), SelectedRows())) {
        AnnounceRowsChanged();
        emit TicksChanged();
    }
    if (!event->isAutoRepeat()) emit SelectionChanged(AnySelected());
    QTreeView::keyReleaseEvent(event);
}

void CameraGrid::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    viewport()->update();
}

void CameraGrid::focusOutEvent(QFocusEvent* event) {
    QTreeView::focusOutEvent(event);
    viewport()->update();
}

void CameraGrid::changeEvent(QEvent* event) {
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::PaletteChange) {
        scheduleDelayedItemsLayout();
        viewport()->update();
    }
}

// ---- Headings -----------------------------------------------------------------------------------

bool CameraGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == header()->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            std::vector<HeadingSection> sections;
            for (int column = 0; column < ColumnCount(); ++column)
                sections.push_back(
                    {header()->sectionViewportPosition(column), header()->sectionSize(column)});
            const int column = HeadingAt(mouse->position().toPoint().x(), sections);
            if (column >= 0) HeadingClicked(column);
        }
    }
    return QTreeView::eventFilter(watched, event);
}

void CameraGrid::HeadingClicked(int column) {
    SortByColumn(column);
}

void CameraGrid::SortByColumn(int column) {
    const SortOutcome outcome = targets_.SortByColumn(column, SelectedRows(), FocusedRow());
    if (!outcome.sorted) return;
    AnnounceRowsChanged();
    SetSelection(outcome.selectedRows, outcome.focusedRow);
}

// ---- DHCP tip -----------------------------------------------------------------------------------

void CameraGrid::ClearTip() {
    tipText_.clear();
    tipTimer_.stop();
    QToolTip::hideText();
}

void CameraGrid::UpdateDhcpTip(const QPoint& point) {
    if (ColumnCount() <= TargetSlot::ADDRESS || header()->logicalIndexAt(point.x()) != TargetSlot::ADDRESS) {
        // Leaving the column forgets the row, so coming back to the same cell shows the tip again.
        tipRow_ = -1;
        ClearTip();
        return;
    }
    const int row = RowUnder(point.y());
    if (targets_.Empty() || row < 0 || row == tipRow_) return;
    tipRow_ = row;
    if (row >= targets_.Size()) {
        ClearTip();
        return;
    }
    const CameraRecord& record = targets_.Record(row);
    if (!record.dhcp) {
        ClearTip();
        return;
    }
    tipText_ = QString::fromStdString(AddressText(record.address, record.port));
    tipPoint_ = point;
    tipTimer_.start();
}

void CameraGrid::mouseMoveEvent(QMouseEvent* event) {
    UpdateDhcpTip(event->position().toPoint());
    QTreeView::mouseMoveEvent(event);
}

bool CameraGrid::viewportEvent(QEvent* event) {
    // The list shows its own tip (the DHCP address); the view's item tips are not used.
    if (event->type() == QEvent::ToolTip) {
        event->accept();
        return true;
    }
    return QTreeView::viewportEvent(event);
}

}  // namespace xqt
