// CameraGrid: records, painting, selection and sorting. Input is in CameraGridInput.cpp, the
// connection test in CameraGridTesting.cpp.
#include "gui/controls/CameraGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>

#include "camera/CameraSession.h"
#include "fleet/TextForms.h"
#include "gui/controls/RowModel.h"

namespace xqt {

namespace {

/// Height of the row strips: the rows are at least this high so a strip is never squeezed.
constexpr int STRIP_HEIGHT = 17;
/// Delay before the DHCP tip shows.
constexpr int TIP_DELAY_MS = 100;

/// Gives every row the list's fixed height; the rows themselves are painted by the list.
class FixedRowDelegate : public QStyledItemDelegate {
  public:
    explicit FixedRowDelegate(const CameraGrid* grid)
        : QStyledItemDelegate(const_cast<CameraGrid*>(grid)), grid_(grid) {}
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(0, grid_->RowHeight());
    }

  private:
    const CameraGrid* grid_;
};

platform::ShellOpen& DesktopShell() {
    static platform::QtShellOpen shell;
    return shell;
}

QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

}  // namespace

CameraGrid::CameraGrid(ModelList models, QWidget* parent, platform::EngineTiming timing)
    : QTreeView(parent),
      models_(std::move(models)),
      timing_(timing),
      shell_(&DesktopShell()),
      tests_(models_, timing) {
    model_ = new detail::RowModel(
        [this](int row, int column, int role) { return CellData(row, column, role); }, this);
    setModel(model_);
    setItemDelegate(new FixedRowDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(0);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);

    QHeaderView* heading = header();
    heading->setStretchLastSection(false);
    heading->setSectionsMovable(false);
    heading->setSectionsClickable(true);
    heading->setHighlightSections(false);
    heading->setSortIndicatorShown(false);
    heading->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    heading->setMinimumSectionSize(1);
    heading->viewport()->installEventFilter(this);

    tipTimer_.setSingleShot(true);
    tipTimer_.setInterval(TIP_DELAY_MS);
    connect(&tipTimer_, &QTimer::timeout, this, [this] {
        if (!tipText_.isEmpty()) QToolTip::showText(viewport()->mapToGlobal(tipPoint_), tipText_, viewport());
    });

    testTimer_.setInterval(timing_.gridTestPeriod);
    connect(&testTimer_, &QTimer::timeout, this, &CameraGrid::OnTestTick);
}

CameraGrid::~CameraGrid() {
    StopTests();
}

void CameraGrid::InsertColumn(int column, const QString& heading, int width, Qt::Alignment alignment) {
    model_->InsertColumn(column, heading, alignment);
    header()->resizeSection(std::clamp(column, 0, ColumnCount() - 1), width);
}

int CameraGrid::ColumnCount() const {
    return model_->columnCount();
}

// ---- Records ------------------------------------------------------------------------------------

InsertResult CameraGrid::Insert(const CameraEntry& entry) {
    const InsertResult result = targets_.Insert(entry);
    if (result == InsertResult::Inserted) AnnounceRowsAppended();
    return result;
}

void CameraGrid::FillFromDiscovery(std::span<const DiscoveryEntry> entries) {
    targets_.FillFromDiscovery(entries);
    AnnounceRowsAppended();
}

int CameraGrid::TakeOver(const AddedCameraRows& rows) {
    const int inserted = rows.TakeOver(targets_);
    AnnounceRowsAppended();
    return inserted;
}

void CameraGrid::DeleteAll() {
    // Tests still in flight go on; their results find no record by key and are dropped.
    tipRow_ = -1;
    ClearTip();
    targets_.DeleteAll();
    AnnounceRowsReset();
}

void CameraGrid::SetCredentials(int position, const std::string& name, const std::string& password) {
    targets_.SetCredentials(position, name, password);
    viewport()->update();
}

