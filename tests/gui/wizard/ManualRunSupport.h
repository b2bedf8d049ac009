#pragma once
// The fixture of the manual-run tests: a simulated camera on its own loopback address in scaled
// time, the wizard over the real engine and a Qt session owner (boxes recorded, the confirmation
// answered OK), saved configurations in a temporary data folder, and the status words the progress
// page showed, in order.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/platform/QtSessionOwner.h"
#include "gui/wizard/WizardDialog.h"
#include "platform/EngineTiming.h"
#include "platform/MessageBoxes.h"
#include "sim/SimFleet.h"
#include "tests/gui/support/QtTests.h"
#include "tests/support/Slowdown.h"
#include "wizard/RealWizardEngine.h"

namespace xqt::test {

/// Scale of the engine's durations and of the simulated camera's.
inline constexpr double kEngineScale = 0.02;
inline constexpr double kCameraScale = 0.01;

/// The limit of a wait for something one manual run brings: the engine's limits for an upgrade
/// and the restart watch, at the engine's scale.
inline std::chrono::milliseconds OneUpgrade() {
    const platform::EngineTiming timing = platform::EngineTiming{}.Scaled(kEngineScale);
    return Allow(UpgradeLimit(timing) + timing.restartWatchLimit);
}

/// WaitUntil with the limit these tests usually need.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = OneUpgrade());

/// The target page's setup-data choice.
struct SetupChoice {
    bool retain = false;
    bool backup = false;
};

class ManualRunTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    /// A camera of the delivered model at `ip` (loopback), any free port, version 1.10.
    static sim::SimCamera Camera(const std::string& ip);
    void StartCamera(sim::SimCamera camera);
    sim::CameraServer& Server() { return fleet->At(0); }

    /// Opens the wizard and goes through the first three pages to the manual target page.
    void OpenToTarget();
    /// Fills the target page with the camera's address and port, the credential and the choice.
    void EnterTarget(const std::string& name, const std::string& password, SetupChoice setup);
    /// Next on the target page (the check), then Upgrade and the confirmation. True when the
    /// wizard left the ready state for the run (state 5, or already back on the target page).
    bool StartRun();
    /// True once the run has left the progress page for the result page or the target page.
    bool RunEnded() const;
    /// Waits until RunEnded.
    bool WaitForRunEnd(std::chrono::milliseconds limit = OneUpgrade());

    void Click(WizardButton button);
    void Choose(QAbstractButton* button);
    template <class T>
    T* Find(WizardPage page, const char* name) const {
        T* found = wizard->Page(page)->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    std::string ButtonText(WizardButton button) const;
    bool ButtonEnabled(WizardButton button) const;
    std::string StatusWord() const;
    std::string ResultText() const;
    /// The boxes shown, the confirmation question left out.
    std::vector<std::string> BoxTexts() const;
    /// Every saved configuration file below the temporary data folder.
    std::vector<std::filesystem::path> SavedFiles() const;
    /// SHA-256 of the image the wizard chose (hexadecimal) and its size.
    std::string ImageSha() const;
    std::uint64_t ImageSize() const;
    /// Saves the wizard as <XQT_TEST_OUTPUT>/manualrun/<name>.png when that folder is named.
    void SaveScreenshot(const std::string& name) const;

    std::filesystem::path dataFolder;
    platform::EngineTiming timing;
    platform::RecordingMessageBoxes boxes;
    std::unique_ptr<sim::SimFleet> fleet;
    std::unique_ptr<platform::QtSessionOwner> owner;
    std::unique_ptr<RealWizardEngine> engine;
    std::unique_ptr<WizardDialog> wizard;
    /// The firmware bundle OpenToTarget gives the engine and the wizard; none: the resources' image.
    std::shared_ptr<const FirmwareBundle> bundle;
    /// Every status word the progress page showed, in order, repeats left out.
    std::vector<std::string> statusWords;

  private:
    std::string savedXdg_;
    std::string savedProgramFiles_;
    bool hadXdg_ = false;
    bool hadProgramFiles_ = false;
};

}  // namespace xqt::test
