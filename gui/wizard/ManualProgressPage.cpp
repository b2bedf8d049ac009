#include "gui/wizard/ManualProgressPage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/wizard/QtTexts.h"
#include "wizard/WizardTexts.h"

namespace xqt {

namespace {

// How often the shown page copies the bar's value; fast enough to look smooth during the upload.
constexpr int BAR_REFRESH_MS = 100;

QLineEdit* ReadOnlyEdit(const char* name, QWidget* parent, bool centred = false) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::ClickFocus);
    if (centred) edit->setAlignment(Qt::AlignCenter);
    return edit;
}

}  // namespace

QProgressBar* MakeManualProgressBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName("progress");
    bar->setRange(0, ProgressBarValue::MAX);
    bar->setValue(0);
    bar->setTextVisible(false);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Highlight, QColor(BAR_RED, BAR_GREEN, BAR_BLUE));
    bar->setPalette(palette);
    return bar;
}

ManualProgressPage::ManualProgressPage(const ProgressBarValue& value, QWidget* frame)
    : QWidget(frame), value_(value) {
    auto* target = new QGroupBox(BinText(TEXT_TARGET_INFORMATION), this);
    target->setObjectName("targetGroup");
    address_ = ReadOnlyEdit("address", target);
    auto* targetRow = new QGridLayout(target);
    targetRow->addWidget(new QLabel(BinText(TEXT_IP_ADDRESS), target), 0, 0);
    targetRow->addWidget(address_, 0, 1);

    auto* versions = new QGroupBox(BinText(TEXT_VERSION_INFORMATION), this);
    versions->setObjectName("versionGroup");
    currentVersion_ = ReadOnlyEdit("currentVersion", versions);
    newVersion_ = ReadOnlyEdit("newVersion", versions);
    auto* versionGrid = new QGridLayout(versions);
    versionGrid->addWidget(new QLabel(BinText(TEXT_CURRENT_VERSION), versions), 0, 0);
    versionGrid->addWidget(currentVersion_, 0, 1);
    versionGrid->addWidget(new QLabel(BinText(TEXT_NEW_VERSION), versions), 1, 0);
    versionGrid->addWidget(newVersion_, 1, 1);

    auto* setup = new QGroupBox("Setup data", this);
    setupData_ = ReadOnlyEdit("setupData", setup, true);
    auto* setupRow = new QVBoxLayout(setup);
    setupRow->addWidget(setupData_);

    statusLine_ = ReadOnlyEdit("statusLine", this, true);
    statusWord_ = ReadOnlyEdit("statusWord", this, true);
    bar_ = MakeManualProgressBar(this);

    auto* top = new QHBoxLayout;
    top->addWidget(target, 1);
    top->addWidget(versions, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(setup);
    layout->addStretch(1);
    layout->addWidget(statusLine_);
    layout->addWidget(statusWord_);
    layout->addWidget(bar_);

    refresh_ = new QTimer(this);
    refresh_->setInterval(BAR_REFRESH_MS);
    connect(refresh_, &QTimer::timeout, this, &ManualProgressPage::RefreshBar);
}

void ManualProgressPage::SetAddressText(const std::string& text) {
    address_->setText(ToQt(text));
}
void ManualProgressPage::SetCurrentVersion(const std::string& text) {
    currentVersion_->setText(ToQt(text));
}
void ManualProgressPage::SetNewVersion(const std::string& text) {
    newVersion_->setText(ToQt(text));
}
void ManualProgressPage::SetStatusLine(const std::string& text) {
    statusLine_->setText(ToQt(text));
}

void ManualProgressPage::SetSetupData(SetupData setup) {
    setupData_->setText(ToQt(SetupDataText(setup.retain, setup.backup)));
}

void ManualProgressPage::ShowStatusWord(UpgradeStatus status) {
    if (HasManualStatusWord(status)) statusWord_->setText(ToQt(ManualStatusWord(status)));
    RefreshBar();
    update();
}

void ManualProgressPage::RefreshBar() {
    const int position = value_.Position();
    if (bar_->value() != position) bar_->setValue(position);
}

void ManualProgressPage::showEvent(QShowEvent* event) {
    RefreshBar();
    refresh_->start();
    QWidget::showEvent(event);
}

void ManualProgressPage::hideEvent(QHideEvent* event) {
    refresh_->stop();
    QWidget::hideEvent(event);
}

}  // namespace xqt
