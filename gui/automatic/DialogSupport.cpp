#include "gui/automatic/DialogSupport.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "fleet/DialogTexts.h"

namespace xqt {

namespace {
/// Long enough for one visible flash where the desktop honours a duration.
constexpr int FLASH_MS = 500;
}  // namespace

void SignalListEnd(QWidget* dialog, const std::function<void()>& beep) {
    if (beep)
        beep();
    else
        QApplication::beep();
    QApplication::alert(dialog->window(), FLASH_MS);
}

QSize DialogUnits(const QWidget* widget, int width, int height) {
    const QFontMetrics metrics(widget->font());
    return {width * metrics.averageCharWidth() / 4, height * metrics.height() / 8};
}

LoginFields MakeLoginFields(QWidget* dialog) {
    LoginFields fields;
    fields.name = new QLineEdit(dialog);
    fields.name->setObjectName("name");
    fields.name->setMaxLength(LOGIN_TEXT_MAX);
    fields.password = new QLineEdit(dialog);
    fields.password->setObjectName("password");
    fields.password->setMaxLength(LOGIN_TEXT_MAX);
    fields.password->setEchoMode(QLineEdit::Password);
    fields.nameLabel = new QLabel("Administrator &name:", dialog);
    fields.nameLabel->setBuddy(fields.name);
    fields.passwordLabel = new QLabel("Administrator &password:", dialog);
    fields.passwordLabel->setBuddy(fields.password);
    return fields;
}

}  // namespace xqt
