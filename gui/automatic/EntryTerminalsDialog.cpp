#include "gui/automatic/EntryTerminalsDialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>

#include "fleet/DialogTexts.h"
#include "gui/automatic/DialogSupport.h"
#include "gui/controls/AddedCameraList.h"
#include "gui/controls/BitmapButton.h"
#include "gui/controls/Ipv4Edit.h"
#include "platform/ResourceText.h"

namespace xqt {

EntryTerminalsDialog::EntryTerminalsDialog(AddedCameraList& list, int max, int index,
                                           platform::MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), list_(list), boxes_(boxes), max_(std::max(max, 0)) {
    setWindowTitle("Entry terminals");
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(MakeFields());
    layout->addSpacing(6);
    layout->addLayout(MakeSteps());

    if (list_.Size() == 0) list_.AppendBlank();
    index_ = std::clamp(index, 0, list_.Size() - 1);
    SelectCurrent();
    ShowRow();
    UpdateButtons();
    ShowPosition();
    address_->setFocus();
}

QGridLayout* EntryTerminalsDialog::MakeFields() {
    address_ = new Ipv4Edit(this);
    address_->setObjectName("address");
    auto* addressLabel = new QLabel("&IP address:", this);
    addressLabel->setBuddy(address_->Field(0));
    address_->SetAccessibleLabel(addressLabel->text());
    port80_ = new QRadioButton("80", this);
    port80_->setObjectName("port80");
    portOther_ = new QRadioButton(this);
    portOther_->setObjectName("portOther");
    auto* ports = new QButtonGroup(this);
    ports->addButton(port80_);
    ports->addButton(portOther_);
    port_ = new QLineEdit(this);
    port_->setObjectName("port");
    port_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), port_));
    port_->setMaxLength(10);
    port_->setFixedWidth(port_->fontMetrics().horizontalAdvance("0000000") + 12);
    auto* portLabel = new QLabel("&HTTP port No.:", this);
    portLabel->setBuddy(port80_);
    auto* rangeLabel = new QLabel("(1024 to 65535)", this);
    // The two choices and the number are named after the label leading to them: neither "80" nor
    // a radio button without text says what is chosen.
    const QString portName = portLabel->text().remove('&').remove(':');
    port80_->setAccessibleName(portName + " 80");
    portOther_->setAccessibleName(portName + " other");
    port_->setAccessibleName(portName + " " + rangeLabel->text().remove('&'));
    connect(portOther_, &QRadioButton::toggled, port_, &QLineEdit::setEnabled);

    auto* fields = new QGridLayout;
    fields->addWidget(addressLabel, 0, 0);
    fields->addWidget(address_, 0, 1, 1, 4, Qt::AlignLeft);
    fields->addWidget(portLabel, 1, 0);
    fields->addWidget(port80_, 1, 1);
    fields->addWidget(portOther_, 1, 2);
    fields->addWidget(port_, 1, 3);
    fields->addWidget(rangeLabel, 1, 4);
    fields->setColumnStretch(5, 1);
    return fields;
}

QHBoxLayout* EntryTerminalsDialog::MakeSteps() {
    position_ = new QLabel("0/0", this);
    position_->setObjectName("position");

    prev_ = new BitmapButton("PREV", this);
    next_ = new BitmapButton("NEXT", this);
    add_ = new BitmapButton("ADD", this);
    del_ = new BitmapButton("DEL", this);
    // The captions name bitmaps; a screen reader reads these instead.
    prev_->setAccessibleName("Previous");
    next_->setAccessibleName("Next");
    add_->setAccessibleName("Add");
    del_->setAccessibleName("Delete");
    for (BitmapButton* b : {prev_, next_, add_, del_}) {
        b->setObjectName(b->text().toLower());
        b->AutoLoad();
    }
    ok_ = new QPushButton("&OK", this);
    ok_->setObjectName("ok");
    ok_->setDefault(true);
    close_ = new QPushButton("&Close", this);
    close_->setObjectName("close");

    auto* steps = new QHBoxLayout;
    for (QWidget* w :
         {static_cast<QWidget*>(prev_), static_cast<QWidget*>(position_), static_cast<QWidget*>(next_),
          static_cast<QWidget*>(add_), static_cast<QWidget*>(del_)})
        steps->addWidget(w);
    steps->addStretch(1);
    steps->addWidget(ok_);
    steps->addWidget(close_);

    connect(prev_, &QAbstractButton::clicked, this, &EntryTerminalsDialog::OnPrev);
    connect(next_, &QAbstractButton::clicked, this, &EntryTerminalsDialog::OnNext);
    connect(add_, &QAbstractButton::clicked, this, &EntryTerminalsDialog::OnAdd);
    connect(del_, &QAbstractButton::clicked, this, &EntryTerminalsDialog::OnDel);
    connect(ok_, &QPushButton::clicked, this, &EntryTerminalsDialog::OnOk);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    return steps;
}

