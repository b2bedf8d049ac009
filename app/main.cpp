// xqt-upgrade: the desktop firmware upgrade wizard.
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <iostream>

#include "app/ResourceState.h"
#include "app/UpgradeApp.h"
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
    app.runWizard = [&] {
        xqt::ResourceState resources;
        resources.LoadAll(&boxes);
        std::cerr << resources.WindowTitle() << ": the wizard is not built yet.\n";
        return 2;
    };
    return app.Run();
}
