// Saves a picture of the frame on every page into the test output folder, so a person can look
// at the layout.
#include <QCheckBox>
#include <QDir>
#include <QRadioButton>

#include "tests/gui/wizard/WizardTestSupport.h"

namespace xqt::test {
namespace {

class Screenshots : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        const QByteArray env = qgetenv("XQT_TEST_OUTPUT");
        folder = env.isEmpty() ? QDir::current().filePath("test-output") : QString::fromLocal8Bit(env);
        folder = QDir(folder).filePath("wizard");
        ASSERT_TRUE(QDir().mkpath(folder));
    }

    void Save(const char* name) {
        QCoreApplication::processEvents();
        const QString path = QDir(folder).filePath(QString(name) + ".png");
        const QImage image = wizard->grab().toImage();
        EXPECT_EQ(image.size(), QSize(FRAME_WIDTH, FRAME_HEIGHT) * image.devicePixelRatio());
        EXPECT_TRUE(image.save(path, "PNG")) << path.toStdString();
    }

    QString folder;
};

TEST_F(Screenshots, EveryPage) {
    Open();
    Save("0-precautions");
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
    Save("1-agreement");
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Mode, "manual"));
    Save("2-mode");
    Click(WizardButton::Next);
    EnterTarget("10.0.0.5", "admin", "secret");
    Choose(Find<QCheckBox>(WizardPage::ManualTarget, "backup"));
    Save("3-manual-target");
    ASSERT_TRUE(GoToProgress());
    Save("4-manual-progress");
    Click(WizardButton::Next);
    ASSERT_TRUE(WaitFor([&] { return engine.started.has_value() && !wizard->Flow().Busy(); }));
    engine.started->progressBar->SetPosition(4200);
    engine.Tick(UpgradeStatus::Overwriting, true);
    ASSERT_TRUE(WaitFor([&] { return wizard->EmergencyIndicator()->isVisible(); }));
    QTest::qWait(150);  // the bar follows its value on the page's refresh
    Save("5-manual-running");
    engine.probeAnswersAt = 1;
    engine.Post(1, STATE_MANUAL_RESULT);
    ASSERT_TRUE(WaitFor([&] { return wizard->Page(WizardPage::ManualResult)->isVisible(); }));
    Save("6-manual-result");
    Close();

    engine.stopWord = true;
    Open();
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
    Click(WizardButton::Next);
    Click(WizardButton::Next);
    Save("7-auto-targets");
    wizard->SetButtons(ButtonMode::NextEnabled);
    Click(WizardButton::Next);
    Save("8-auto-progress");
}

}  // namespace
}  // namespace xqt::test