void CameraGrid::SetTicked(int position, bool ticked) {
    targets_.SetTicked(position, ticked);
    AnnounceRowsChanged();
}

int CameraGrid::RowCount() const {
    return targets_.Size();
}

QVariant CameraGrid::CellData(int row, int column, int role) const {
    if (row < 0 || row >= targets_.Size()) return {};
    const CameraRecord& record = targets_.Record(row);
    if (role == Qt::CheckStateRole && column == 0)
        return static_cast<int>(record.ticked ? Qt::Checked : Qt::Unchecked);
    if (role != Qt::DisplayRole || column < 1 || column > TargetSlot::NAME) return {};
    return Text(record.text[column]);
}

void CameraGrid::AnnounceRowsAppended() {
    model_->RowsAppended(RowCount());
    viewport()->update();
}

void CameraGrid::AnnounceRowRemoved(int row) {
    model_->RowRemoved(row);
    viewport()->update();
}

void CameraGrid::AnnounceRowsReset() {
    model_->RowsReset(RowCount());
    viewport()->update();
}

void CameraGrid::AnnounceRowsChanged() {
    model_->RowsChanged();
    viewport()->update();
}

// ---- Geometry -----------------------------------------------------------------------------------

int CameraGrid::RowHeight() const {
    return std::max(STRIP_HEIGHT, fontMetrics().height() + 2);
}

int CameraGrid::RowUnder(int y) const {
    if (model_->rowCount() == 0 || y < 0) return -1;
    // Rows are of one height, so the row follows from the first row's place (above the viewport
    // when scrolled).
    const int firstTop = visualRect(model_->index(0, 0)).top();
    if (y < firstTop) return -1;
    return (y - firstTop) / RowHeight();
}

QRect CameraGrid::CellRect(int rowTop, int column) const {
    return QRect(header()->sectionViewportPosition(column), rowTop, header()->sectionSize(column),
                 RowHeight());
}

QModelIndex CameraGrid::indexAt(const QPoint& point) const {
    // The whole width of a row belongs to it, also right of the last column.
    QModelIndex index = QTreeView::indexAt(point);
    if (index.isValid() || point.x() < 0 || ColumnCount() == 0) return index;
    const int row = RowUnder(point.y());
    if (row < 0 || row >= model_->rowCount()) return {};
    return model_->index(row, ColumnCount() - 1);
}

// ---- Painting -----------------------------------------------------------------------------------

void CameraGrid::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= RowCount()) return;
    RowPaint paint;
    paint.row = index.row();
    const int offset = header()->offset();
    const int width = std::max(header()->length(), viewport()->width() + offset);
    paint.rect = QRect(-offset, option.rect.top(), width, RowHeight());
    // Selection is always shown, with or without the focus.
    paint.highlighted = selectionModel() && selectionModel()->isRowSelected(index.row(), QModelIndex());
    paint.focused = hasFocus() && currentIndex().isValid() && currentIndex().row() == index.row();
    paint.enabled = isEnabled();
    painter->save();
    painter->setFont(font());
    PaintRow(*painter, paint);
    painter->restore();
}

