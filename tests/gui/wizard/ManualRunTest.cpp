// A manual upgrade through the wizard's window with the fake engine playing the camera session:
// what the pages and buttons show on the way. The flow's own decisions (confirmation, saved
// configuration, restore, restart watch, failures) are tested without widgets in WizardFlowTest.
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

#include "camera/PlaceholderGuard.h"
#include "gui/controls/Ipv4Edit.h"
#include "gui/wizard/ManualProgressPage.h"
#include "platform/PlaceholderImage.h"
#include "tests/gui/wizard/WizardTestSupport.h"

namespace xqt::test {
namespace {

class ManualRunTest : public WizardTest {
  protected:
    QLineEdit* ProgressEdit(const char* name) { return Find<QLineEdit>(WizardPage::ManualProgress, name); }

    /// To the progress page with the given setup-data choice.
    void Prepare(bool retain, bool backup) {
        Open();
        GoToTarget();
        EnterTarget("10.0.0.5", "admin", "admin");
        auto* retainBox = Find<QCheckBox>(WizardPage::ManualTarget, "retain");
        if (!retain) Choose(retainBox);
        if (backup) Choose(Find<QCheckBox>(WizardPage::ManualTarget, "backup"));
        ASSERT_TRUE(GoToProgress());
        // Record every status word the page shows from here on.
        QObject::connect(ProgressEdit("statusWord"), &QLineEdit::textChanged,
                         [this](const QString& word) { words.push_back(word.toStdString()); });
    }

    /// Upgrade, confirmed; true when the run started.
    bool Upgrade() {
        Click(WizardButton::Next);
        return WaitFor([&] { return engine.started.has_value() && !wizard->Flow().Busy(); });
    }

    bool OnResultPage() {
        return WaitFor([&] {
            return State() == STATE_MANUAL_RESULT && wizard->Page(WizardPage::ManualResult)->isVisible();
        });
    }

