// The manual target page inside the wizard: its initial entries, the port and setup-data controls,
// the messages and focus of Validate, the hidden mode's duplicate-address check, and the refusals
// of the camera check and the serial rules.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <chrono>
#include <thread>

#include "gui/controls/Ipv4Edit.h"
#include "tests/gui/wizard/WizardTestSupport.h"
#include "tests/support/Slowdown.h"
#include "wizard/TargetForm.h"

namespace xqt::test {
namespace {

using platform::MbIcon;
using platform::MbResult;

class ManualTargetPageTest : public WizardTest {
  protected:
    QLineEdit* Port() { return Find<QLineEdit>(WizardPage::ManualTarget, "port"); }
    QRadioButton* PortCustom() { return Find<QRadioButton>(WizardPage::ManualTarget, "portCustom"); }
    QRadioButton* Port80() { return Find<QRadioButton>(WizardPage::ManualTarget, "port80"); }
    QCheckBox* Retain() { return Find<QCheckBox>(WizardPage::ManualTarget, "retain"); }
    QCheckBox* Backup() { return Find<QCheckBox>(WizardPage::ManualTarget, "backup"); }
    QLineEdit* Name() { return Find<QLineEdit>(WizardPage::ManualTarget, "adminName"); }
    QLineEdit* Password() { return Find<QLineEdit>(WizardPage::ManualTarget, "adminPassword"); }
    Ipv4Edit* Address() { return Find<Ipv4Edit>(WizardPage::ManualTarget, "address"); }

    /// Types into whichever widget has the focus, key by key, as a user would; "\b" is Backspace.
    void TypeIntoFocus(const QString& keys) {
        for (QChar c : keys) {
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            if (c == '\b')
                QTest::keyClick(focus, Qt::Key_Backspace);
            else
                QTest::keyClick(focus, c.toLatin1());
        }
    }

