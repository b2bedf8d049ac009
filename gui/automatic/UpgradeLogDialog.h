#pragma once
// "Upgrade log": the outcome of an automatic run, one line per camera that took part, as one
// read-only text in black on white that the user can scroll and copy. It opens at the top with
// nothing selected; a later showing keeps where the user was. "Save report..." writes the run's
// report (one row per camera) as JSON or CSV, by the file type the user picks. The run is read
// once, at construction. Modal, UI thread only.

#include <QDialog>
#include <QString>
#include <functional>

#include "fleet/Report.h"

class QPlainTextEdit;

namespace xqt {

class BatchRun;

class UpgradeLogDialog : public QDialog {
    Q_OBJECT
  public:
    /// Asks where to save the report: a path (empty: cancelled) and, in `filter`, the file type
    /// chosen. By default the file dialog.
    using FileChooser = std::function<QString(QString& filter)>;

    /// `run` is read here only (its rows, in row order); it need not outlive the dialog.
    explicit UpgradeLogDialog(const BatchRun& run, QWidget* parent = nullptr);

    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    /// Writes the report to `path`, as CSV when `csv`; the reason when it cannot.
    Result<void> SaveReport(const QString& path, bool csv) const;

    /// The log as shown (LF line ends).
    QString LogText() const { return logText_; }
    QPlainTextEdit* Editor() const { return editor_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void OnSaveReport();

    Report report_;
    FileChooser chooser_;
    QString logText_;
    QPlainTextEdit* editor_;
    bool placed_ = false;  ///< the view was put at the top once
};

}  // namespace xqt
