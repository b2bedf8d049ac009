#pragma once
// What the automatic-page tests share: the offscreen application with the embedded resources,
// scaled timing, waiting with the event loop running, simulated cameras as discovery reports
// them, and the screenshots folder.

#include <QString>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "camera/DiscoveryEntry.h"
#include "camera/ModelList.h"
#include "platform/EngineTiming.h"
#include "serialrules/SerialProtect.h"
#include "sim/SimCamera.h"
#include "tests/gui/support/QtTests.h"
#include "tests/support/Slowdown.h"

class QWidget;

namespace xqt::test {

/// The models of the embedded list.
ModelList Models();

/// Engine timing for the pages: periods of a few milliseconds, limits of a few hundred.
platform::EngineTiming PageTiming();

/// WaitUntil with the limit these tests usually need: the pages inquire a list's cameras in turn,
/// and none of the lists here takes more than 25 inquiry limits.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = Allow(PageTiming().inquiryLimit * 25));

/// The cameras of sim/fleets/demo.json.
std::vector<sim::SimCamera> DemoFleet();

/// The table discovery makes of these cameras' replies (unlisted models left out), texts in
/// UTF-8 as the wizard's engine hands them out.
std::vector<DiscoveryEntry> Discovered(const std::vector<sim::SimCamera>& cameras);

/// A camera on `ip` (loopback) that takes a free port.
sim::SimCamera CameraAt(const std::string& ip, const std::string& serial, const std::string& mac);

/// Puts other serial-number rules in place of the delivered ones for its lifetime.
class SwappedRules {
  public:
    SwappedRules(const std::string& order, const std::string& allow, const std::string& deny);
    ~SwappedRules();
    SwappedRules(const SwappedRules&) = delete;
    SwappedRules& operator=(const SwappedRules&) = delete;

  private:
    ns_serial_protect::SerialProtect rules_;
    const ns_serial_protect::SerialProtect* saved_ = nullptr;
};

/// Saves `widget` as <XQT_TEST_OUTPUT>/<name>.png when that folder is named; returns the path or
/// empty.
std::string SaveScreenshot(QWidget* widget, const std::string& name);

}  // namespace xqt::test
