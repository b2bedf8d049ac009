// The progress page inside the wizard frame: reached from the targets page, started by Next while
// it reads "&Upgrade", aborted by Next while it reads "&Abort", and left by Finish; the frame's
// scaled timing reaches the page and its sessions.
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "AutoProgressSupport.h"
#include "fleet/TextForms.h"
#include "gui/automatic/AutoTargetsPage.h"
#include "gui/wizard/WizardDialog.h"
#include "wizard/OfflineWizardEngine.h"

namespace xqt::test {
namespace {

using namespace std::chrono_literals;

class WizardAutoProgressTest : public ::testing::Test {
  protected:
    ~WizardAutoProgressTest() override {
        wizard.reset();
        fleet.reset();
    }

    void Open(std::vector<sim::SimCamera> cameras) {
        fleet = std::make_unique<sim::SimFleet>(std::move(cameras), kScale);
        fleet->Start();
        wizard = std::make_unique<WizardDialog>(engine, &boxes, Timing());
        wizard->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(wizard.get()));
        // The cameras stand in for what discovery would have listed.
        CameraGrid& grid = wizard->AutoTargets()->Grid();
        for (std::size_t i = 0; i < fleet->Size(); ++i) {
            const sim::SimCamera camera = fleet->At(i).Camera();
            CameraEntry entry;
            entry.macText = camera.mac;
            entry.address = {127, 0, 7, static_cast<std::uint8_t>(std::stoi(camera.ipText.substr(8)))};
            entry.port = camera.webPort;
            entry.addressText = AddressText(entry.address, entry.port);
            entry.model = camera.model;
            entry.serial = camera.serial;
            entry.version = camera.softVersion;
            ASSERT_EQ(grid.Insert(entry), InsertResult::Inserted);
            grid.SetCredentials(static_cast<int>(i), "admin", "admin");
        }
        wizard->AutoProgress()->openLog = [this](const BatchRun&) { ++logsShown; };
    }

    void Click(WizardButton button) { QTest::mouseClick(wizard->Button(button), Qt::LeftButton); }
    QString Text(WizardButton button) const { return wizard->Button(button)->text(); }
    bool Enabled(WizardButton button) const { return wizard->Button(button)->isEnabled(); }

    void ToProgressPage() {
        Click(WizardButton::Next);
        auto* agree = wizard->Page(WizardPage::Agreement)->findChild<QRadioButton*>("agree");
        QTest::mouseClick(agree, Qt::LeftButton, Qt::NoModifier, QPoint(6, agree->height() / 2));
        Click(WizardButton::Next);
        auto* automatic = wizard->Page(WizardPage::Mode)->findChild<QRadioButton*>("automatic");
        ASSERT_NE(automatic, nullptr);
        QTest::mouseClick(automatic, Qt::LeftButton, Qt::NoModifier, QPoint(6, automatic->height() / 2));
        Click(WizardButton::Next);
        ASSERT_TRUE(WaitUntil([&] { return Enabled(WizardButton::Next); }));
        Click(WizardButton::Next);
        ASSERT_TRUE(wizard->Page(WizardPage::AutoProgress)->isVisible());
    }

    std::string Status(int row) const {
        return wizard->AutoProgress()->List().Row(row).text[ProgressSlot::STATUS];
    }

    ProgramFilesFolder programFiles;  // saved settings and the history stay in the test's folder
    OfflineWizardEngine engine{"XQT-TR60"};
    platform::RecordingMessageBoxes boxes;
    std::unique_ptr<sim::SimFleet> fleet;
    std::unique_ptr<WizardDialog> wizard;
    int logsShown = 0;

    std::chrono::milliseconds AllCameras() const { return OneUpgrade() * static_cast<int>(fleet->Size()); }
};

TEST_F(WizardAutoProgressTest, UpgradeRunsEveryTickedCameraAndOffersFinish) {
    Open({Camera(71), Camera(72)});
    ASSERT_NO_FATAL_FAILURE(ToProgressPage());
    AutoProgressPage& page = *wizard->AutoProgress();
    EXPECT_EQ(page.List().Size(), 2);
    EXPECT_EQ(Text(WizardButton::Next), "&Upgrade");
    page.findChild<QCheckBox*>("retain")->click();

    Click(WizardButton::Next);
    ASSERT_TRUE(WaitUntil([&] { return Text(WizardButton::Next) == "&Abort"; }));
    EXPECT_FALSE(Enabled(WizardButton::Back));
    EXPECT_FALSE(Enabled(WizardButton::Cancel));
    EXPECT_FALSE(wizard->CloseEnabled());

    ASSERT_TRUE(WaitUntil([&] { return Text(WizardButton::Cancel) == "&Finish"; }, AllCameras()));
    EXPECT_TRUE(Enabled(WizardButton::Cancel));
    EXPECT_FALSE(Enabled(WizardButton::Next));
    EXPECT_EQ(Status(0), "Completed");
    EXPECT_EQ(Status(1), "Completed");
    EXPECT_EQ(page.CounterText(), "2/2");
    EXPECT_EQ(logsShown, 1);
    EXPECT_EQ(fleet->At(0).Upgrade().Records().size(), 1u);

    Click(WizardButton::Cancel);
    EXPECT_FALSE(wizard->isVisible());
}

TEST_F(WizardAutoProgressTest, AbortFromTheNextButtonDropsTheCamerasNotStarted) {
    // Two cameras are driven at a time: the third cannot start before the first has ended, which
    // takes it its stream, its reboot and the wait before the verification after the second has
    // started. The cameras' streams keep their default length, a fifth of the overwrite watchdog,
    // so no camera's end races the engine's limits, however slow the machine.
    std::vector<sim::SimCamera> cameras{Camera(81), Camera(82), Camera(83)};
    Open(cameras);
    ASSERT_NO_FATAL_FAILURE(ToProgressPage());
    wizard->AutoProgress()->findChild<QCheckBox*>("retain")->click();
    Click(WizardButton::Next);
    ASSERT_TRUE(WaitUntil([&] {
        return Text(WizardButton::Next) == "&Abort" && Classify(Status(1)) != Shown::Waiting &&
               Classify(Status(0)) != Shown::Ended;
    }));

    Click(WizardButton::Next);  // "&Abort"
    EXPECT_FALSE(Enabled(WizardButton::Next));
    ASSERT_TRUE(WaitUntil([&] { return Text(WizardButton::Cancel) == "&Finish"; }, AllCameras()));
    EXPECT_EQ(Status(0), "Completed");
    EXPECT_EQ(Status(1), "Completed");
    EXPECT_EQ(Status(2), "Standby");
    EXPECT_TRUE(fleet->At(2).Requests().empty());
    EXPECT_EQ(wizard->AutoProgress()->CounterText(), "3/3");
}

}  // namespace
}  // namespace xqt::test
