#pragma once
// The item model behind the camera lists. It carries no record data of its own: the row count is
// the owning control's, announced through the calls below after the control has changed its
// records, and every text comes from the control on request (for accessibility; the rows are
// painted from the records directly). UI thread only.

#include <QAbstractTableModel>
#include <QString>
#include <functional>
#include <vector>

namespace xqt::detail {

class RowModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    /// Text of a cell, or empty; called only with row and column inside the announced counts.
    using CellTextSource = std::function<QString(int row, int column)>;

    explicit RowModel(CellTextSource cellText, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void InsertColumn(int column, const QString& heading, Qt::Alignment alignment);

    /// The control has appended rows and now holds `count`.
    void RowsAppended(int count);
    /// The control has removed its row `row`.
    void RowRemoved(int row);
    /// The control's rows were replaced; it now holds `count`.
    void RowsReset(int count);
    /// Texts of existing rows changed (after a sort or an update of records).
    void RowsChanged();

  private:
    struct Heading {
        QString text;
        Qt::Alignment alignment;
    };
    CellTextSource cellText_;
    std::vector<Heading> headings_;
    int rows_ = 0;
};

}  // namespace xqt::detail
