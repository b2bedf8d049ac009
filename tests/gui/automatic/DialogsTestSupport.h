#pragma once
// What the dialog tests share beyond the list-control support: target grids filled with cameras,
// access to a dialog's controls by name, and typing into the entry dialog.

#include <QAbstractButton>
#include <QWidget>
#include <memory>
#include <string>

#include "gui/controls/CameraGrid.h"
#include "tests/gui/controls/ControlsTestSupport.h"

namespace xqt {
class EntryTerminalsDialog;
}

namespace xqt::test {

/// A target grid with the columns of the targets page, not shown.
std::unique_ptr<CameraGrid> MakeTargetGrid();
/// Inserts `count` discovered cameras 127.1.x.y (loopback: an added row with the same address asks
/// nobody outside) with MACs and serials of their own.
void FillTargets(CameraGrid& grid, int count);

/// The button of `dialog` with this object name; fails the test when there is none.
QAbstractButton* Button(QWidget* dialog, const char* name);
/// Clicks it (as the mouse would: only when enabled).
void Press(QWidget* dialog, const char* name);

/// Types `ip` into the entry dialog's address and chooses port 80 or the other port.
void TypeEntry(EntryTerminalsDialog& dialog, const std::string& ip, int port = 80);

}  // namespace xqt::test
