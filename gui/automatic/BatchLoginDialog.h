#pragma once
// "Batch login": one administrator name and password for every selected row of the target grid.
// The edits open filled only when two or more rows are selected and all share the same
// credentials. OK stores into every such row in list order; Cancel stores nothing. Nothing is
// checked against a camera. Modal, UI thread only.

#include <QDialog>
#include <vector>

class QLineEdit;
class QPushButton;

namespace xqt {

class CameraGrid;

class BatchLoginDialog : public QDialog {
    Q_OBJECT
  public:
    /// `grid` must outlive the dialog; its selection is read once, here.
    explicit BatchLoginDialog(CameraGrid& grid, QWidget* parent = nullptr);

    /// The rows OK writes to, in list order.
    const std::vector<int>& Rows() const { return rows_; }

  private:
    void OnOk();

    CameraGrid& grid_;
    std::vector<int> rows_;
    QLineEdit* name_;
    QLineEdit* password_;
};

}  // namespace xqt
