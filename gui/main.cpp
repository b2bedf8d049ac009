// xqt-upgrade: the desktop firmware upgrade wizard.
//
// XQT_SCREENSHOT=path (for demonstrations on a display without a screen-grab tool): while the
// wizard is open, a picture of its window is written to that PNG file once a second.
#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "camera/ResourceState.h"
#include "gui/platform/QtMessageBoxes.h"
#include "gui/platform/QtSessionOwner.h"
#include "gui/wizard/WizardDialog.h"
#include "platform/EngineTiming.h"
#include "platform/Resources.h"
#include "platform/Sockets.h"
#include "wizard/RealWizardEngine.h"
#include "wizard/UpgradeApp.h"

namespace {

constexpr int SCREENSHOT_PERIOD_MS = 1000;

/// Writes the grab beside the target and renames it, so a reader never sees half a file.
void SaveGrab(QWidget& window, const QString& path) {
    const QString partial = path + ".part.png";
    if (window.grab().save(partial, "PNG")) {
        QFile::remove(path);
        QFile::rename(partial, path);
    }
}

}  // namespace

int main(int argc, char** argv) {
    xqt::platform::UseResources(xqt::platform::EmbeddedResources());
    // Answered before QApplication exists: it needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", xqt::platform::VersionText("xqt-upgrade").c_str());
            return 0;
        }
    }
    QApplication qapp(argc, argv);
    xqt::platform::QtMessageBoxes boxes(nullptr);
    xqt::UpgradeApp app;
    app.initSockets = xqt::platform::InitSockets;
    app.boxes = &boxes;
    app.runWizard = [&boxes] {
        xqt::ResourceState names;
        names.LoadModelList(nullptr);
        const xqt::platform::EngineTiming timing;
        xqt::platform::QtSessionOwner owner(boxes);
        xqt::RealWizardEngine engine(names.modelNames, timing, &owner);
        owner.SetTimerHandler([&engine](int id) { engine.DeliverTimer(id); });
        owner.SetMessageHandler([&engine](std::int32_t wParam, std::int32_t lParam) {
            engine.DeliverUpgradeMessage(wParam, lParam);
        });
        xqt::WizardDialog wizard(engine, nullptr, timing);

        QTimer screenshots;
        const QString screenshotPath = qEnvironmentVariable("XQT_SCREENSHOT");
        if (!screenshotPath.isEmpty()) {
            QObject::connect(&screenshots, &QTimer::timeout, &wizard,
                             [&wizard, screenshotPath] { SaveGrab(wizard, screenshotPath); });
            screenshots.start(SCREENSHOT_PERIOD_MS);
        }
        wizard.exec();
        return 0;
    };
    return app.Run();
}
