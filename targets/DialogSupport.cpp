#include "targets/DialogSupport.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>

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

}  // namespace xqt
