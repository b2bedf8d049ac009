#include "gui/automatic/SingleLoginDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "fleet/DialogTexts.h"
#include "gui/automatic/DialogSupport.h"
#include "gui/controls/BitmapButton.h"
#include "gui/controls/CameraGrid.h"
#include "gui/controls/Ipv4Edit.h"

namespace xqt {

SingleLoginDialog::SingleLoginDialog(CameraGrid& grid, QWidget* parent) : QDialog(parent), grid_(grid) {
    setWindowTitle("Single login");
    address_ = new Ipv4Edit(this);
    address_->setObjectName("address");
    address_->setEnabled(false);
    const LoginFields login = MakeLoginFields(this);
    name_ = login.name;
    password_ = login.password;
    auto* addressLabel = new QLabel("IP address:", this);
    address_->SetAccessibleLabel(addressLabel->text());
    QLabel* nameLabel = login.nameLabel;
    QLabel* passwordLabel = login.passwordLabel;

    prev_ = new BitmapButton("PREV", this);
    prev_->setObjectName("prev");
    prev_->AutoLoad();
    next_ = new BitmapButton("NEXT", this);
    next_->setObjectName("next");
    next_->AutoLoad();
    // The captions name bitmaps; a screen reader reads these instead.
    prev_->setAccessibleName("Previous");
    next_->setAccessibleName("Next");
    ok_ = new QPushButton("OK", this);
    ok_->setObjectName("ok");
    ok_->setDefault(true);
    close_ = new QPushButton("&Close", this);
    close_->setObjectName("close");

    auto* fields = new QGridLayout;
    fields->addWidget(addressLabel, 0, 0);
    fields->addWidget(address_, 0, 1);
    fields->addWidget(nameLabel, 1, 0);
    fields->addWidget(name_, 1, 1);
    fields->addWidget(passwordLabel, 2, 0);
    fields->addWidget(password_, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(prev_);
    buttons->addWidget(next_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addSpacing(6);
    layout->addLayout(buttons);

    connect(prev_, &QAbstractButton::clicked, this, &SingleLoginDialog::OnPrev);
    connect(next_, &QAbstractButton::clicked, this, &SingleLoginDialog::OnNext);
    connect(ok_, &QPushButton::clicked, this, &SingleLoginDialog::OnOk);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    const int rows = grid_.Targets().Size();
    if (rows == 0) {
        // Nothing to give credentials to: only Close is of use.
        for (QWidget* w :
             {static_cast<QWidget*>(name_), static_cast<QWidget*>(password_), static_cast<QWidget*>(prev_),
              static_cast<QWidget*>(next_), static_cast<QWidget*>(ok_)})
            w->setEnabled(false);
        return;
    }
    // The page opens this dialog with one row selected; without a selection the focused row (or
    // the first) is the one to start from, rather than none.
    const std::vector<int> selected = grid_.SelectedRows();
    row_ = !selected.empty() ? selected.front() : std::max(grid_.FocusedRow(), 0);
    SelectInGrid();
    ShowRow();
    prev_->setEnabled(row_ != 0);
    next_->setEnabled(true);
    name_->setFocus();
}

void SingleLoginDialog::Store() {
    grid_.SetCredentials(row_, name_->text().toStdString(), password_->text().toStdString());
}

void SingleLoginDialog::ShowRow() {
    const Credentials credentials = grid_.GetCredentials(row_);
    const Octets& a = credentials.address;
    address_->SetAddress(a[0], a[1], a[2], a[3]);
    name_->setText(QString::fromStdString(credentials.name));
    password_->setText(QString::fromStdString(credentials.password));
}

void SingleLoginDialog::SelectInGrid() {
    // Equivalent to an Up or Down key in the grid (the focused row becomes the only selected one),
    // but done at once, so the row stored by the next step is always the row shown.
    const int rows[] = {row_};
    grid_.SetSelection(rows, row_);
    grid_.scrollTo(grid_.model()->index(row_, 0));
}

void SingleLoginDialog::OnPrev() {
    if (row_ < 0) return;
    Store();
    if (row_ > 0) {
        --row_;
        SelectInGrid();
    }
    prev_->setEnabled(row_ != 0);
    next_->setEnabled(true);
    ShowRow();
    name_->setFocus();
}

void SingleLoginDialog::OnNext() {
    if (row_ < 0) return;
    Store();
    if (row_ + 1 < grid_.Targets().Size()) {
        next_->setEnabled(true);
        ++row_;
        SelectInGrid();
    } else {
        next_->setEnabled(false);
        SignalListEnd(this, beep_);
    }
    if (row_ != 0) prev_->setEnabled(true);
    ShowRow();
    name_->setFocus();
}

void SingleLoginDialog::OnOk() {
    if (row_ >= 0) Store();
    accept();
}

}  // namespace xqt
