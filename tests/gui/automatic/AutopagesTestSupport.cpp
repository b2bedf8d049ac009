#include "tests/gui/automatic/AutopagesTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <cstdlib>
#include <thread>

#include "camera/DiscoveryResults.h"
#include "platform/Windows1252.h"
#include "sim/DiscoveryResponder.h"
#include "sim/FleetFile.h"

namespace xqt::test {

ModelList Models() {
    return ModelList{"XQT-TR60", "XQT-TR60N", "XQT-TR60P"};
}

platform::EngineTiming PageTiming() {
    platform::EngineTiming timing = platform::EngineTiming{}.Scaled(0.02);  // limits of 400 ms
    timing.targetsWaitPeriod = std::chrono::milliseconds(5);
    timing.gridTestPeriod = std::chrono::milliseconds(5);
    timing.expanderStep = std::chrono::milliseconds(2);
    return timing;
}

std::vector<sim::SimCamera> DemoFleet() {
    return sim::LoadFleetFile(XQT_SOURCE_DIR "/sim/fleets/demo.json").cameras;
}

std::vector<DiscoveryEntry> Discovered(const std::vector<sim::SimCamera>& cameras) {
    DiscoveryResults results(Models(), [](const std::string&) { return true; });
    for (const auto& camera : cameras) {
        for (const auto& datagram : sim::DiscoveryReplies(camera))
            results.HandleDatagram(datagram);
    }
    std::vector<DiscoveryEntry> entries = results.Snapshot();
    for (DiscoveryEntry& entry : entries) {
        for (std::string* text : {&entry.model, &entry.serial, &entry.version, &entry.mac})
            *text = platform::Windows1252ToUtf8(*text);
    }
    return entries;
}

sim::SimCamera CameraAt(const std::string& ip, const std::string& serial, const std::string& mac) {
    sim::SimCamera camera;
    camera.ipText = ip;
    camera.webPort = 0;
    camera.serial = serial;
    camera.mac = mac;
    return camera;
}

SwappedRules::SwappedRules(const std::string& order, const std::string& allow, const std::string& deny)
    : rules_(order, allow, deny) {
    // Built first, so that a later first use does not put the delivered rules back.
    ns_serial_protect::InitSerialRules();
    saved_ = ns_serial_protect::g_serialProtect.exchange(&rules_);
}

SwappedRules::~SwappedRules() {
    ns_serial_protect::g_serialProtect.store(saved_);
}

std::string SaveScreenshot(QWidget* widget, const std::string& name) {
    const char* folder = std::getenv("XQT_TEST_OUTPUT");
    if (!folder || !*folder) return {};
    QDir().mkpath(QString::fromLocal8Bit(folder));
    const QString path = QDir(QString::fromLocal8Bit(folder)).filePath(QString::fromStdString(name) + ".png");
    if (!widget->grab().save(path, "PNG")) return {};
    return path.toStdString();
}

}  // namespace xqt::test
