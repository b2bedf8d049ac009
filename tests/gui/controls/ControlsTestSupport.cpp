#include "tests/gui/controls/ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <thread>

#include "camera/ResourceState.h"
#include "fleet/BatchRun.h"
#include "gui/controls/ProgressList.h"
#include "platform/Resources.h"

namespace xqt::test {

namespace {

/// Owns the application for the whole run and ends it before the process exits, while the
/// toolkit's own globals are still alive.
class AppEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { EnsureApp(); }
    void TearDown() override { app_.reset(); }
    void Make() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        platform::UseResources(platform::EmbeddedResources());
        app_ = std::make_unique<QApplication>(argc_, argv_);
        QApplication::setStyle("Fusion");
    }

  private:
    int argc_ = 1;
    char name_[16] = "controls_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

/// A run without an owner whose rows a progress list draws; a child of the list.
class RowsHolder : public QObject {
  public:
    ResourceState resources;
    BatchRun run{nullptr, resources};
};

AppEnvironment* const g_environment =
    static_cast<AppEnvironment*>(::testing::AddGlobalTestEnvironment(new AppEnvironment));

}  // namespace

void EnsureApp() {
    if (!QApplication::instance()) g_environment->Make();
}

ModelList Models() {
    return ModelList{"XQT-TR60", "XQT-TR60N", "XQT-TR60P"};
}

platform::EngineTiming FastTiming() {
    platform::EngineTiming timing = platform::EngineTiming{}.Scaled(0.02);  // limits of 400-420 ms
    timing.gridTestPeriod = std::chrono::milliseconds(5);
    timing.addedListInquiryPeriod = std::chrono::milliseconds(5);
    return timing;
}

namespace {
void Send(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers modifiers) {
    QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, modifiers,
                      QPointingDevice::primaryPointingDevice());
    QApplication::sendEvent(target, &event);
}
}  // namespace

void Click(QWidget* target, QPoint pos, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    Send(target, QEvent::MouseButtonPress, pos, button, button, modifiers);
    Send(target, QEvent::MouseButtonRelease, pos, button, Qt::NoButton, modifiers);
}

void DoubleClick(QWidget* target, QPoint pos) {
    Click(target, pos);
    Send(target, QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    Send(target, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
}

void MoveMouse(QWidget* target, QPoint pos) {
    Send(target, QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
}

QRgb PixelAt(QWidget* widget, QPoint pos) {
    return widget->grab().toImage().pixel(pos) & 0xFFFFFFu;
}

bool AnyPixel(const QImage& image, const QRect& rect, QRgb color) {
    const QRect inside = rect.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFFu) == (color & 0xFFFFFFu)) return true;
        }
    }
    return false;
}

std::string SaveScreenshot(QWidget* widget, const std::string& name) {
    const char* folder = std::getenv("XQT_TEST_OUTPUT");
    if (!folder || !*folder) return {};
    QDir().mkpath(QString::fromLocal8Bit(folder));
    const QString path = QDir(QString::fromLocal8Bit(folder)).filePath(QString::fromStdString(name) + ".png");
    if (!widget->grab().save(path, "PNG")) return {};
    return path.toStdString();
}

sim::SimCamera SimCameraAt(const std::string& ip) {
    sim::SimCamera camera;
    camera.ipText = ip;
    camera.webPort = 0;
    return camera;
}

Octets OctetsOf(const std::string& ip) {
    Octets out{};
    int part = 0;
    int value = 0;
    for (char c : ip) {
        if (c == '.') {
            out[part++] = static_cast<std::uint8_t>(value);
            value = 0;
        } else {
            value = value * 10 + (c - '0');
        }
    }
    out[part] = static_cast<std::uint8_t>(value);
    return out;
}

void AddProgressRow(ProgressList& list, ProgressRecord record) {
    auto* holder = list.findChild<QObject*>("testRows", Qt::FindDirectChildrenOnly);
    auto* rows = dynamic_cast<RowsHolder*>(holder);
    if (!rows) {
        rows = new RowsHolder;
        rows->setObjectName("testRows");
        rows->setParent(&list);
        list.Attach(&rows->run);
    }
    rows->run.AddRow(std::move(record), nullptr);
    list.RowsReset();
}

}  // namespace xqt::test
