// The whole wizard over its real engine and Qt session owner, in the isolated namespace: the
// automatic path waits for discovery of the simulated fleet, lists it and leads on once the ticked
// cameras have credentials; on the manual path the refusals of the camera check reach the user
// in order.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "gui/automatic/AutoTargetsPage.h"
#include "gui/controls/CameraGrid.h"
#include "gui/controls/Ipv4Edit.h"
#include "gui/platform/QtSessionOwner.h"
#include "gui/wizard/WizardDialog.h"
#include "serialrules/SerialProtect.h"
#include "sim/SimFleet.h"
#include "tests/camera/discovery/DiscoveryTestSupport.h"
#include "tests/gui/automatic/AutopagesTestSupport.h"
#include "wizard/RealWizardEngine.h"

namespace xqt {
namespace {

using namespace std::chrono_literals;

constexpr const char* NOT_SUITABLE = "This firmware is not suitable for the target camera.";

class WizardRealEngineTest : public test::BroadcastTest {
  protected:
    void TearDown() override {
        wizard.reset();
        engine.reset();
        owner.reset();
        test::Pump(5ms);
    }

    /// `scale` of the product's durations: at 0.2 discovery lasts two seconds.
    void Open(double scale = 0.02) {
        timing = platform::EngineTiming{}.Scaled(scale);
        timing.targetsWaitPeriod = 5ms;
        owner = std::make_unique<platform::QtSessionOwner>(boxes);
        engine = std::make_unique<RealWizardEngine>(ModelList{"XQT-TR60", "XQT-TR60N", "XQT-TR60P"}, timing,
                                                    owner.get(), reports.Options());
        owner->SetMessageHandler(
            [this](std::int32_t w, std::int32_t l) { engine->DeliverUpgradeMessage(w, l); });
        wizard = std::make_unique<WizardDialog>(*engine, &boxes, timing);
        wizard->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(wizard.get()));
    }

    void Click(WizardButton button) { QTest::mouseClick(wizard->Button(button), Qt::LeftButton); }
    template <class T>
    T* Find(WizardPage page, const char* name) const {
        return wizard->Page(page)->findChild<T*>(name);
    }
    void Choose(QAbstractButton* button) {
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
    }
    void ToModePage() {
        Click(WizardButton::Next);
        Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
        Click(WizardButton::Next);
        ASSERT_EQ(wizard->Flow().State(), STATE_MODE);
    }
    /// The manual target page filled with the camera's address and port and these credentials,
    /// then Next and the check.
    void CheckManually(const std::string& hostPort, const std::string& name, const std::string& password) {
        ToModePage();
        Choose(Find<QRadioButton>(WizardPage::Mode, "manual"));
        Click(WizardButton::Next);
        const auto colon = hostPort.find(':');
        const QStringList parts = QString::fromStdString(hostPort.substr(0, colon)).split('.');
        auto* address = Find<Ipv4Edit>(WizardPage::ManualTarget, "address");
        for (int i = 0; i < 4; ++i)
            address->Field(i)->setText(parts[i]);
        Choose(Find<QRadioButton>(WizardPage::ManualTarget, "portCustom"));
        Find<QLineEdit>(WizardPage::ManualTarget, "port")
            ->setText(QString::fromStdString(hostPort.substr(colon + 1)));
        Find<QLineEdit>(WizardPage::ManualTarget, "adminName")->setText(QString::fromStdString(name));
        Find<QLineEdit>(WizardPage::ManualTarget, "adminPassword")->setText(QString::fromStdString(password));
        Click(WizardButton::Next);
        ASSERT_TRUE(test::WaitUntil([&] { return !wizard->Flow().Busy(); }));
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& shown : boxes.Taken())
            texts.push_back(shown.text);
        return texts;
    }

    platform::EngineTiming timing;
    platform::RecordingMessageBoxes boxes;
    test::Reports reports;
    std::unique_ptr<platform::QtSessionOwner> owner;
    std::unique_ptr<RealWizardEngine> engine;
    std::unique_ptr<WizardDialog> wizard;
};

