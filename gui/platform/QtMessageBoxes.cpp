#include "gui/platform/QtMessageBoxes.h"

#include <QMessageBox>

namespace xqt::platform {

MbResult QtMessageBoxes::Show(const std::string& text, const std::string& caption, MbButtons buttons,
                              MbIcon icon) {
    QMessageBox box(parent_);
    box.setText(QString::fromStdString(text));
    box.setWindowTitle(QString::fromStdString(caption));
    switch (icon) {
        case MbIcon::Stop:
            box.setIcon(QMessageBox::Critical);
            break;
        case MbIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MbIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MbIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MbIcon::None:
            break;
    }
    switch (buttons) {
        case MbButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MbButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MbButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return MbResult::Cancel;
        case QMessageBox::Yes:
            return MbResult::Yes;
        case QMessageBox::No:
            return MbResult::No;
        default:
            return buttons == MbButtons::YesNo ? MbResult::No : MbResult::Ok;
    }
}

}  // namespace xqt::platform
