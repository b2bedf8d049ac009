#pragma once
// What the automatic mode's dialogs share: the end-of-list signal (a beep and one flash of the
// title bar), their sizes in dialog units, and the login fields. UI thread only.

#include <QSize>
#include <functional>

class QLabel;
class QLineEdit;
class QWidget;

namespace xqt {

/// Plays the exclamation sound through `beep` (the system's sound when empty) and flashes the
/// title bar of `dialog`'s window once.
void SignalListEnd(QWidget* dialog, const std::function<void()>& beep);

/// Pixels of `width` x `height` dialog units in `widget`'s font (a unit is a quarter of the
/// average character width across, an eighth of the character height down).
[[nodiscard]] QSize DialogUnits(const QWidget* widget, int width, int height);

/// The administrator name and password fields of the login dialogs, children of the dialog.
struct LoginFields {
    QLineEdit* name = nullptr;      ///< object name "name", at most 16 characters
    QLineEdit* password = nullptr;  ///< object name "password", at most 16 characters, hidden
    QLabel* nameLabel = nullptr;    ///< "Administrator &name:", leading to the name
    QLabel* passwordLabel = nullptr;
};
[[nodiscard]] LoginFields MakeLoginFields(QWidget* dialog);

}  // namespace xqt
