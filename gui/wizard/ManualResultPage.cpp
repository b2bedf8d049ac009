#include "gui/wizard/ManualResultPage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QVBoxLayout>

#include "gui/wizard/ManualProgressPage.h"
#include "gui/wizard/QtTexts.h"
#include "wizard/WizardTexts.h"

namespace xqt {

namespace {
void SetCentredText(QTextEdit* edit, const QString& text) {
    edit->setPlainText(text);
    QTextCursor cursor(edit->document());
    cursor.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    cursor.mergeBlockFormat(centred);
}
}  // namespace

ManualResultPage::ManualResultPage(QWidget* frame) : QWidget(frame) {
    auto* target = new QGroupBox(BinText(TEXT_TARGET_INFORMATION), this);
    address_ = new QLineEdit(target);
    address_->setObjectName("address");
    address_->setReadOnly(true);
    address_->setFocusPolicy(Qt::ClickFocus);
    auto* targetRow = new QGridLayout(target);
    targetRow->addWidget(new QLabel(BinText(TEXT_IP_ADDRESS), target), 0, 0);
    targetRow->addWidget(address_, 0, 1);
    targetRow->setColumnStretch(1, 1);

    result_ = new QTextEdit(this);
    result_->setAcceptRichText(false);
    result_->setObjectName("result");
    result_->setReadOnly(true);
    result_->setFocusPolicy(Qt::ClickFocus);
    SetCentredText(result_, ToQtLines(platform::TextOf(TEXT_UPDATED)));

    bar_ = MakeManualProgressBar(this);
    bar_->setValue(ProgressBarValue::MAX);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(target);
    layout->addWidget(result_, 1);
    layout->addWidget(bar_);
}

void ManualResultPage::SetAddressText(const std::string& text) {
    address_->setText(ToQt(text));
}

void ManualResultPage::SetResultText(const std::string& versionLabel, bool confirmed) {
    SetCentredText(result_, ToQtLines(ResultText(versionLabel, confirmed)));
}

}  // namespace xqt
