#include "gui/automatic/UpgradeLogDialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "fleet/BatchRun.h"
#include "fleet/UpgradeLog.h"
#include "gui/automatic/DialogSupport.h"
#include "platform/Resources.h"

namespace xqt {

namespace {
/// After this delay the view is put back to the top, once the toolkit has laid out the text.
constexpr int TOP_DELAY_MS = 10;
const QString JSON_FILTER = "JSON report (*.json)";
const QString CSV_FILTER = "CSV report (*.csv)";

std::string ToolName() {
    const std::string version = platform::VersionText("xqt-upgrade");
    return version.substr(0, version.find('\n'));
}
}  // namespace

UpgradeLogDialog::UpgradeLogDialog(const BatchRun& run, QWidget* parent)
    : QDialog(parent), report_(ReportOf(run, ToolName(), std::chrono::system_clock::now())) {
    setWindowTitle("Upgrade log");
    chooser_ = [this](QString& filter) {
        return QFileDialog::getSaveFileName(this, "Save report", "upgrade-report.json",
                                            JSON_FILTER + ";;" + CSV_FILTER, &filter);
    };
    std::string log;
    for (int i = 0; i < run.Size(); ++i)
        log += LogLine(run.Row(i));
    // The result texts end in CR LF; the editor wants LF alone.
    logText_ = QString::fromStdString(log).replace("\r\n", "\n");

    editor_ = new QPlainTextEdit(this);
    editor_->setObjectName("log");
    editor_->setReadOnly(true);
    editor_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    editor_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Black on white, where a read-only field would otherwise take the dialog's colour.
    QPalette palette = editor_->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::Text, Qt::black);
    }
    editor_->setPalette(palette);
    editor_->setPlainText(logText_);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* save = buttons->addButton("Save report...", QDialogButtonBox::ActionRole);
    save->setObjectName("saveReport");
    connect(save, &QPushButton::clicked, this, &UpgradeLogDialog::OnSaveReport);
    QPushButton* close = buttons->addButton("Close", QDialogButtonBox::RejectRole);
    close->setObjectName("close");
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editor_, 1);
    layout->addWidget(buttons);
    resize(DialogUnits(this, 319, 199));
}

void UpgradeLogDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only the first showing: a dialog shown again (restored, re-exposed) keeps the place and the
    // selection the user has made.
    if (placed_) return;
    placed_ = true;
    QTimer::singleShot(TOP_DELAY_MS, this, [this] {
        QTextCursor cursor = editor_->textCursor();
        cursor.movePosition(QTextCursor::Start);
        editor_->setTextCursor(cursor);
        editor_->ensureCursorVisible();
        editor_->verticalScrollBar()->setValue(0);
    });
}

Result<void> UpgradeLogDialog::SaveReport(const QString& path, bool csv) const {
    return WriteFileAtomically(path.toStdString(), csv ? report_.Csv() : report_.Json());
}

void UpgradeLogDialog::OnSaveReport() {
    QString filter = JSON_FILTER;
    QString path = chooser_ ? chooser_(filter) : QString();
    if (path.isEmpty()) return;
    const bool csv = filter == CSV_FILTER || (filter.isEmpty() && path.endsWith(".csv", Qt::CaseInsensitive));
    const QString suffix = csv ? ".csv" : ".json";
    if (!path.endsWith(suffix, Qt::CaseInsensitive) && !path.contains('.')) path += suffix;
    if (const Result<void> saved = SaveReport(path, csv); !saved)
        QMessageBox::warning(this, "Save report", QString::fromStdString(saved.error()));
}

}  // namespace xqt
