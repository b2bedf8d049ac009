#include "gui/wizard/ManualTargetPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "gui/controls/Ipv4Edit.h"
#include "gui/wizard/QtTexts.h"
#include "wizard/WizardTexts.h"

namespace xqt {

ManualTargetPage::ManualTargetPage(platform::MessageBoxes& boxes, QWidget* frame)
    : QWidget(frame), boxes_(boxes) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeTargetBox());
    layout->addWidget(MakeLoginBox());
    layout->addWidget(MakeSetupBox());
    layout->addStretch(1);
}

QGroupBox* ManualTargetPage::MakeTargetBox() {
    auto* target = new QGroupBox("Target camera", this);
    address_ = new Ipv4Edit(target);
    address_->setObjectName("address");
    address_->SetAddress(192, 168, 0, 100);
    auto* addressLabel = new QLabel("&IP address:", target);
    addressLabel->setBuddy(address_->Field(0));
    address_->SetAccessibleLabel(addressLabel->text());

    port80_ = new QRadioButton("80", target);
    port80_->setObjectName("port80");
    portCustom_ = new QRadioButton(target);
    portCustom_->setObjectName("portCustom");
    auto* ports = new QButtonGroup(this);
    ports->addButton(port80_);
    ports->addButton(portCustom_);
    port80_->setChecked(true);
    port_ = new QLineEdit("1024", target);
    port_->setObjectName("port");
    port_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), port_));
    port_->setMaxLength(10);
    port_->setFixedWidth(port_->fontMetrics().horizontalAdvance("0000000") + 12);
    port_->setEnabled(false);
    auto* portLabel = new QLabel("&HTTP port No.:", target);
    portLabel->setBuddy(port80_);
    auto* rangeLabel = new QLabel("(&1024 to 65535)", target);
    rangeLabel->setBuddy(port_);
    // The two choices and the number are named after the label leading to them: neither "80" nor
    // a radio button without text says what is chosen.
    const QString portName = portLabel->text().remove('&').remove(':');
    port80_->setAccessibleName(portName + " 80");
    portCustom_->setAccessibleName(portName + " other");
    port_->setAccessibleName(portName + " " + rangeLabel->text().remove('&'));
    connect(port80_, &QRadioButton::toggled, port_, [this](bool on) { port_->setEnabled(!on); });

    auto* targetGrid = new QGridLayout(target);
    targetGrid->addWidget(addressLabel, 0, 0);
    targetGrid->addWidget(address_, 0, 1, 1, 4, Qt::AlignLeft);
    targetGrid->addWidget(portLabel, 1, 0);
    targetGrid->addWidget(port80_, 1, 1);
    targetGrid->addWidget(portCustom_, 1, 2);
    targetGrid->addWidget(port_, 1, 3);
    targetGrid->addWidget(rangeLabel, 1, 4);
    targetGrid->setColumnStretch(5, 1);
    return target;
}

QGroupBox* ManualTargetPage::MakeLoginBox() {
    auto* login = new QGroupBox("Login", this);
    name_ = new QLineEdit(login);
    name_->setObjectName("adminName");
    name_->setMaxLength(ADMIN_TEXT_MAX);
    password_ = new QLineEdit(login);
    password_->setObjectName("adminPassword");
    password_->setMaxLength(ADMIN_TEXT_MAX);
    password_->setEchoMode(QLineEdit::Password);
    auto* nameLabel = new QLabel("&Administrator name:", login);
    nameLabel->setBuddy(name_);
    auto* passwordLabel = new QLabel("Administrator &password:", login);
    passwordLabel->setBuddy(password_);
    auto* loginGrid = new QGridLayout(login);
    loginGrid->addWidget(nameLabel, 0, 0);
    loginGrid->addWidget(name_, 0, 1);
    loginGrid->addWidget(passwordLabel, 1, 0);
    loginGrid->addWidget(password_, 1, 1);
    loginGrid->setColumnStretch(2, 1);
    return login;
}

QGroupBox* ManualTargetPage::MakeSetupBox() {
    auto* setup = new QGroupBox("Setup data", this);
    retain_ = new QCheckBox("&Retain the current settings", setup);
    retain_->setObjectName("retain");
    retain_->setChecked(true);
    backup_ = new QCheckBox("Backup the current &settings", setup);
    backup_->setObjectName("backup");
    connect(retain_, &QCheckBox::clicked, this, [this](bool retain) {
        backup_->setEnabled(retain);
        if (!retain) backup_->setChecked(false);
    });
    auto* setupRow = new QHBoxLayout(setup);
    setupRow->addWidget(retain_);
    setupRow->addWidget(backup_);
    setupRow->addStretch(1);
    return setup;
}

TargetForm ManualTargetPage::ReadForm() const {
    TargetForm form;
    form.octets = address_->Octets();
    form.portChoice = portCustom_->isChecked() ? 1 : 0;
    form.portText = FromQt(port_->text());
    form.adminName = FromQt(name_->text());
    form.adminPassword = FromQt(password_->text());
    form.retain = retain_->isChecked();
    form.backup = backup_->isChecked();
    return form;
}

bool ManualTargetPage::Validate() {
    auto problem = CheckTargetForm(ReadForm());
    if (!problem) return true;
    boxes_.Show(problem->text, platform::TextOf(TEXT_INFORMATION), platform::MbButtons::Ok,
                platform::MbIcon::Exclamation);
    Focus(problem->focus);
    return false;
}

bool ManualTargetPage::CheckUniqueAddress(const std::vector<DiscoveryEntry>& found) {
    if (CountCamerasAt(DottedAddress(ReadForm()), found) <= 1) return true;
    boxes_.Show(MSG_SAME_ADDRESS, platform::TextOf(TEXT_ERROR), platform::MbButtons::Ok,
                platform::MbIcon::Stop);
    return false;
}

std::string ManualTargetPage::GetAddressText() {
    return AddressText(ReadForm());
}

std::string ManualTargetPage::GetCredentialText() {
    credentialText_ = CredentialText(ReadForm());
    return credentialText_;
}

std::string ManualTargetPage::AdminName() {
    return FromQt(name_->text());
}
std::string ManualTargetPage::AdminPassword() {
    return FromQt(password_->text());
}

SetupData ManualTargetPage::ReadSetupData() {
    return {retain_->isChecked(), backup_->isChecked()};
}

void ManualTargetPage::FocusAddress() {
    Focus(TargetField::Address);
}

void ManualTargetPage::Focus(TargetField field) {
    switch (field) {
        case TargetField::Address:
            address_->Field(0)->setFocus();
            break;
        case TargetField::Port:
            port_->setFocus();
            break;
        case TargetField::Name:
            name_->setFocus();
            break;
        case TargetField::Password:
            password_->setFocus();
            break;
    }
}

}  // namespace xqt