void CameraGrid::PaintRow(QPainter& painter, const RowPaint& paint) const {
    const CameraRecord& record = targets_.Record(paint.row);
    const QPalette& pal = palette();
    QColor textColor = pal.color(QPalette::Active, QPalette::Text);
    if (paint.highlighted) {
        textColor = pal.color(QPalette::Active, QPalette::HighlightedText);
        detail::DrawStrip(painter, images_.selected, paint.rect,
                          pal.color(QPalette::Active, QPalette::Highlight));
    } else if (!paint.enabled) {
        painter.fillRect(paint.rect, pal.color(QPalette::Active, QPalette::Button));
    } else if (record.testState == TestState::NotTested) {
        detail::DrawStrip(painter, images_.normal, paint.rect, QColor(0xFB, 0xFB, 0xFB));
    } else if (record.testState == TestState::Failed) {
        detail::DrawStrip(painter, images_.failed, paint.rect, QColor(0xFF, 0xA3, 0xA3));
    } else {
        detail::DrawStrip(painter, images_.passed, paint.rect, QColor(0xCC, 0xC8, 0xFF));
    }

    const int tick = !paint.enabled ? 2 : (record.ticked ? 1 : 0);
    const QPixmap& box = images_.ticks[tick];
    if (!box.isNull()) painter.drawPixmap(paint.rect.left(), paint.rect.top(), box);

    const QFontMetrics metrics(font());
    const int lastColumn = std::min(ColumnCount() - 1, static_cast<int>(TargetSlot::NAME));
    for (int column = 1; column <= lastColumn; ++column) {
        QColor color = textColor;
        if (column == TargetSlot::NAME && record.text[TargetSlot::PASSWORD].empty()) {
            color = detail::MISSING_PASSWORD_RED;
        } else if (!paint.enabled) {
            color = detail::WorkspaceColor(pal);
        }
        detail::DrawCellText(painter, metrics, CellRect(paint.rect.top(), column), Text(record.text[column]),
                             color);
    }
    PaintFocus(painter, paint);
}

void CameraGrid::PaintFocus(QPainter& painter, const RowPaint& paint) const {
    if (!paint.focused) return;
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = paint.rect.adjusted(0, 0, -1, -1).intersected(viewport()->rect().adjusted(0, 0, -1, 0));
    option.backgroundColor = palette().color(paint.highlighted ? QPalette::Highlight : QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

// ---- Camera pages ---------------------------------------------------------------------------------

void CameraGrid::OpenPage(const Octets& address, std::int32_t port) const {
    shell_->Open(PageAddress(address, port));
}

void CameraGrid::SetShellOpen(platform::ShellOpen* shell) {
    shell_ = shell ? shell : &DesktopShell();
}

// ---- Selection ----------------------------------------------------------------------------------

std::vector<int> CameraGrid::SelectedRows() const {
    std::vector<int> rows;
    if (!selectionModel()) return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CameraGrid::FocusedRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

bool CameraGrid::AnySelected() const {
    return selectionModel() && selectionModel()->hasSelection();
}

void CameraGrid::SetSelection(std::span<const int> rows, int focused) {
    QItemSelection selection;
    const int last = std::max(0, ColumnCount() - 1);
    for (int row : rows) {
        if (row >= 0 && row < model_->rowCount())
            selection.select(model_->index(row, 0), model_->index(row, last));
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (focused >= 0 && focused < model_->rowCount()) {
        selectionModel()->setCurrentIndex(model_->index(focused, 0), QItemSelectionModel::NoUpdate);
    } else {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    viewport()->update();
}

void CameraGrid::SelectAll() {
    std::vector<int> all(static_cast<std::size_t>(model_->rowCount()));
    for (int i = 0; i < static_cast<int>(all.size()); ++i)
        all[i] = i;
    SetSelection(all, all.empty() ? -1 : 0);
    emit SelectionChanged(AnySelected());
}

void CameraGrid::SelectFirst() {
    if (model_->rowCount() == 0) return;
    selectionModel()->setCurrentIndex(model_->index(0, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void CameraGrid::MoveFocusUp() {
    QApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier));
    QApplication::postEvent(this, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier));
}

void CameraGrid::MoveFocusDown() {
    QApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
    QApplication::postEvent(this, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier));
}

void CameraGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    viewport()->update();
}

void CameraGrid::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTreeView::selectionChanged(selected, deselected);
    viewport()->update();
}

namespace {
bool g_tickBusy = false;  // UI thread only
}  // namespace

CameraGrid::TickScope::TickScope() : entered(!g_tickBusy) {
    if (entered) g_tickBusy = true;
}

CameraGrid::TickScope::~TickScope() {
    if (entered) g_tickBusy = false;
}

}  // namespace xqt
