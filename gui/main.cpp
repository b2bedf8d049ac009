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
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "camera/FirmwareBundle.h"
#include "camera/ResourceState.h"
#include "gui/platform/QtMessageBoxes.h"
#include "gui/platform/QtSessionOwner.h"
#include "gui/wizard/WizardDialog.h"
#include "platform/EngineTiming.h"
#include "platform/Resources.h"
#include "platform/Secrets.h"
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

constexpr const char* USAGE =
    "Usage: xqt-upgrade [OPTION]... [BUNDLE]\n"
    "The XQT firmware upgrade wizard: upgrades one camera (manual mode) or the cameras found on the\n"
    "network (automatic mode).\n"
    "\n"
    "  --firmware BUNDLE   write the firmware of this bundle (a folder or .xqtfw file) instead of the\n"
    "                      built-in image; a bundle given as the only argument does the same\n"
    "  --trusted-key FILE  refuse the bundle unless its manifest is signed by this key (repeatable)\n"
    "  --help              print this help and exit\n"
    "  --version           print the program's version and its firmware image's version, and exit\n"
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
    std::string error;               ///< Refuse: what is wrong
    xqt::WizardArguments arguments;  ///< RunWizard: the firmware to write
};

/// Reads the wizard's options. New options go into the loop as further cases; the firmware's own
/// (and a bundle given as an argument) are gathered for ParseWizardArguments.
CommandLine ReadCommandLine(int argc, char** argv) {
    CommandLine line;
    std::vector<std::string> firmware;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") return {Action::Help, {}, {}};
        if (arg == "--version") return {Action::Version, {}, {}};
        if (arg == "--firmware" || arg == "--trusted-key") {
            if (i + 1 >= argc) return {Action::Refuse, std::string(arg) + " needs a value", {}};
            firmware.emplace_back(arg);
            firmware.emplace_back(argv[++i]);
            continue;
        }
        if (arg.starts_with("--firmware=") || arg.starts_with("--trusted-key=")) {
            firmware.emplace_back(arg);
            continue;
        }
        bool qtOption = false;
        for (std::string_view flag : QT_FLAGS)
            qtOption = qtOption || arg == flag;
        for (std::string_view option : QT_OPTIONS_WITH_VALUE) {
            if (arg.substr(0, option.size()) != option) continue;
            if (arg.size() == option.size()) {
                if (i + 1 >= argc) return {Action::Refuse, std::string(arg) + " needs a value", {}};
                ++i;
                qtOption = true;
            } else if (arg[option.size()] == '=') {
                qtOption = true;
            }
        }
        if (qtOption) continue;
        if (arg.size() > 1 && arg[0] == '-')
            return {Action::Refuse, "unknown option " + std::string(arg), {}};
        firmware.emplace_back(arg);  // a bundle opened from a file manager
    }
    line.arguments = xqt::ParseWizardArguments(firmware);
    if (!line.arguments.error.empty()) return {Action::Refuse, line.arguments.error, {}};
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
    // The wizard's login dialogs hold camera passwords for the whole run.
    xqt::platform::KeepSecretsOutOfCoreDumps();
    if (!HasDisplay()) {
        std::fputs(
            "xqt-upgrade: no display: the wizard needs one, and neither DISPLAY nor WAYLAND_DISPLAY is set.\n"
            "On a machine without a screen, use xqt-cli, or run the wizard under Xvfb (DISPLAY=:99).\n",
            stderr);
        return 1;
    }
    QApplication qapp(argc, argv);
    xqt::platform::QtMessageBoxes boxes(nullptr);
    const xqt::WizardArguments& arguments = commandLine.arguments;
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
