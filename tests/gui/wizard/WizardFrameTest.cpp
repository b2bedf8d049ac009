// The frame: first page and title, quitting with and without the question, Enter and Escape, the
// agreement gate, the mode choice, the hidden mode, the button modes, the automatic path's page
// states, discovery timing and the order of destruction.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "camera/FirmwareBundle.h"
#include "gui/wizard/IntroPages.h"
#include "tests/gui/wizard/WizardTestSupport.h"

namespace xqt::test {
namespace {

using platform::MbButtons;
using platform::MbIcon;
using platform::MbResult;

class WizardFrameTest : public WizardTest {};

TEST_F(WizardFrameTest, ABundleGivesTitleBannerModelsAndImagesItsOwn) {
    FirmwareBundle bundle;
    bundle.manifest.version = "2.0";
    bundle.manifest.models = {"XQT-TR70"};
    bundle.manifest.images = {{"", "image.bin", 3, std::string(64, 'a')}};
    bundle.images = {std::make_shared<const std::vector<std::uint8_t>>(3, 7)};
    wizard = std::make_unique<WizardDialog>(engine, &boxes, FastTiming(), nullptr, &bundle);
    EXPECT_EQ(wizard->windowTitle(), "Vexo XQT-TR70 ver2.0 Firmware Upgrade");
    EXPECT_EQ(Find<QLineEdit>(WizardPage::Precautions, "banner")->text(), "XQT-TR70 ver2.0 Firmware Upgrade");
    EXPECT_EQ(wizard->Resources().versionLabel, "ver2.0");
    EXPECT_FALSE(wizard->Resources().modelNames[1]) << "the embedded models are gone";
    EXPECT_EQ(wizard->Resources().slotData[0], bundle.images[0]) << "shared, not copied";
}

TEST_F(WizardFrameTest, OpensOnThePrecautionsPageWithBannerTitleAndButtons) {
    Open();
    EXPECT_EQ(State(), STATE_PRECAUTIONS);
    EXPECT_EQ(wizard->windowTitle(), "Vexo XQT-TR60 ver1.23 Firmware Upgrade");
    EXPECT_FALSE(wizard->windowIcon().isNull());
    EXPECT_EQ(Find<QLineEdit>(WizardPage::Precautions, "banner")->text(),
              "XQT-TR60 ver1.23 Firmware Upgrade");
    EXPECT_EQ(
        Find<QPlainTextEdit>(WizardPage::Precautions, "precautions")->toPlainText(),
        "Operating Precautions\n\n\nYou are strongly recommended that the target camera should be in the "
        "same segment. ");
    EXPECT_EQ(wizard->Button(WizardButton::Next)->text(), "&Next >");
    EXPECT_EQ(wizard->Button(WizardButton::Back)->text(), "< &Back");
    EXPECT_EQ(wizard->Button(WizardButton::Cancel)->text(), "Cancel");
    EXPECT_FALSE(wizard->Button(WizardButton::Back)->isEnabled());
    EXPECT_TRUE(wizard->Button(WizardButton::Next)->isEnabled());
    EXPECT_FALSE(wizard->EmergencyIndicator()->isVisible());
    EXPECT_EQ(wizard->size(), QSize(FRAME_WIDTH, FRAME_HEIGHT));
    int visiblePages = 0;
    for (int i = 0; i < PAGE_COUNT; ++i) {
        QWidget* page = wizard->Page(static_cast<WizardPage>(i));
        EXPECT_EQ(page->geometry(), wizard->Page(WizardPage::Precautions)->geometry());
        visiblePages += page->isVisible() ? 1 : 0;
    }
    EXPECT_EQ(visiblePages, 1);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(WizardFrameTest, CancelOnTheFirstThreePagesQuitsWithoutAsking) {
    for (int page = 0; page < 3; ++page) {
        Open();
        if (page >= 1) {
            Click(WizardButton::Next);
            Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
        }
        if (page >= 2) Click(WizardButton::Next);
        ASSERT_EQ(State(), page);
        Click(WizardButton::Cancel);
        EXPECT_FALSE(wizard->isVisible()) << page;
        EXPECT_EQ(wizard->result(), QDialog::Rejected);
        EXPECT_EQ(boxes.Count(), 0u) << page;
        Close();
    }
}

TEST_F(WizardFrameTest, OnceTheModePageIsLeftCancelAsksAndNoStays) {
    Open();
    GoToTarget();
    boxes.QueueAnswer(MbResult::No);
    Click(WizardButton::Cancel);
    ASSERT_EQ(boxes.Count(), 1u);
    auto shown = boxes.Taken()[0];
    EXPECT_EQ(shown.text, "Quit the firmware upgrade?");
    EXPECT_EQ(shown.caption, "Information");
    EXPECT_EQ(shown.buttons, MbButtons::YesNo);
    EXPECT_EQ(shown.icon, MbIcon::Question);
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(State(), STATE_MANUAL_TARGET);
    EXPECT_EQ(engine.Count("StopDiscovery"), 0);
}

TEST_F(WizardFrameTest, YesToTheQuestionStopsDiscoveryAndCloses) {
    Open();
    GoToTarget();
    boxes.QueueAnswer(MbResult::Yes);
    Click(WizardButton::Cancel);
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_EQ(engine.Count("StopDiscovery"), 1);
    Close();
    EXPECT_EQ(engine.Count("StopDiscovery"), 1);  // the handshake is not repeated on destruction
}

TEST_F(WizardFrameTest, EscapeAndTheCloseBoxAreCancel) {
    Open();
    GoToTarget();
    boxes.QueueAnswer(MbResult::No);
    QTest::keyClick(wizard.get(), Qt::Key_Escape);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Quit the firmware upgrade?"});
    boxes.QueueAnswer(MbResult::No);
    wizard->close();
    EXPECT_EQ(boxes.Count(), 2u);
    EXPECT_TRUE(wizard->isVisible());
    boxes.QueueAnswer(MbResult::Yes);
    wizard->close();
    EXPECT_FALSE(wizard->isVisible());
}

TEST_F(WizardFrameTest, EnterFollowsTheFocusedButton) {
    Open();
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
    Click(WizardButton::Next);
    ASSERT_EQ(State(), STATE_MODE);

    wizard->Button(WizardButton::Back)->setFocus();
    QTest::keyClick(wizard->Button(WizardButton::Back), Qt::Key_Return);
    EXPECT_EQ(State(), STATE_AGREEMENT);

    wizard->Button(WizardButton::Next)->setFocus();
    QTest::keyClick(wizard->Button(WizardButton::Next), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(State(), STATE_MODE);

    // Enter on a radio button is Next, the default.
    Choose(Find<QRadioButton>(WizardPage::Mode, "manual"));
    QTest::keyClick(Find<QRadioButton>(WizardPage::Mode, "manual"), Qt::Key_Return);
    EXPECT_EQ(State(), STATE_MANUAL_TARGET);

    boxes.QueueAnswer(MbResult::No);
    wizard->Button(WizardButton::Cancel)->setFocus();
    QTest::keyClick(wizard->Button(WizardButton::Cancel), Qt::Key_Return);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Quit the firmware upgrade?"});
    EXPECT_EQ(State(), STATE_MANUAL_TARGET);
}

TEST_F(WizardFrameTest, EnterInsideThePrecautionsIsNextButInsideTheAgreementTextItIsNot) {
    Open();
    auto* precautions = Find<QPlainTextEdit>(WizardPage::Precautions, "precautions");
    precautions->setFocus();
    QTest::keyClick(precautions, Qt::Key_Return);
    ASSERT_EQ(State(), STATE_AGREEMENT);
    Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
    auto* text = Find<QPlainTextEdit>(WizardPage::Agreement, "agreement");
    text->setFocus();
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(State(), STATE_AGREEMENT);
}

TEST_F(WizardFrameTest, AgreementGatesNextAndKeepsTheChoice) {
    Open();
    Click(WizardButton::Next);
    ASSERT_EQ(State(), STATE_AGREEMENT);
    auto* next = wizard->Button(WizardButton::Next);
    auto* agree = Find<QRadioButton>(WizardPage::Agreement, "agree");
    auto* notAgree = Find<QRadioButton>(WizardPage::Agreement, "notAgree");
    EXPECT_EQ(agree->text(), "&Agree");
    EXPECT_EQ(notAgree->text(), "N&ot agree");
    EXPECT_TRUE(notAgree->isChecked());
    EXPECT_FALSE(next->isEnabled());
    EXPECT_TRUE(Find<QPlainTextEdit>(WizardPage::Agreement, "agreement")
                    ->toPlainText()
                    .startsWith("License Agreement\n\n1. Section 1.\n2. Section 2.\n"));

    Click(WizardButton::Next);  // disabled: nothing happens
    EXPECT_EQ(State(), STATE_AGREEMENT);
    Choose(agree);
    EXPECT_TRUE(next->isEnabled());
    Choose(notAgree);
    EXPECT_FALSE(next->isEnabled());
    Choose(agree);

    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Mode, "manual"));
    Click(WizardButton::Back);
    EXPECT_EQ(State(), STATE_AGREEMENT);
    EXPECT_TRUE(next->isEnabled());
    Click(WizardButton::Next);
    EXPECT_TRUE(Find<QRadioButton>(WizardPage::Mode, "manual")->isChecked());

    Click(WizardButton::Back);
    Choose(notAgree);
    Click(WizardButton::Back);
    Click(WizardButton::Next);
    EXPECT_FALSE(next->isEnabled());  // back on the page with "Not agree" chosen
}

TEST_F(WizardFrameTest, ModePageShowsItsTextsAndChoosesThePath) {
    Open();
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
    Click(WizardButton::Next);
    EXPECT_EQ(Find<QRadioButton>(WizardPage::Mode, "automatic")->text(), "Automatic mode");
    EXPECT_TRUE(Find<QRadioButton>(WizardPage::Mode, "automatic")->isChecked());
    EXPECT_EQ(Find<QRadioButton>(WizardPage::Mode, "manual")->text(), "Manual mode");
    EXPECT_FALSE(wizard->Flow().ConfirmQuit());

    engine.receiverRunning = true;
    Click(WizardButton::Next);  // automatic, discovery still running: Next waits for the page
    EXPECT_EQ(State(), STATE_AUTO_TARGETS);
    EXPECT_TRUE(wizard->Flow().ConfirmQuit());
    EXPECT_FALSE(wizard->Button(WizardButton::Next)->isEnabled());
    EXPECT_TRUE(wizard->Page(WizardPage::AutoTargets)->isVisible());

    Click(WizardButton::Back);
    EXPECT_EQ(State(), STATE_MODE);
    EXPECT_TRUE(wizard->Button(WizardButton::Next)->isEnabled());
    // The stop flag is up: the frame leaves Next to the page, which finds nothing ready to upgrade.
    engine.stopWord = true;
    engine.receiverRunning = false;
    Click(WizardButton::Next);
    EXPECT_EQ(State(), STATE_AUTO_TARGETS);
    EXPECT_FALSE(wizard->Button(WizardButton::Next)->isEnabled());
}

TEST_F(WizardFrameTest, AutomaticPathStatesAndButtonModes) {
    engine.stopWord = true;
    Open();
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
    Click(WizardButton::Next);
    Click(WizardButton::Next);
    ASSERT_EQ(State(), STATE_AUTO_TARGETS);
    wizard->SetButtons(
        ButtonMode::NextEnabled);  // as the targets page does once the ticked cameras have credentials
    Click(WizardButton::Next);
    EXPECT_EQ(State(), STATE_AUTO_READY);
    EXPECT_TRUE(wizard->Page(WizardPage::AutoProgress)->isVisible());

    auto* next = wizard->Button(WizardButton::Next);
    auto* back = wizard->Button(WizardButton::Back);
    auto* cancel = wizard->Button(WizardButton::Cancel);
    wizard->SetButtons(ButtonMode::NextDisabled);
    EXPECT_FALSE(next->isEnabled());
    wizard->SetButtons(ButtonMode::Upgrade);
    EXPECT_EQ(next->text(), "&Upgrade");
    EXPECT_TRUE(next->isEnabled());
    wizard->SetButtons(ButtonMode::Abort);
    EXPECT_EQ(State(), STATE_AUTO_RUNNING);
    EXPECT_EQ(next->text(), "&Abort");
    EXPECT_FALSE(back->isEnabled());
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_FALSE(wizard->CloseEnabled());
    EXPECT_FALSE(wizard->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(wizard->Flow().AbortMode());

    // While Cancel is disabled neither Escape nor the close box can quit the running upgrade.
    QTest::keyClick(wizard.get(), Qt::Key_Escape);
    wizard->close();
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(boxes.Count(), 0u);

    Click(WizardButton::Next);  // Abort
    EXPECT_EQ(State(), STATE_AUTO_ABORTED);
    EXPECT_FALSE(next->isEnabled());

    wizard->SetButtons(ButtonMode::Finish);
    EXPECT_EQ(cancel->text(), "&Finish");
    EXPECT_TRUE(cancel->isEnabled());
    EXPECT_TRUE(wizard->CloseEnabled());
    EXPECT_TRUE(wizard->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(wizard->Flow().FinishMode());
    EXPECT_FALSE(wizard->Flow().ConfirmQuit());
    wizard->SetButtons(ButtonMode::NextEnabled);  // ignored while finishing
    EXPECT_FALSE(next->isEnabled());

    back->setEnabled(true);     // as the progress page does once the run is over
    Click(WizardButton::Back);  // 10 -> 7: texts back, flags cleared, enablement untouched
    EXPECT_EQ(State(), STATE_AUTO_TARGETS);
    EXPECT_EQ(next->text(), "&Next >");
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_FALSE(next->isEnabled());
    EXPECT_FALSE(wizard->Flow().AbortMode());
    EXPECT_FALSE(wizard->Flow().FinishMode());

    wizard->SetButtons(ButtonMode::NextEnabled);
    EXPECT_TRUE(next->isEnabled());
    wizard->SetButtons(ButtonMode::CancelOnly);
    EXPECT_FALSE(next->isEnabled());
    EXPECT_FALSE(back->isEnabled());
    EXPECT_TRUE(cancel->isEnabled());
    wizard->SetButtons(static_cast<ButtonMode>(6));  // no such mode
    wizard->SetButtons(static_cast<ButtonMode>(-1));
    EXPECT_TRUE(cancel->isEnabled());
    Click(WizardButton::Cancel);  // mode 5 disarmed the question
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_FALSE(wizard->isVisible());
}

TEST_F(WizardFrameTest, GrayingTheCloseBoxKeepsAModalRunGoing) {
    wizard = std::make_unique<WizardDialog>(engine, &boxes, FastTiming());
    bool stillShown = false;
    QTimer::singleShot(0, [&] {
        wizard->SetButtons(ButtonMode::Abort);
        QTimer::singleShot(20, [&] {
            stillShown = wizard->isVisible();
            wizard->SetButtons(ButtonMode::Finish);
            Click(WizardButton::Cancel);
        });
    });
    EXPECT_EQ(wizard->exec(), QDialog::Rejected);
    EXPECT_TRUE(stillShown);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(WizardFrameTest, NextInFinishModeEndsTheWizardAsOk) {
    engine.stopWord = true;
    Open();
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
    Click(WizardButton::Next);
    Click(WizardButton::Next);
    Click(WizardButton::Next);
    wizard->SetButtons(ButtonMode::Finish);
    wizard->Button(WizardButton::Next)->setEnabled(true);  // as a page might
    Click(WizardButton::Next);
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_EQ(wizard->result(), QDialog::Accepted);
}

TEST_F(WizardFrameTest, KOnTheFocusedNextButtonOfTheFirstPageEntersTheHiddenMode) {
    Open();
    auto* next = wizard->Button(WizardButton::Next);
    next->setFocus();
    QTest::keyClick(next, Qt::Key_K);
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 1; }));
    auto shown = boxes.Taken()[0];
    EXPECT_EQ(shown.text,
              "I become 'Velmoran' mode.\nThis mode would be released from using IP address strictly.");
    EXPECT_EQ(shown.buttons, MbButtons::Ok);
    EXPECT_TRUE(wizard->Flow().VelmoranMode());
    QTest::keyClick(next, Qt::Key_K);
    EXPECT_TRUE(WaitFor([&] { return boxes.Count() == 2; }));  // every time
    QTest::keyClick(next, Qt::Key_J);
    QTest::qWait(20);
    EXPECT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(State(), STATE_PRECAUTIONS);
}

TEST_F(WizardFrameTest, KOnAnyOtherPageDoesNothing) {
    Open();
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
    auto* next = wizard->Button(WizardButton::Next);
    next->setFocus();
    QTest::keyClick(next, Qt::Key_K);
    QTest::qWait(20);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_FALSE(wizard->Flow().VelmoranMode());
}

TEST_F(WizardFrameTest, DiscoveryEnquiresAtStartAgainAfterOnePeriodAndStopsAfterTwo) {
    platform::EngineTiming timing = FastTiming();
    timing.discoveryEnquiryInterval = std::chrono::milliseconds(100);
    timing.discoveryDuration = std::chrono::milliseconds(200);
    Open(timing);
    EXPECT_EQ(engine.Calls(), (std::vector<std::string>{"StartDiscovery", "SendEnquiry"}));
    ASSERT_TRUE(WaitFor([&] { return engine.Count("SendEnquiry") == 2; }));
    EXPECT_EQ(engine.Count("RequestDiscoveryStop"), 0);
    ASSERT_TRUE(WaitFor([&] { return engine.Count("RequestDiscoveryStop") == 1; }));
    QTest::qWait(250);
    EXPECT_EQ(engine.Count("SendEnquiry"), 2);
    EXPECT_EQ(engine.Count("RequestDiscoveryStop"), 1);
}

TEST_F(WizardFrameTest, DestructionStopsDiscoveryBeforeTheSessionGoes) {
    Open();
    Click(WizardButton::Cancel);
    Close();
    auto calls = engine.Calls();
    auto stop = std::find(calls.begin(), calls.end(), "StopDiscovery");
    auto end = std::find(calls.begin(), calls.end(), "EndSession");
    ASSERT_NE(stop, calls.end());
    ASSERT_NE(end, calls.end());
    EXPECT_LT(stop, end);
}

}  // namespace
}  // namespace xqt::test
