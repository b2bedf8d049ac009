#include "tests/gui/support/QtTests.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <memory>
#include <thread>

#include "platform/Resources.h"

namespace xqt::test {

int RunQtTests(int argc, char** argv, const std::function<bool()>& guard) {
    ::testing::InitGoogleTest(&argc, argv);
    if (guard && !GTEST_FLAG_GET(list_tests) && !guard()) return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::UseResources(platform::EmbeddedResources());
    auto app = std::make_unique<QApplication>(argc, argv);
    QApplication::setStyle("Fusion");
    const int result = RUN_ALL_TESTS();
    app.reset();
    return result;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void Pump(std::chrono::milliseconds duration) {
    WaitUntil([] { return false; }, duration);
}

void Settle(std::chrono::milliseconds period) {
    bool fired = false;
    QTimer::singleShot(2 * period, Qt::PreciseTimer, [&fired] { fired = true; });
    while (!fired)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace xqt::test
