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
#include <memory>
#include <string>
#include <vector>

#include "camera/FirmwareBundle.h"
#include "camera/ResourceState.h"
#include "gui/platform/QtMessageBoxes.h"
#include "gui/platform/QtSessionOwner.h"
#include "gui/wizard/WizardDialog.h"
#include "platform/EngineTiming.h"
#include "platform/Resources.h"
#include "platform/Sockets.h"
#include "wizard/RealWizardEngine.h"
#include "wizard/UpgradeApp.h"
#include "wizard/WizardArguments.h"

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
    // The toolkit has taken its own options from argv; the rest names the firmware.
    const xqt::WizardArguments arguments =
        xqt::ParseWizardArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!arguments.error.empty()) {
        std::fprintf(stderr, "xqt-upgrade: %s\n", arguments.error.c_str());
        return 2;
    }
    std::shared_ptr<const xqt::FirmwareBundle> bundle;
    if (!arguments.bundle.empty()) {
        const auto load = xqt::LoadFirmwareBundle(
            arguments.bundle,
            xqt::TrustFromEnvironment({arguments.trustedKeys.begin(), arguments.trustedKeys.end()}));
        if (!load.Usable()) {
            std::fprintf(stderr, "xqt-upgrade: firmware bundle %s: %s\n", arguments.bundle.c_str(),
                         load.error.c_str());
            boxes.Show("The firmware bundle " + arguments.bundle + " cannot be used: " + load.error, "Error",
                       xqt::platform::MbButtons::Ok, xqt::platform::MbIcon::Stop);
            return 2;
        }
        bundle = load.bundle;
        if (const std::string notice = xqt::TrustNotice(*bundle); !notice.empty()) {
            std::fprintf(stderr, "xqt-upgrade: %s\n", notice.c_str());
            boxes.Show("The " + notice.substr(4) + ".", "Information", xqt::platform::MbButtons::Ok,
                       xqt::platform::MbIcon::Information);
        }
    }
    xqt::UpgradeApp app;
    app.initSockets = xqt::platform::InitSockets;
    app.boxes = &boxes;
    app.runWizard = [&boxes, &bundle] {
        xqt::ResourceState names;
        names.LoadModelList(nullptr);
        if (bundle) names.ApplyBundle(*bundle);
        const xqt::platform::EngineTiming timing;
        xqt::platform::QtSessionOwner owner(boxes);
        xqt::RealWizardEngine engine(names.modelNames, timing, &owner);
        owner.SetTimerHandler([&engine](int id) { engine.DeliverTimer(id); });
        owner.SetMessageHandler([&engine](std::int32_t wParam, std::int32_t lParam) {
            engine.DeliverUpgradeMessage(wParam, lParam);
        });
        xqt::WizardDialog wizard(engine, nullptr, timing, nullptr, bundle.get());

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
