#pragma once
// "Single login": gives administrator credentials to the rows of the target grid one by one,
// starting from the selected row, stepping with PREV and NEXT. Every step stores the row it
// leaves; Close drops only the edits since the last step. The grid's selection follows the row
// shown. Nothing is checked against a camera. Modal, UI thread only.

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

namespace xqt {

class BitmapButton;
class CameraGrid;
class Ipv4Edit;

class SingleLoginDialog : public QDialog {
    Q_OBJECT
  public:
    /// `grid` must outlive the dialog. Starts on the first selected row (else the focused row,
    /// else row 0).
    explicit SingleLoginDialog(CameraGrid& grid, QWidget* parent = nullptr);

    /// What NEXT plays on the last row (default: the system's exclamation sound).
    void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }
    /// The row shown, or -1 when the grid has no rows.
    int CurrentRow() const { return row_; }

  private:
    void OnPrev();
    void OnNext();
    void OnOk();
    void Store();
    void ShowRow();
    void SelectInGrid();

    CameraGrid& grid_;
    int row_ = -1;
    std::function<void()> beep_;

    Ipv4Edit* address_;
    QLineEdit* name_;
    QLineEdit* password_;
    BitmapButton* prev_;
    BitmapButton* next_;
    QPushButton* ok_;
    QPushButton* close_;
};

}  // namespace xqt
