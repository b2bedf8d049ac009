// xqt-upgrade: the desktop firmware upgrade wizard.
#include <QApplication>

#include "app/OfflineWizardEngine.h"
#include "app/ResourceState.h"
#include "app/UpgradeApp.h"
#include "app/WizardDialog.h"
#include "platform/QtMessageBoxes.h"
#include "platform/Resources.h"
#include "platform/Sockets.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    xqt::platform::UseResources(xqt::platform::EmbeddedResources());
    xqt::platform::QtMessageBoxes boxes(nullptr);
    xqt::UpgradeApp app;
    app.initSockets = xqt::platform::InitSockets;
    app.boxes = &boxes;
    app.runWizard = [] {
        // Until the camera engine is linked in, the wizard runs against an engine that reaches no
        // camera.
        xqt::ResourceState names;
        names.LoadModelList(nullptr);
        xqt::OfflineWizardEngine engine(names.modelNames[0].value_or(std::string()));
        xqt::WizardDialog wizard(engine, nullptr, xqt::WizardTiming{});
        wizard.exec();
        return 0;
    };
    return app.Run();
}
