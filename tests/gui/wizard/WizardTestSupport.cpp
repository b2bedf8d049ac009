#include "tests/gui/wizard/WizardTestSupport.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "gui/controls/Ipv4Edit.h"

namespace xqt::test {

namespace {

// One application object for the whole executable, made before the first test and removed last.
class QtApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "wizard_tests";
        static char* argv[] = {name, nullptr};
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

void Choose(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qWait(2);
    }
    return true;
}

void WizardTest::SetUp() {
    InstallWizardResources(res);
    platform::UseResources(res);
}

void WizardTest::TearDown() {
    wizard.reset();
    QCoreApplication::processEvents();
    platform::UseResources(empty);
}

WizardDialog& WizardTest::Open(platform::EngineTiming timing) {
    wizard = std::make_unique<WizardDialog>(engine, &boxes, timing);
    wizard->show();
    wizard->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(wizard.get()));
    return *wizard;
}

void WizardTest::Click(WizardButton button) {
    QTest::mouseClick(wizard->Button(button), Qt::LeftButton);
}

void WizardTest::GoToTarget() {
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Mode, "manual"));
    Click(WizardButton::Next);
    ASSERT_EQ(State(), STATE_MANUAL_TARGET);
}

void WizardTest::EnterTarget(const std::string& address, const std::string& name,
                             const std::string& password) {
    auto* ip = Find<Ipv4Edit>(WizardPage::ManualTarget, "address");
    QStringList parts = QString::fromStdString(address).split('.');
    for (int i = 0; i < 4; ++i)
        ip->Field(i)->setText(i < parts.size() ? parts[i] : QString());
    Find<QLineEdit>(WizardPage::ManualTarget, "adminName")->setText(QString::fromStdString(name));
    Find<QLineEdit>(WizardPage::ManualTarget, "adminPassword")->setText(QString::fromStdString(password));
}

bool WizardTest::GoToProgress() {
    Click(WizardButton::Next);
    return WaitFor([&] { return !wizard->Flow().Busy(); }) && State() == STATE_MANUAL_READY;
}

std::vector<std::string> WizardTest::BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& shown : boxes.Taken())
        texts.push_back(shown.text);
    return texts;
}

}  // namespace xqt::test
