#include "gui/wizard/IntroPages.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/controls/FontScale.h"
#include "gui/wizard/QtTexts.h"
#include "wizard/WizardTexts.h"

namespace xqt {

namespace {
QString LoadedText(std::uint16_t id, platform::MessageBoxes* owner) {
    return ToQtLines(platform::ResourceText(id, owner).value_or(std::string()));
}
}  // namespace

PrecautionsPage::PrecautionsPage(const std::string& modelName, const std::string& versionText,
                                 platform::MessageBoxes* owner, QWidget* frame)
    : QWidget(frame) {
    const QString banner = ToQt(modelName + " " + versionText + " Firmware Upgrade");
    frame->setWindowTitle("Vexo " + banner);

    banner_ = new QLineEdit(banner, this);
    banner_->setObjectName("banner");
    banner_->setReadOnly(true);
    banner_->setAlignment(Qt::AlignCenter);
    QFont bold = banner_->font();
    bold.setBold(true);
    banner_->setFont(bold);
    banner_->setAccessibleName(banner);

    precautions_ = new QPlainTextEdit(LoadedText(TEXT_PRECAUTIONS, owner), this);
    precautions_->setObjectName("precautions");
    precautions_->setReadOnly(true);
    precautions_->setAccessibleName("Operating precautions");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner_);
    layout->addWidget(precautions_, 1);
}

QString PrecautionsPage::Banner() const {
    return banner_->text();
}

AgreementPage::AgreementPage(QAbstractButton* nextButton, platform::MessageBoxes* owner, QWidget* frame)
    : QWidget(frame), nextButton_(nextButton) {
    QString agreement;
    for (std::uint16_t id : AGREEMENT_TEXTS)
        agreement += LoadedText(id, owner);
    text_ = new QPlainTextEdit(agreement, this);
    text_->setObjectName("agreement");
    text_->setReadOnly(true);
    text_->setAccessibleName("License agreement");
    text_->setProperty(WANTS_RETURN, true);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    notAgree_ = new QRadioButton(BinText(TEXT_NOT_AGREE), this);
    notAgree_->setObjectName("notAgree");
    agree_ = new QRadioButton(BinText(TEXT_AGREE), this);
    agree_->setObjectName("agree");
    auto* group = new QButtonGroup(this);
    group->addButton(notAgree_);
    group->addButton(agree_);
    notAgree_->setChecked(true);
    connect(notAgree_, &QRadioButton::clicked, this, [this] { nextButton_->setEnabled(false); });
    connect(agree_, &QRadioButton::clicked, this, [this] { nextButton_->setEnabled(true); });

    auto* choices = new QHBoxLayout;
    choices->addStretch(1);
    choices->addWidget(notAgree_);
    choices->addSpacing(FontScale(font())(24));
    choices->addWidget(agree_);
    choices->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addLayout(choices);
}

bool AgreementPage::IsAgreed() {
    const bool agreed = agree_->isChecked();
    (agreed ? agree_ : notAgree_)->setFocus();
    return agreed;
}

ModePage::ModePage(platform::MessageBoxes* owner, QWidget* frame) : QWidget(frame) {
    group_ = new QGroupBox(this);
    group_->setObjectName("modeGroup");
    automatic_ = new QRadioButton(group_);
    automatic_->setObjectName("automatic");
    manual_ = new QRadioButton(group_);
    manual_->setObjectName("manual");
    automatic_->setChecked(true);
    help_ = new QLabel(LoadedText(TEXT_MODE_HELP, owner), this);
    help_->setObjectName("modeHelp");
    help_->setWordWrap(true);
    help_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* radios = new QVBoxLayout(group_);
    radios->addWidget(automatic_);
    radios->addWidget(manual_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group_);
    layout->addSpacing(FontScale(font())(8));
    layout->addWidget(help_, 1);
    SetTexts();
}

void ModePage::SetTexts() {
    group_->setTitle(BinText(TEXT_MODE_GROUP));
    automatic_->setText(BinText(TEXT_AUTOMATIC_MODE));
    manual_->setText(BinText(TEXT_MANUAL_MODE));
}

void ModePage::Refresh() {
    SetTexts();
    (manual_->isChecked() ? manual_ : automatic_)->setFocus();
}

bool ModePage::IsManual() {
    return manual_->isChecked();
}

}  // namespace xqt