    /// Next on the target page and the one message it gave; nothing when it gave none.
    std::optional<platform::RecordingMessageBoxes::Shown> NextRefused() {
        boxes.Clear();
        Click(WizardButton::Next);
        WaitFor([&] { return !wizard->Flow().Busy(); });
        EXPECT_EQ(State(), STATE_MANUAL_TARGET);
        auto shown = boxes.Taken();
        EXPECT_LE(shown.size(), 1u);
        if (shown.empty()) return std::nullopt;
        return shown.back();
    }
};

TEST_F(ManualTargetPageTest, StartsAt192_168_0_100OnPort80WithRetainAndHiddenPassword) {
    Open();
    GoToTarget();
    EXPECT_EQ(Address()->Octets(), (std::array<std::optional<int>, 4>{192, 168, 0, 100}));
    EXPECT_TRUE(Port80()->isChecked());
    EXPECT_EQ(Port()->text(), "1024");
    EXPECT_FALSE(Port()->isEnabled());
    EXPECT_TRUE(Retain()->isChecked());
    EXPECT_FALSE(Backup()->isChecked());
    EXPECT_TRUE(Backup()->isEnabled());
    EXPECT_EQ(Password()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(QApplication::focusWidget(), Address()->Field(0));
    EXPECT_TRUE(wizard->CloseEnabled());
    for (WizardButton b : {WizardButton::Back, WizardButton::Next, WizardButton::Cancel})
        EXPECT_TRUE(wizard->Button(b)->isEnabled());
}

TEST_F(ManualTargetPageTest, NameAndPasswordTakeAtMostSixteenCharacters) {
    Open();
    GoToTarget();
    Name()->setFocus();
    QTest::keyClicks(Name(), "abcdefghijklmnopqrst");
    EXPECT_EQ(Name()->text(), "abcdefghijklmnop");
    Password()->setFocus();
    QTest::keyClicks(Password(), "12345678901234567890");
    EXPECT_EQ(Password()->text(), "1234567890123456");
}

TEST_F(ManualTargetPageTest, AddressFieldsTakeNumbersUpTo255AndMoveOnAtADot) {
    Open();
    GoToTarget();
    for (int i = 0; i < 4; ++i)
        Address()->Field(i)->clear();
    Address()->Field(0)->setFocus();
    TypeIntoFocus("10.0.300");
    EXPECT_EQ(Address()->Field(0)->text(), "10");
    EXPECT_EQ(Address()->Field(1)->text(), "0");
    EXPECT_EQ(Address()->Field(2)->text(), "30");  // 300 is refused at its last digit
    TypeIntoFocus(".255");
    EXPECT_EQ(Address()->Octets(), (std::array<std::optional<int>, 4>{10, 0, 30, 255}));
    TypeIntoFocus("\b\b\b\b\b1");  // Backspace in an empty field goes on in the one before
    EXPECT_EQ(Address()->Octets(), (std::array<std::optional<int>, 4>{10, 0, 31, std::nullopt}));
}

TEST_F(ManualTargetPageTest, AnAddressTypedAsThePageOpensReplacesTheOneShown) {
    Open();
    GoToTarget();
    TypeIntoFocus("127.0.1.8");
    EXPECT_EQ(Address()->Octets(), (std::array<std::optional<int>, 4>{127, 0, 1, 8}));
}

TEST_F(ManualTargetPageTest, TypingADottedAddressOverAFilledOneReplacesEveryField) {
    Open();
    GoToTarget();
    Address()->SetAddress(192, 168, 0, 100);
    Address()->Field(0)->setFocus();
    Address()->Field(0)->selectAll();
    // A third digit moves on with the next field selected; the dot typed next belongs to that move.
    TypeIntoFocus("127.0.1.7");
    EXPECT_EQ(Address()->Octets(), (std::array<std::optional<int>, 4>{127, 0, 1, 7}));
    Address()->Field(0)->setFocus();
    Address()->Field(0)->selectAll();
    TypeIntoFocus("10.20.30.40");
    EXPECT_EQ(Address()->Octets(), (std::array<std::optional<int>, 4>{10, 20, 30, 40}));
}

TEST_F(ManualTargetPageTest, PortRadiosEnableThePortField) {
    Open();
    GoToTarget();
    Choose(PortCustom());
    EXPECT_TRUE(Port()->isEnabled());
    Choose(Port80());
    EXPECT_FALSE(Port()->isEnabled());
}

TEST_F(ManualTargetPageTest, RetainCouplesTheBackupBox) {
    Open();
    GoToTarget();
    Choose(Backup());
    EXPECT_TRUE(Backup()->isChecked());
    Choose(Retain());
    EXPECT_FALSE(Retain()->isChecked());
    EXPECT_FALSE(Backup()->isChecked());
    EXPECT_FALSE(Backup()->isEnabled());
    Choose(Retain());
    EXPECT_TRUE(Backup()->isEnabled());
    EXPECT_FALSE(Backup()->isChecked());
}

TEST_F(ManualTargetPageTest, ValidateReportsTheFirstProblemAndFocusesItsField) {
    Open();
    GoToTarget();
    for (int i = 0; i < 4; ++i)
        Address()->Field(i)->clear();
    Choose(PortCustom());
    Port()->setText("80");
    auto shown = NextRefused();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text, "Input the correct IP address of the target camera.");
    EXPECT_EQ(shown->caption, "Information");
    EXPECT_EQ(shown->icon, MbIcon::Exclamation);
    EXPECT_EQ(QApplication::focusWidget(), Address()->Field(0));

    Address()->Field(3)->setText("9");
    shown = NextRefused();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text, "Input the correct port No. of the target camera.");
    EXPECT_EQ(QApplication::focusWidget(), Port());

    Port()->setText("65536");
    EXPECT_EQ(NextRefused()->text, "Input the correct port No. of the target camera.");
    Port()->setText("");
    EXPECT_EQ(NextRefused()->text, MSG_PORT_NOT_NUMBER);
    Port()->setText("65535");
    shown = NextRefused();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text, "Input the correct name and password.");
    EXPECT_EQ(QApplication::focusWidget(), Name());

    Name()->setText("admin");
    shown = NextRefused();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text, "Input the correct name and password.");
    EXPECT_EQ(QApplication::focusWidget(), Password());
    EXPECT_EQ(engine.Count("CheckCamera"), 0);  // nothing is sent before the entries are valid

    Password()->setText("pw");
    ASSERT_TRUE(GoToProgress());
    ASSERT_EQ(engine.checked.size(), 1u);
    EXPECT_EQ(engine.checked[0].first, "0.0.0.9:65535");
    EXPECT_EQ(engine.checked[0].second, "YWRtaW46cHc=");
}

TEST_F(ManualTargetPageTest, CustomPortAppearsInTheAddressText) {
    Open();
    GoToTarget();
    EnterTarget("10.0.0.5", "admin", "admin");
    Choose(PortCustom());
    Port()->setText("8080");
    ASSERT_TRUE(GoToProgress());
    EXPECT_EQ(wizard->Flow().TargetAddress(), "10.0.0.5:8080");
    EXPECT_EQ(wizard->Flow().TargetCredential(), "YWRtaW46YWRtaW4=");
}

