// The application object lives for the whole run and ends before the process does; the pages read
// their status words and log texts from the embedded resources.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "platform/Resources.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    xqt::platform::UseResources(xqt::platform::EmbeddedResources());
    auto app = std::make_unique<QApplication>(argc, argv);
    QApplication::setStyle("Fusion");
    const int result = RUN_ALL_TESTS();
    app.reset();
    return result;
}
