#pragma once
// "Upgrade log": the outcome of an automatic run, one line per camera that took part, as one
// read-only text in black on white that the user can scroll and copy. It opens at the top with
// nothing selected; a later showing keeps where the user was. The list is read once, at
// construction. Modal, UI thread only.

#include <QDialog>
#include <QString>

class QPlainTextEdit;

namespace xqt {

class BatchRun;

class UpgradeLogDialog : public QDialog {
    Q_OBJECT
  public:
    /// `list` is read here only (its rows' log lines, in row order); it need not outlive the dialog.
    explicit UpgradeLogDialog(const BatchRun& run, QWidget* parent = nullptr);

    /// The log as shown (LF line ends).
    QString LogText() const { return logText_; }
    QPlainTextEdit* Editor() const { return editor_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QString logText_;
    QPlainTextEdit* editor_;
    bool placed_ = false;  ///< the view was put at the top once
};

}  // namespace xqt