TEST_F(WizardRealEngineTest, TheAutomaticPathWaitsForDiscoveryAndListsTheFleet) {
    Fleet(test::DemoFleet());
    Open(0.2);
    ToModePage();
    Click(WizardButton::Next);  // automatic, the default
    ASSERT_EQ(wizard->Flow().State(), STATE_AUTO_TARGETS);
    AutoTargetsPage& page = *wizard->AutoTargets();
    EXPECT_TRUE(page.Searching());  // discovery runs for two seconds
    EXPECT_FALSE(wizard->Button(WizardButton::Next)->isEnabled());
    EXPECT_FALSE(page.Grid().isEnabled());

    ASSERT_TRUE(
        test::WaitUntil([&] { return !page.Searching(); }, test::Allow(timing.discoveryDuration * 5)));
    EXPECT_EQ(page.CounterText(), "7/256");
    EXPECT_EQ(page.Grid().Targets().Record(4).text[TargetSlot::ADDRESS], "DHCP");
    EXPECT_FALSE(wizard->Button(WizardButton::Next)->isEnabled());
    EXPECT_TRUE(boxes.Taken().empty());
    EXPECT_TRUE(reports.Lines().empty());
    test::Pump(20ms);
    test::SaveScreenshot(wizard.get(), "autopages-wizard-targets");

    // Tab runs from the grid through the page's buttons as they stand, left to right.
    QTest::mouseClick(page.findChild<QPushButton*>("expander"), Qt::LeftButton);
    ASSERT_TRUE(test::WaitUntil([&] { return page.Expanded(); }));
    wizard->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(wizard.get()));
    page.Grid().setFocus();
    std::vector<std::string> order;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    EXPECT_EQ(order,
              (std::vector<std::string>{"selectAll", "accessSetting", "addOther", "testing", "expander"}));

    page.openBatchLogin = [](CameraGrid& grid) {
        for (int row : grid.SelectedRows())
            grid.SetCredentials(row, "admin", "admin");
    };
    QTest::mouseClick(page.findChild<QPushButton*>("selectAll"), Qt::LeftButton);
    QTest::mouseClick(page.findChild<QPushButton*>("accessSetting"), Qt::LeftButton);
    EXPECT_TRUE(wizard->Button(WizardButton::Next)->isEnabled());
    Click(WizardButton::Next);
    EXPECT_EQ(wizard->Flow().State(), STATE_AUTO_READY);

    // Back on the page the list is kept and not filled twice.
    Click(WizardButton::Back);
    EXPECT_EQ(wizard->Flow().State(), STATE_AUTO_TARGETS);
    EXPECT_EQ(page.CounterText(), "7/256");
    EXPECT_TRUE(wizard->Button(WizardButton::Next)->isEnabled());
}

TEST_F(WizardRealEngineTest, TheCheckOwnRefusalComesBeforeTheWizards) {
    sim::SimCamera camera;
    camera.ipText = "127.0.33.1";
    camera.webPort = 0;
    camera.model = "XQT-DM10";
    sim::SimFleet fleet({camera});
    fleet.Start();
    Open();
    CheckManually(fleet.At(0).HostPort(), "admin", "admin");
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{
                  "This program works for the XQT-TR60. Please select the correct camera.", NOT_SUITABLE}));
    EXPECT_EQ(wizard->Flow().State(), STATE_MANUAL_TARGET);
}

TEST_F(WizardRealEngineTest, ANonAdministratorIsRefusedWithBothBoxes) {
    sim::SimCamera camera;
    camera.ipText = "127.0.33.2";
    camera.webPort = 0;
    camera.users = {{"admin", "admin", true}, {"operator", "operator", false}};
    sim::SimFleet fleet({camera});
    fleet.Start();
    Open();
    CheckManually(fleet.At(0).HostPort(), "operator", "operator");
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"Level 4 users other than Administrator cannot run the program.",
                                        NOT_SUITABLE}));
    EXPECT_EQ(wizard->Flow().State(), STATE_MANUAL_TARGET);
}

TEST_F(WizardRealEngineTest, ARefusedSerialGetsOnlyTheWizardsRefusal) {
    test::SwappedRules rules("allow,deny", "all", "9??????");
    sim::SimCamera camera;
    camera.ipText = "127.0.33.3";
    camera.webPort = 0;
    camera.serial = "9000003";
    sim::SimFleet fleet({camera});
    fleet.Start();
    Open();
    CheckManually(fleet.At(0).HostPort(), "admin", "admin");
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{NOT_SUITABLE});
    EXPECT_EQ(wizard->Flow().State(), STATE_MANUAL_TARGET);
}

TEST_F(WizardRealEngineTest, ASuitableCameraLeadsToTheProgressPage) {
    sim::SimCamera camera;
    camera.ipText = "127.0.33.4";
    camera.webPort = 0;
    camera.softVersion = "1.10";
    sim::SimFleet fleet({camera});
    fleet.Start();
    Open();
    CheckManually(fleet.At(0).HostPort(), "admin", "admin");
    EXPECT_TRUE(boxes.Taken().empty());
    EXPECT_EQ(wizard->Flow().State(), STATE_MANUAL_READY);
    EXPECT_EQ(wizard->Flow().CurrentVersion(), "ver1.10");
    EXPECT_EQ(wizard->Flow().TargetAddress(), fleet.At(0).HostPort());
}

}  // namespace
}  // namespace xqt
