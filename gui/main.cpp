// xqt-upgrade: the desktop firmware upgrade wizard.
//
// Its own options are answered on the terminal before any window or display is needed; Qt's
// standard options (-platform, -style, ...) are passed on to QApplication.
//
// XQT_SCREENSHOT=path (for demonstrations on a display without a screen-grab tool): while the
// wizard is open, a picture of its window is written to that PNG file once a second.
#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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

constexpr const char* USAGE =
    "Usage: xqt-upgrade [OPTION]...\n"
    "The XQT firmware upgrade wizard: upgrades one camera (manual mode) or the cameras found on the\n"
    "network (automatic mode).\n"
    "\n"
    "  --help      print this help and exit\n"
    "  --version   print the program's version and its firmware image's version, and exit\n"
    "\n"
    "Qt's standard options (-platform NAME, -style NAME, ...) are accepted as well.\n"
    "Exit status: 0 when the wizard was closed; 1 when it cannot start (no display); 2 for a bad\n"
    "command line.\n"
    "The command-line tool xqt-cli(1) does the same without a window.\n";

/// Qt's own options that QApplication takes out of the command line; those of the second list take
/// the next argument as their value.
constexpr std::string_view QT_FLAGS[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
constexpr std::string_view QT_OPTIONS_WITH_VALUE[] = {
    "-platform",    "-platformpluginpath", "-platformtheme", "-plugin",     "-qwindowgeometry",
    "-qwindowicon", "-qwindowtitle",       "-style",         "-stylesheet", "-session",
    "-display",     "-geometry",           "-title",         "-name"};

enum class Action { RunWizard, Help, Version, Refuse };

struct CommandLine {
    Action action = Action::RunWizard;
    std::string error;  ///< Refuse: what is wrong
};

/// Reads the wizard's options. New options go into the loop as further cases.
CommandLine ReadCommandLine(int argc, char** argv) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") return {Action::Help, {}};
        if (arg == "--version") return {Action::Version, {}};
        bool qtOption = false;
        for (std::string_view flag : QT_FLAGS)
            qtOption = qtOption || arg == flag;
        for (std::string_view option : QT_OPTIONS_WITH_VALUE) {
            if (arg.substr(0, option.size()) != option) continue;
            if (arg.size() == option.size()) {
                if (i + 1 >= argc) return {Action::Refuse, std::string(arg) + " needs a value"};
                ++i;
                qtOption = true;
            } else if (arg[option.size()] == '=') {
                qtOption = true;
            }
        }
        if (qtOption) continue;
        if (!arg.empty() && arg[0] == '-') return {Action::Refuse, "unknown option " + std::string(arg)};
        return {Action::Refuse, "unexpected argument " + std::string(arg)};
    }
    return line;
}

/// True when some display can be reached: Qt aborts the process when it finds none.
bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    xqt::platform::UseResources(xqt::platform::EmbeddedResources());
    // Answered before QApplication exists: none of this needs a display.
    const CommandLine commandLine = ReadCommandLine(argc, argv);
    switch (commandLine.action) {
        case Action::Help:
            std::fputs(USAGE, stdout);
            return 0;
        case Action::Version:
            std::printf("%s\n", xqt::platform::VersionText("xqt-upgrade").c_str());
            return 0;
        case Action::Refuse:
            std::fprintf(stderr, "xqt-upgrade: %s\nTry 'xqt-upgrade --help'.\n", commandLine.error.c_str());
            return 2;
        case Action::RunWizard:
            break;
    }
    if (!HasDisplay()) {
        std::fputs(
            "xqt-upgrade: no display: the wizard needs one, and neither DISPLAY nor WAYLAND_DISPLAY is set.\n"
            "On a machine without a screen, use xqt-cli, or run the wizard under Xvfb (DISPLAY=:99).\n",
            stderr);
        return 1;
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