    std::vector<std::string> words;
};

TEST_F(ManualRunTest, ProgressPageShowsTheTargetBeforeTheUpgrade) {
    Prepare(false, false);
    EXPECT_TRUE(wizard->Page(WizardPage::ManualProgress)->isVisible());
    EXPECT_EQ(ProgressEdit("address")->text(), "10.0.0.5");
    EXPECT_EQ(ProgressEdit("currentVersion")->text(), "ver2.31");
    EXPECT_EQ(ProgressEdit("newVersion")->text(), "ver1.23");
    EXPECT_EQ(ProgressEdit("setupData")->text(), "Discard the current settings.");
    EXPECT_EQ(ProgressEdit("statusLine")->text(), "");
    EXPECT_EQ(ProgressEdit("statusWord")->text(), "");
    auto* bar = Find<QProgressBar>(WizardPage::ManualProgress, "progress");
    EXPECT_EQ(bar->maximum(), 10000);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(bar->palette().color(QPalette::Highlight), QColor(10, 36, 106));
    EXPECT_EQ(wizard->Button(WizardButton::Next)->text(), "&Upgrade");
    EXPECT_TRUE(wizard->Button(WizardButton::Next)->isEnabled());
    EXPECT_EQ(wizard->Flow().CameraSerial(), "1000001");
}

TEST_F(ManualRunTest, SetupDataTextFollowsTheTargetPageChoice) {
    Prepare(true, true);
    EXPECT_EQ(ProgressEdit("setupData")->text(), "Retain and backup the current settings.");
    Click(WizardButton::Back);
    Choose(Find<QCheckBox>(WizardPage::ManualTarget, "backup"));
    ASSERT_TRUE(GoToProgress());
    EXPECT_EQ(ProgressEdit("setupData")->text(), "Retain the current settings.");
}

TEST_F(ManualRunTest, ThePlaceholderIsRefusedForARealCameraBeforeItIsAsked) {
    const auto placeholder = platform::MakePlaceholderImage(4096, "1.23");
    res.Add(platform::ResourceType::Bin, RES_FIRST_IMAGE, 0, placeholder);
    Open();
    GoToTarget();
    EnterTarget("10.0.0.5", "admin", "admin");
    boxes.Clear();
    Click(WizardButton::Next);
    QTest::qWait(20);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Taken()[0].text, std::string(PLACEHOLDER_REFUSAL));
    EXPECT_EQ(boxes.Taken()[0].icon, platform::MbIcon::Stop);
    EXPECT_EQ(engine.Count("CheckCamera"), 0) << "nothing is said to the camera";
    EXPECT_EQ(State(), STATE_MANUAL_TARGET);
    // On loopback (a simulated camera) the same image goes ahead.
    EnterTarget("127.0.0.5", "admin", "admin");
    ASSERT_TRUE(GoToProgress());
    boxes.Clear();
    EXPECT_TRUE(Upgrade());
    EXPECT_EQ(engine.started->hostPort, "127.0.0.5");
}

TEST_F(ManualRunTest, UpgradeWithoutRetainingRunsToTheResultPage) {
    Prepare(false, false);
    ASSERT_TRUE(Upgrade());
    boxes.Clear();
    EXPECT_EQ(State(), STATE_MANUAL_RUNNING);
    for (WizardButton b : {WizardButton::Back, WizardButton::Next, WizardButton::Cancel})
        EXPECT_FALSE(wizard->Button(b)->isEnabled());
    EXPECT_FALSE(wizard->CloseEnabled());
    EXPECT_EQ(ProgressEdit("statusLine")->text(), "Version up is in progress. Do not turn off the power.");
    EXPECT_EQ(ProgressEdit("statusWord")->text(), "Uploading");

    engine.started->progressBar->SetPosition(2500);  // as the session does from its thread
    EXPECT_TRUE(
        WaitFor([&] { return Find<QProgressBar>(WizardPage::ManualProgress, "progress")->value() == 2500; }));

    engine.Tick(UpgradeStatus::Overwriting);
    EXPECT_EQ(ProgressEdit("statusWord")->text(), "Overwriting");
    engine.Tick(UpgradeStatus::Error3);  // no manual word: the shown word stays
    EXPECT_EQ(ProgressEdit("statusWord")->text(), "Overwriting");
    engine.Tick(UpgradeStatus::Rebooting);
    EXPECT_EQ(ProgressEdit("statusWord")->text(), "Rebooting");
    engine.Post(1, STATE_MANUAL_RESULT);
    ASSERT_TRUE(OnResultPage());
    EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualResult, "address")->text(), "10.0.0.5");
    EXPECT_EQ(
        Find<QTextEdit>(WizardPage::ManualResult, "result")->toPlainText(),
        "Firmware program was successfully updated to the camera.\n\n\nTarget camera version is \"1.23\".");
    EXPECT_EQ(Find<QProgressBar>(WizardPage::ManualResult, "progress")->value(), 10000);
    EXPECT_EQ(wizard->Button(WizardButton::Back)->text(), "&Re-try");
    EXPECT_EQ(wizard->Button(WizardButton::Cancel)->text(), "&Finish");
    EXPECT_TRUE(wizard->Button(WizardButton::Back)->isEnabled());
    EXPECT_FALSE(wizard->Button(WizardButton::Next)->isEnabled());
    EXPECT_TRUE(wizard->Button(WizardButton::Cancel)->isEnabled());
    EXPECT_TRUE(wizard->CloseEnabled());

    Click(WizardButton::Cancel);  // Finish quits without a question
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_FALSE(wizard->isVisible());
}