TEST_F(ManualTargetPageTest, CheckRunsOffTheUiThreadUnderTheWaitCursorAndBlocksOtherCommands) {
    Open();
    GoToTarget();
    EnterTarget("10.0.0.5", "admin", "admin");
    engine.CloseGate();
    Click(WizardButton::Next);
    ASSERT_TRUE(WaitFor([&] { return engine.WaitingAtGate(); }));
    bool timerRan = false;
    QTimer::singleShot(10, [&] { timerRan = true; });
    EXPECT_TRUE(WaitFor([&] { return timerRan; }));  // the window keeps running
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_TRUE(wizard->Flow().Busy());
    Click(WizardButton::Next);
    Click(WizardButton::Cancel);
    Click(WizardButton::Back);
    wizard->close();
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(State(), STATE_MANUAL_TARGET);
    EXPECT_TRUE(wizard->isVisible());
    engine.OpenGate();
    ASSERT_TRUE(WaitFor([&] { return State() == STATE_MANUAL_READY; }));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(engine.Count("CheckCamera"), 1);
}

TEST_F(ManualTargetPageTest, ClosingWhileACheckWaitsEndsCleanly) {
    Open();
    GoToTarget();
    EnterTarget("10.0.0.5", "admin", "admin");
    engine.CloseGate();
    Click(WizardButton::Next);
    ASSERT_TRUE(WaitFor([&] { return engine.WaitingAtGate(); }));
    std::thread opener([&] {
        std::this_thread::sleep_for(Allow(std::chrono::milliseconds(30)));
        engine.OpenGate();
    });
    Close();  // waits for the check, then goes without touching its pages
    opener.join();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(engine.Count("EndSession"), 1);
}

class HiddenModeTargetTest : public ManualTargetPageTest {
  protected:
    void SetUp() override {
        ManualTargetPageTest::SetUp();
        DiscoveryEntry a;
        a.mac = "08-00-46-00-00-01";
        a.ipAddress = {10, 0, 0, 5};
        DiscoveryEntry b = a;
        b.mac = "08-00-46-00-00-02";
        b.webPort = 8080;
        DiscoveryEntry c = a;
        c.mac = "08-00-46-00-00-03";
        c.ipAddress = {10, 0, 0, 6};
        engine.found = {a, b, c};
    }
    void EnterHiddenModeAndGoToTarget() {
        Open();
        wizard->Button(WizardButton::Next)->setFocus();
        QTest::keyClick(wizard->Button(WizardButton::Next), Qt::Key_K);
        ASSERT_TRUE(WaitFor([&] { return wizard->Flow().VelmoranMode(); }));
        boxes.Clear();
        GoToTarget();
    }
};

TEST_F(HiddenModeTargetTest, TwoCamerasAtTheAddressLeaveOnlyCancel) {
    EnterHiddenModeAndGoToTarget();
    EnterTarget("10.0.0.5", "", "");  // the duplicate check comes before validation
    Click(WizardButton::Next);
    ASSERT_EQ(boxes.Count(), 1u);
    auto shown = boxes.Taken()[0];
    EXPECT_EQ(shown.text,
              "There is more than one camera with the same IP address.\r\nCannot proceed with the upgrade.");
    EXPECT_EQ(shown.caption, "Error");
    EXPECT_EQ(shown.icon, MbIcon::Stop);
    EXPECT_FALSE(wizard->Button(WizardButton::Next)->isEnabled());
    EXPECT_FALSE(wizard->Button(WizardButton::Back)->isEnabled());
    EXPECT_TRUE(wizard->Button(WizardButton::Cancel)->isEnabled());
    Click(WizardButton::Cancel);  // no question any more
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_FALSE(wizard->isVisible());
}

TEST_F(HiddenModeTargetTest, OneCameraAtTheAddressProceeds) {
    EnterHiddenModeAndGoToTarget();
    EnterTarget("10.0.0.6", "admin", "admin");
    EXPECT_TRUE(GoToProgress());
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(ManualTargetPageTest, WithoutTheHiddenModeDuplicatesAreNotChecked) {
    DiscoveryEntry a;
    a.mac = "08-00-46-00-00-01";
    a.ipAddress = {10, 0, 0, 5};
    DiscoveryEntry b = a;
    b.mac = "08-00-46-00-00-02";
    engine.found = {a, b};
    Open();
    GoToTarget();
    EnterTarget("10.0.0.5", "admin", "admin");
    EXPECT_TRUE(GoToProgress());
}

}  // namespace
}  // namespace xqt::test
