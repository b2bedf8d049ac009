#pragma once
// What the list-control tests share: the offscreen application with the embedded resources, the
// mouse sequences a real platform delivers, pixel sampling of a grabbed list, simulated cameras on
// loopback, and the screenshots folder.

#include <QImage>
#include <QPoint>
#include <QString>
#include <chrono>
#include <functional>
#include <string>

#include "camera/ModelList.h"
#include "fleet/CameraRecord.h"
#include "platform/EngineTiming.h"
#include "sim/SimCamera.h"
#include "tests/gui/support/QtTests.h"
#include "tests/support/Slowdown.h"

class QWidget;
class QAbstractItemView;

namespace xqt {
class ProgressList;
}

namespace xqt::test {

/// The application (offscreen unless the environment names a platform), with the embedded
/// resources installed. Safe to call from every test.
void EnsureApp();

ModelList Models();

/// Scaled engine timing for the lists: periods of a few milliseconds, limits of a few hundred.
platform::EngineTiming FastTiming();

/// WaitUntil with the limit these tests usually need: the lists inquire their cameras in turn, and
/// none of the lists here takes more than 25 inquiry limits.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = Allow(FastTiming().inquiryLimit * 25));

/// Mouse events to the view's viewport, as the platform delivers them to a widget.
void Click(QWidget* target, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier);
/// Press, release, double-click, release: a quick double-click.
void DoubleClick(QWidget* target, QPoint pos);
void MoveMouse(QWidget* target, QPoint pos);

/// The colour of one pixel of a grabbed widget.
QRgb PixelAt(QWidget* widget, QPoint pos);
/// Whether any pixel inside `rect` of the image has exactly `color`.
bool AnyPixel(const QImage& image, const QRect& rect, QRgb color);

/// Saves `widget` as <XQT_TEST_OUTPUT>/<name>.png when that folder is named; returns the path or
/// empty.
std::string SaveScreenshot(QWidget* widget, const std::string& name);

/// A simulated camera on `ip` (loopback), free port.
sim::SimCamera SimCameraAt(const std::string& ip);
Octets OctetsOf(const std::string& ip);

/// Appends `record` to the rows `list` draws: rows of a run without an owner (nothing starts),
/// made on first use and deleted with the list.
void AddProgressRow(ProgressList& list, ProgressRecord record);

}  // namespace xqt::test
