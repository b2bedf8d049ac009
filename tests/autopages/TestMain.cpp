// autopages_tests drives the wizard's real engine, whose discovery sends the broadcast, so it
// first makes sure it runs where nothing leaves the machine. The application object lives for the
// whole run and ends before the process does.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "platform/Resources.h"
#include "tests/discovery/NetworkGuard.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests) && !xqt::test::GuardBroadcast("autopages_tests")) return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    xqt::platform::UseResources(xqt::platform::EmbeddedResources());
    auto app = std::make_unique<QApplication>(argc, argv);
    QApplication::setStyle("Fusion");
    const int result = RUN_ALL_TESTS();
    app.reset();
    return result;
}