EntryFields EntryTerminalsDialog::Fields() const {
    EntryFields fields;
    fields.octets = address_->Octets();
    fields.otherPort = portOther_->isChecked();
    fields.portText = port_->text().toStdString();
    return fields;
}

bool EntryTerminalsDialog::Store() {
    const EntryFields fields = Fields();
    if (const auto problem = CheckEntryFields(fields)) {
        boxes_.Show(problem->text, platform::TextOf(BIN_INFORMATION), platform::MbButtons::Ok,
                    platform::MbIcon::Exclamation);
        if (problem->focus == EntryFocus::Port) {
            port_->setFocus();
            port_->selectAll();
        } else {
            address_->setFocus();
        }
        return false;
    }
    const EntryAddress stored = StoredAddress(fields);
    list_.SetAddress(index_, stored.address, stored.port);
    return true;
}

void EntryTerminalsDialog::SelectCurrent() {
    const int rows[] = {index_};
    list_.SetSelection(rows, index_);
    list_.scrollTo(list_.model()->index(index_, 0));
}

void EntryTerminalsDialog::ShowRow() {
    const EntryFields fields = FieldsOf(list_.GetAddress(index_), list_.Rows().Row(index_).port);
    address_->SetAddress(*fields.octets[0], *fields.octets[1], *fields.octets[2], *fields.octets[3]);
    port_->setText(QString::fromStdString(fields.portText));
    (fields.otherPort ? portOther_ : port80_)->setChecked(true);
    port_->setEnabled(fields.otherPort);
}

void EntryTerminalsDialog::UpdateButtons() {
    const bool entered = list_.Entered(index_);
    del_->setEnabled(entered);
    next_->setEnabled(!(entered && index_ + 1 >= max_));
    prev_->setEnabled(index_ > 0);
    add_->setEnabled(list_.Size() < max_);
}

void EntryTerminalsDialog::ShowPosition() {
    position_->setText(QString("%1/%2").arg(index_ + 1).arg(max_));
}

void EntryTerminalsDialog::AfterStep() {
    UpdateButtons();
    // The fields are filled before the focus comes, so the selection that the focus gives covers
    // the new row's address and an address typed at once replaces it. The selection is made here
    // too for a field that kept the focus (a step by its shortcut key) and gets no focus event.
    ShowRow();
    ShowPosition();
    address_->setFocus();
    address_->Field(0)->selectAll();
}

void EntryTerminalsDialog::OnPrev() {
    if (!Store()) return;
    if (index_ > 0) {
        --index_;
        SelectCurrent();
    }
    AfterStep();
}

void EntryTerminalsDialog::OnNext() {
    if (!Store()) return;
    if (index_ + 1 < max_) {
        ++index_;
        if (index_ < list_.Size())
            SelectCurrent();
        else
            list_.AppendBlank();
    } else {
        SignalListEnd(this, beep_);
    }
    AfterStep();
}

void EntryTerminalsDialog::OnAdd() {
    if (!Store()) return;
    if (list_.Size() < max_) {
        index_ = list_.AppendBlank();
        SelectCurrent();
    }
    AfterStep();
}

void EntryTerminalsDialog::OnDel() {
    if (boxes_.Show(platform::TextOf(BIN_REMOVE_CAMERA), platform::TextOf(BIN_INFORMATION),
                    platform::MbButtons::OkCancel, platform::MbIcon::Question) != platform::MbResult::Ok)
        return;
    list_.DeleteRow(index_);
    if (list_.Size() == 0) list_.AppendBlank();
    if (index_ >= list_.Size()) index_ = list_.Size() - 1;
    SelectCurrent();
    AfterStep();
}

void EntryTerminalsDialog::OnOk() {
    if (!Store()) return;
    accept();
}

}  // namespace xqt