TEST_F(ManualRunTest, FailedUpgradeReturnsToTheTargetPageWithItsEntries) {
    Prepare(true, true);
    auto* port = Find<QRadioButton>(WizardPage::ManualTarget, "portCustom");
    ASSERT_TRUE(Upgrade());
    engine.Tick(UpgradeStatus::Overwriting);
    engine.Post(1, STATE_MANUAL_TARGET);  // after the session's own message
    EXPECT_EQ(State(), STATE_MANUAL_TARGET);
    EXPECT_TRUE(wizard->Page(WizardPage::ManualTarget)->isVisible());
    EXPECT_EQ(wizard->Button(WizardButton::Next)->text(), "&Next >");
    EXPECT_EQ(wizard->Button(WizardButton::Back)->text(), "< &Back");
    EXPECT_EQ(wizard->Button(WizardButton::Cancel)->text(), "Cancel");
    for (WizardButton b : {WizardButton::Back, WizardButton::Next, WizardButton::Cancel})
        EXPECT_TRUE(wizard->Button(b)->isEnabled());
    EXPECT_TRUE(wizard->CloseEnabled());
    EXPECT_FALSE(port->isChecked());
    EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualTarget, "adminName")->text(), "admin");
    EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualTarget, "adminPassword")->text(), "admin");
    EXPECT_TRUE(Find<QCheckBox>(WizardPage::ManualTarget, "backup")->isChecked());
}

TEST_F(ManualRunTest, RetryGoesBackToTheTargetPageWithTheQuestionArmed) {
    Prepare(false, false);
    ASSERT_TRUE(Upgrade());
    engine.Post(1, STATE_MANUAL_RESULT);
    ASSERT_TRUE(OnResultPage());
    EXPECT_FALSE(wizard->Flow().ConfirmQuit());
    Click(WizardButton::Back);  // Re-try
    EXPECT_EQ(State(), STATE_MANUAL_TARGET);
    EXPECT_TRUE(wizard->Flow().ConfirmQuit());
    EXPECT_EQ(wizard->Button(WizardButton::Back)->text(), "< &Back");
    EXPECT_EQ(wizard->Button(WizardButton::Cancel)->text(), "Cancel");
    EXPECT_EQ(Find<Ipv4Edit>(WizardPage::ManualTarget, "address")->Octets(),
              (std::array<std::optional<int>, 4>{10, 0, 0, 5}));
    EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualTarget, "adminName")->text(), "admin");
    ASSERT_TRUE(GoToProgress());
    EXPECT_EQ(ProgressEdit("statusWord")->text(), "");  // the earlier run's word is cleared
    EXPECT_EQ(Find<QProgressBar>(WizardPage::ManualProgress, "progress")->value(), 0);
}

TEST_F(ManualRunTest, EmergencyIndicatorFollowsTheSession) {
    Prepare(false, false);
    ASSERT_TRUE(Upgrade());
    EXPECT_FALSE(wizard->EmergencyIndicator()->isVisible());
    engine.Tick(UpgradeStatus::Uploading, true);
    EXPECT_TRUE(wizard->EmergencyIndicator()->isVisible());
    EXPECT_EQ(wizard->EmergencyIndicator()->size(), QSize(12, 12));
    EXPECT_EQ(wizard->EmergencyIndicator()->grab().toImage().pixelColor(6, 6), QColor(255, 153, 51));
    engine.Post(1, STATE_MANUAL_RESULT);
    ASSERT_TRUE(OnResultPage());
    EXPECT_TRUE(wizard->EmergencyIndicator()->isVisible());  // stays until a later run says otherwise

    Click(WizardButton::Back);
    ASSERT_TRUE(GoToProgress());
    engine.started.reset();
    ASSERT_TRUE(Upgrade());
    engine.Tick(UpgradeStatus::Uploading, false);
    EXPECT_FALSE(wizard->EmergencyIndicator()->isVisible());
}

TEST_F(ManualRunTest, EscapeDuringTheRunDoesNotQuit) {
    Prepare(false, false);
    ASSERT_TRUE(Upgrade());
    boxes.Clear();
    QTest::keyClick(wizard.get(), Qt::Key_Escape);
    wizard->close();
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_TRUE(wizard->isVisible());
}

}  // namespace
}  // namespace xqt::test
