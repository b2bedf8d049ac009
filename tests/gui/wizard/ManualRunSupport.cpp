#include "tests/gui/wizard/ManualRunSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>
#include <cstdlib>
#include <thread>

#include "gui/controls/Ipv4Edit.h"
#include "sim/Sha256.h"

namespace xqt::test {

namespace {

void SetEnv(const char* name, bool had, const std::string& value) {
    if (had) {
        setenv(name, value.c_str(), 1);
    } else {
        unsetenv(name);
    }
}

}  // namespace

void ManualRunTest::SetUp() {
    // Saved configurations go to a folder of the test's own, never to the user's.
    std::string pattern = (std::filesystem::temp_directory_path() / "xqt-manualrun-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dataFolder = pattern;
    if (const char* xdg = std::getenv("XDG_DATA_HOME")) {
        hadXdg_ = true;
        savedXdg_ = xdg;
    }
    if (const char* programFiles = std::getenv("ProgramFiles")) {
        hadProgramFiles_ = true;
        savedProgramFiles_ = programFiles;
    }
    setenv("XDG_DATA_HOME", dataFolder.c_str(), 1);
    unsetenv("ProgramFiles");
    timing = platform::EngineTiming{}.Scaled(kEngineScale);
}

void ManualRunTest::TearDown() {
    wizard.reset();
    engine.reset();
    owner.reset();
    Settle(timing.schedulerPeriod);  // the queued calls of the sessions just gone are served
    if (fleet) fleet->Stop();
    SetEnv("XDG_DATA_HOME", hadXdg_, savedXdg_);
    SetEnv("ProgramFiles", hadProgramFiles_, savedProgramFiles_);
    std::error_code ignored;
    std::filesystem::remove_all(dataFolder, ignored);
}

sim::SimCamera ManualRunTest::Camera(const std::string& ip) {
    sim::SimCamera camera;
    camera.ipText = ip;
    camera.webPort = 0;
    camera.softVersion = "1.10";
    return camera;
}

void ManualRunTest::StartCamera(sim::SimCamera camera) {
    fleet = std::make_unique<sim::SimFleet>(std::vector<sim::SimCamera>{std::move(camera)}, kCameraScale);
    fleet->Start();
}

void ManualRunTest::OpenToTarget() {
    owner = std::make_unique<platform::QtSessionOwner>(boxes);
    DiscoveryOptions discovery;
    // The enquiry goes to a loopback port where nothing answers: this wizard never broadcasts.
    discovery.destination = {boost::asio::ip::make_address_v4("127.0.0.1"), 9};
    discovery.print = [](const std::string&) {};
    discovery.exitProcess = [](int) {};
    ResourceState models;
    models.modelNames = ModelList{"XQT-TR60", "XQT-TR60N", "XQT-TR60P"};
    if (bundle) models.ApplyBundle(*bundle);
    engine = std::make_unique<RealWizardEngine>(models.modelNames, timing, owner.get(), discovery);
    owner->SetTimerHandler([this](int id) { engine->DeliverTimer(id); });
    owner->SetMessageHandler([this](std::int32_t w, std::int32_t l) { engine->DeliverUpgradeMessage(w, l); });
    wizard = std::make_unique<WizardDialog>(*engine, &boxes, timing, nullptr, bundle.get());
    wizard->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wizard.get()));
    auto* word = Find<QLineEdit>(WizardPage::ManualProgress, "statusWord");
    ASSERT_NE(word, nullptr);
    QObject::connect(word, &QLineEdit::textChanged, word, [this](const QString& text) {
        const std::string now = text.toStdString();
        if (statusWords.empty() || statusWords.back() != now) statusWords.push_back(now);
    });

    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Mode, "manual"));
    Click(WizardButton::Next);
    ASSERT_EQ(wizard->Flow().State(), STATE_MANUAL_TARGET);
}

void ManualRunTest::EnterTarget(const std::string& name, const std::string& password, SetupChoice setup) {
    const std::string hostPort = Server().HostPort();
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
    auto* retain = Find<QAbstractButton>(WizardPage::ManualTarget, "retain");
    if (retain->isChecked() != setup.retain) Choose(retain);
    auto* backup = Find<QAbstractButton>(WizardPage::ManualTarget, "backup");
    if (backup->isChecked() != setup.backup) Choose(backup);
    ASSERT_EQ(retain->isChecked(), setup.retain);
    ASSERT_EQ(backup->isChecked(), setup.backup);
}

bool ManualRunTest::StartRun() {
    Click(WizardButton::Next);
    if (!WaitUntil([&] { return !wizard->Flow().Busy(); })) return false;
    if (wizard->Flow().State() != STATE_MANUAL_READY) return false;
    Click(WizardButton::Next);  // Upgrade; the recorded box answers the confirmation with OK
    return WaitUntil([&] { return wizard->Flow().State() != STATE_MANUAL_READY; });
}

bool ManualRunTest::RunEnded() const {
    // State 6 comes before the restore and the restart watch; only the page says the run is over.
    const auto state = wizard->Flow().State();
    return !wizard->Flow().Busy() &&
           ((state == STATE_MANUAL_RESULT && wizard->Page(WizardPage::ManualResult)->isVisible()) ||
            (state == STATE_MANUAL_TARGET && wizard->Page(WizardPage::ManualTarget)->isVisible()));
}

bool ManualRunTest::WaitForRunEnd(std::chrono::milliseconds limit) {
    return WaitUntil([&] { return RunEnded(); }, limit);
}

void ManualRunTest::Click(WizardButton button) {
    QTest::mouseClick(wizard->Button(button), Qt::LeftButton);
}

void ManualRunTest::Choose(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

std::string ManualRunTest::ButtonText(WizardButton button) const {
    return wizard->Button(button)->text().toStdString();
}

bool ManualRunTest::ButtonEnabled(WizardButton button) const {
    return wizard->Button(button)->isEnabled();
}

std::string ManualRunTest::StatusWord() const {
    return Find<QLineEdit>(WizardPage::ManualProgress, "statusWord")->text().toStdString();
}

std::string ManualRunTest::ResultText() const {
    return Find<QTextEdit>(WizardPage::ManualResult, "result")->toPlainText().toStdString();
}

std::vector<std::string> ManualRunTest::BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& shown : boxes.Taken())
        if (shown.text != "Proceed to the firmware upgrade?") texts.push_back(shown.text);
    return texts;
}

std::vector<std::filesystem::path> ManualRunTest::SavedFiles() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dataFolder))
        if (entry.is_regular_file() && entry.path().extension() == ".cfg") files.push_back(entry.path());
    return files;
}

std::string ManualRunTest::ImageSha() const {
    const ResourceState& res = wizard->Resources();
    const auto& bytes = *res.slotData[static_cast<std::size_t>(res.slotIndex)];
    return sim::Sha256Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), ImageSize()));
}

std::uint64_t ManualRunTest::ImageSize() const {
    const ResourceState& res = wizard->Resources();
    return res.slotSize[static_cast<std::size_t>(res.slotIndex)];
}

void ManualRunTest::SaveScreenshot(const std::string& name) const {
    const QByteArray output = qgetenv("XQT_TEST_OUTPUT");
    if (output.isEmpty()) return;
    const QString folder = QDir(QString::fromLocal8Bit(output)).filePath("manualrun");
    if (!QDir().mkpath(folder)) return;
    wizard->grab().save(QDir(folder).filePath(QString::fromStdString(name) + ".png"), "PNG");
}

}  // namespace xqt::test
