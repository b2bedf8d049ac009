// AddedCameraList: rows, painting, selection operations, sorting and page opening. The inquiry
// loop is in AddedCameraListInquiry.cpp.
#include "gui/controls/AddedCameraList.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "camera/CameraSession.h"
#include "gui/controls/RowGeometry.h"
#include "serialrules/SerialProtect.h"

namespace xqt {

namespace {
constexpr int ADDED_COLUMNS = 5;  // ID, IP address, Model, Serial No., Version No.
}  // namespace

AddedCameraList::AddedCameraList(ModelList models, const CameraGrid& targetGrid, QWidget* parent,
                                 platform::EngineTiming timing)
    : CameraGrid(std::move(models), parent, timing),
      rows_(targetGrid.Targets()),
      serialCheck_([](const std::string& serial) {
          return ns_serial_protect::JudgeSerial(serial) == ns_serial_protect::SerialVerdict::Allowed;
      }),
      inquiries_(Models(), Timing()) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    inquiryTimer_.setInterval(Timing().addedListInquiryPeriod);
    connect(&inquiryTimer_, &QTimer::timeout, this, &AddedCameraList::OnInquiryTick);
}

AddedCameraList::~AddedCameraList() {
    inquiryTimer_.stop();
    inquiries_.Clear();
}

int AddedCameraList::RowCount() const {
    return rows_.Size();
}

QVariant AddedCameraList::CellData(int row, int column, int role) const {
    if (role != Qt::DisplayRole || row < 0 || row >= rows_.Size() || column < 0 || column >= ADDED_COLUMNS)
        return {};
    return QString::fromStdString(rows_.Row(row).text[column]);
}

// ---- Rows ---------------------------------------------------------------------------------------

int AddedCameraList::AppendBlank() {
    const int index = rows_.AppendBlank();
    AnnounceRowsAppended();
    SelectLast();
    return index;
}

std::optional<AddedCameraList::RowTexts> AddedCameraList::GetTexts(int id) const {
    const int index = rows_.FindById(id);
    if (index < 0) return std::nullopt;
    const AddedCameraRecord& row = rows_.Row(index);
    return RowTexts{row.text[AddedSlot::MODEL], row.text[AddedSlot::SERIAL], row.text[AddedSlot::VERSION]};
}

void AddedCameraList::DeleteRow(int index) {
    if (index < 0 || index >= rows_.Size()) return;
    inquiries_.Drop(rows_.Row(index).key);
    const int next = rows_.DeleteRow(index);
    AnnounceRowRemoved(index);
    AnnounceRowsChanged();
    if (next >= 0) SelectRow(next);
    emit SelectionChanged(AnySelected());
}

void AddedCameraList::RemoveBlankRows() {
    for (int i = rows_.Size() - 1; i >= 0; --i) {
        if (!rows_.Entered(i)) DeleteRow(i);
    }
}

// ---- Selection ----------------------------------------------------------------------------------

void AddedCameraList::SelectRow(int row) {
    if (row < 0 || row >= rows_.Size()) return;
    const int rows[] = {row};
    SetSelection(rows, row);
}

int AddedCameraList::SelectedRow() const {
    const std::vector<int> selected = SelectedRows();
    return selected.empty() ? -1 : selected.front();
}

void AddedCameraList::SelectNext() {
    const int row = SelectedRow();
    if (row >= 0) SelectRow(row + 1);
}

void AddedCameraList::SelectPrevious() {
    const int row = SelectedRow();
    if (row > 0) SelectRow(row - 1);
}

void AddedCameraList::SelectLast() {
    SelectRow(rows_.Size() - 1);
}

// ---- Painting -----------------------------------------------------------------------------------

void AddedCameraList::PaintRow(QPainter& painter, const RowPaint& paint) const {
    const AddedCameraRecord& row = rows_.Row(paint.row);
    const QPalette& pal = palette();
    QColor textColor = pal.color(QPalette::Active, QPalette::Text);
    if (paint.highlighted) {
        textColor = pal.color(QPalette::Active, QPalette::HighlightedText);
        detail::DrawStrip(painter, Images().selected, paint.rect,
                          pal.color(QPalette::Active, QPalette::Highlight));
    } else if (row.conflict == Conflict::SameAddress) {
        detail::DrawStrip(painter, Images().duplicate, paint.rect, QColor(0xFF, 0xD9, 0x5B));
    } else if (row.conflict == Conflict::AlreadyTarget) {
        detail::DrawStrip(painter, Images().failed, paint.rect, QColor(0xFF, 0xA3, 0xA3));
    } else {
        detail::DrawStrip(painter, Images().normal, paint.rect, QColor(0xFB, 0xFB, 0xFB));
    }
    // A camera that answered but is refused (model or serial) is dimmed whole.
    if (row.verdict == Verdict::Other) textColor = detail::WorkspaceColor(pal);
    const QFontMetrics metrics(font());
    for (int column = 0; column < std::min(ColumnCount(), ADDED_COLUMNS); ++column) {
        detail::DrawCellText(painter, metrics, CellRect(paint.rect.top(), column),
                             QString::fromStdString(row.text[column]), textColor);
    }
    PaintFocus(painter, paint);
}

// ---- Input --------------------------------------------------------------------------------------

void AddedCameraList::mousePressEvent(QMouseEvent* event) {
    QTreeView::mousePressEvent(event);
}

void AddedCameraList::mouseDoubleClickEvent(QMouseEvent* event) {
    if (rows_.Size() == 0) return;
    const int row = RowUnder(event->position().toPoint().y());
    if (row < 0 || row >= rows_.Size()) return;
    if (event->button() == Qt::LeftButton) OpenPage(rows_.Row(row).address, rows_.Row(row).port);
    QTreeView::mouseDoubleClickEvent(event);
}

void AddedCameraList::mouseMoveEvent(QMouseEvent* event) {
    QTreeView::mouseMoveEvent(event);
}

void AddedCameraList::keyPressEvent(QKeyEvent* event) {
    QTreeView::keyPressEvent(event);
}

void AddedCameraList::keyReleaseEvent(QKeyEvent* event) {
    QTreeView::keyReleaseEvent(event);
    if (!event->isAutoRepeat()) emit SelectionChanged(AnySelected());
}

void AddedCameraList::HeadingClicked(int column) {
    SortRows(column);
}

void AddedCameraList::SortRows(int column) {
    const SortOutcome outcome = rows_.SortByColumn(column, SelectedRows(), FocusedRow());
    if (!outcome.sorted) return;
    AnnounceRowsChanged();
    SetSelection(outcome.selectedRows, outcome.focusedRow);
}

}  // namespace xqt
