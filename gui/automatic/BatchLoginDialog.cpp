#include "gui/automatic/BatchLoginDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "fleet/DialogTexts.h"
#include "gui/automatic/DialogSupport.h"
#include "gui/controls/CameraGrid.h"

namespace xqt {

BatchLoginDialog::BatchLoginDialog(CameraGrid& grid, QWidget* parent) : QDialog(parent), grid_(grid) {
    setWindowTitle("Batch login");
    const LoginFields login = MakeLoginFields(this);
    name_ = login.name;
    password_ = login.password;
    QLabel* nameLabel = login.nameLabel;
    QLabel* passwordLabel = login.passwordLabel;
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    ok->setObjectName("ok");
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    cancel->setObjectName("cancel");

    auto* fields = new QGridLayout;
    fields->addWidget(nameLabel, 0, 0);
    fields->addWidget(name_, 0, 1);
    fields->addWidget(passwordLabel, 1, 0);
    fields->addWidget(password_, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addSpacing(6);
    layout->addWidget(buttons);
    connect(ok, &QPushButton::clicked, this, &BatchLoginDialog::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    rows_ = grid_.SelectedRows();
    // The page opens this dialog for a list of one row whether or not that row is selected; the
    // credentials typed are meant for it.
    if (rows_.empty() && grid_.Targets().Size() == 1) rows_ = {0};

    // Shared credentials are shown only for a true batch: one row alone opens empty.
    if (rows_.size() >= 2) {
        const Credentials first = grid_.GetCredentials(rows_.front());
        bool same = true;
        for (int row : rows_) {
            const Credentials c = grid_.GetCredentials(row);
            same = same && c.name == first.name && c.password == first.password;
        }
        if (same) {
            name_->setText(QString::fromStdString(first.name));
            password_->setText(QString::fromStdString(first.password));
        }
    }
    name_->setFocus();
}

void BatchLoginDialog::OnOk() {
    const std::string name = name_->text().toStdString();
    const std::string password = password_->text().toStdString();
    for (int row : rows_)
        grid_.SetCredentials(row, name, password);
    accept();
}

}  // namespace xqt
