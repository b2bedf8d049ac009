#pragma once
// The item model behind the camera lists. It carries no record data of its own: the row count is
// the owning control's, announced through the calls below after the control has changed its
// records, and every value comes from the control on request. The rows are painted from the
// records directly; the model's roles report what the painting shows (cell texts, tick states,
// progress) to accessibility. UI thread only.

#include <QAbstractTableModel>
#include <QString>
#include <functional>
#include <vector>

namespace xqt::detail {

/// Role of a drawn progress bar's value: an int from 0 to PROGRESS_FULL.
inline constexpr int PROGRESS_ROLE = Qt::UserRole;

class RowModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    /// Value of a cell in a role, or an invalid QVariant; called only with row and column inside
    /// the announced counts. A cell with a valid Qt::CheckStateRole is user-checkable.
    using CellDataSource = std::function<QVariant(int row, int column, int role)>;

    explicit RowModel(CellDataSource cellData, QObject* parent = nullptr);

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
    CellDataSource cellData_;
    std::vector<Heading> headings_;
    int rows_ = 0;
};

}  // namespace xqt::detail
