#include "gui/wizard/NextButton.h"

#include <QKeyEvent>

namespace xqt {

void NextButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_K) return QPushButton::keyReleaseEvent(event);
    // Held keys repeat as press/release pairs on some platforms; only the real release counts.
    if (!event->isAutoRepeat()) emit HiddenModeRequested();
    event->accept();
}

}  // namespace xqt
