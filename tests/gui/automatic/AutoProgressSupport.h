#pragma once
// What the automatic-progress tests share: a fleet of simulated cameras on 127.0.7.x in scaled
// time, the targets grid that lists them, resources with two image slots told apart by content,
// and the page under test, whose rows are sampled while the event loop runs.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "camera/ResourceState.h"
#include "gui/automatic/AutoProgressPage.h"
#include "gui/controls/CameraGrid.h"
#include "gui/controls/ProgressList.h"
#include "platform/MessageBoxes.h"
#include "sim/SimFleet.h"
#include "tests/gui/support/QtTests.h"
#include "tests/support/Slowdown.h"

namespace xqt::test {

inline constexpr double kScale = 0.01;
/// Slot keys of the test resources: slot 1 is chosen by this DocType.
inline const std::string kSecondSlotKey = "XQT-DOC-B";

ModelList Models();
platform::EngineTiming Timing();

/// The limit of a wait for something one camera's upgrade brings: the engine's limits for it.
std::chrono::milliseconds OneUpgrade();

/// WaitUntil with the limit these tests usually need.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = OneUpgrade());

/// Camera `n` (1-based) on 127.0.7.n with a free port and a short upgrade.
sim::SimCamera Camera(int n);

/// What one row showed when it was sampled.
enum class Shown { Waiting, Loading, Active, Ended };
Shown Classify(const std::string& statusWord);

/// Temporary folder standing for the program-files folder while it lives.
class ProgramFilesFolder {
  public:
    ProgramFilesFolder();
    ~ProgramFilesFolder();
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string old_;
    bool hadOld_ = false;
};

class AutoProgressTest : public ::testing::Test {
  protected:
    AutoProgressTest();
    ~AutoProgressTest() override;

    /// Starts the fleet and lists its cameras as ticked targets with the administrator's
    /// credentials; rows named in `dhcpRows` are listed as DHCP cameras. Then shows the page. With
    /// `captureLog` the upgrade log is read into logText instead of being shown modally.
    void Open(std::vector<sim::SimCamera> cameras, std::vector<int> dhcpRows = {}, bool captureLog = true);
    /// Unticks "Retain the current settings" (no backup: shorter runs).
    void NoRetain();
    /// Presses Upgrade (the confirmation answers OK) and waits until the scheduler runs.
    bool StartRun();
    /// Runs the event loop until the page asked for Finish (mode 4), sampling the rows after every
    /// turn of the loop; by default for as long as the engine's limits allow every camera in turn.
    bool WaitForFinish(std::chrono::milliseconds limit = {});

    std::string Status(int row) const;
    std::string AddressOf(std::size_t camera) const;
    QCheckBox* Box(const char* name) const;
    /// The images of the two slots.
    std::string SlotSha(int slot) const;

    /// Rows' status words, one vector per sample.
    std::vector<std::vector<std::string>> samples;
    void Sample();

    ProgramFilesFolder programFiles;
    platform::RecordingMessageBoxes boxes;
    ResourceState resources;
    std::unique_ptr<sim::SimFleet> fleet;
    std::unique_ptr<CameraGrid> grid;
    std::unique_ptr<AutoProgressPage> page;
    std::vector<int> modes;  ///< every SetButtons the page asked for
    int logsShown = 0;       ///< times the upgrade log was opened
    QString logText;         ///< what the upgrade log dialog showed
};

}  // namespace xqt::test
