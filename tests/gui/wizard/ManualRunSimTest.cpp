// The manual upgrade as the user runs it: the real wizard, engine and Qt session owner against a
// simulated camera. What counts is what the camera received (image, configuration) and what the
// user saw (pages, buttons, status words, boxes, the result text), and what is left on disk.
#include <QAbstractButton>
#include <QLineEdit>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "camera/BundleSignature.h"
#include "camera/BundleWriter.h"
#include "camera/FirmwareBundle.h"
#include "fleet/UpgradeHistory.h"
#include "gui/controls/Ipv4Edit.h"
#include "sim/ConfigHandler.h"
#include "tests/gui/wizard/ManualRunSupport.h"

namespace xqt::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* SAVING = "Saving config file";
constexpr const char* UPLOADING = "Uploading";
constexpr const char* OVERWRITING = "Overwriting";
constexpr const char* REBOOTING = "Rebooting";
constexpr const char* SEARCHING = "Missing target.(Network error) Searching now.";
constexpr const char* LOADING = "Loading config file";
constexpr const char* RECONFIGURING = "Reconfiguring";
constexpr const char* RESTORE_PATH_TEXT = "/command/all-configuration.cgi";

bool Contains(const std::vector<std::string>& words, const std::string& word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

/// True when `wanted` appears in `words` in this order (other words may lie between).
bool InOrder(const std::vector<std::string>& words, const std::vector<std::string>& wanted) {
    auto at = words.begin();
    for (const std::string& word : wanted) {
        at = std::find(at, words.end(), word);
        if (at == words.end()) return false;
        ++at;
    }
    return true;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ManualUpgradeTest : public ManualRunTest {
  protected:
    /// The save failed with its box: back on the target page, entries kept, nothing uploaded or saved.
    void ExpectSaveFailed();

    /// The camera took exactly one image: the wizard's chosen slot, whole.
    void ExpectImageTaken(std::size_t uploads = 1) {
        const auto records = Server().Upgrade().Records();
        ASSERT_EQ(records.size(), uploads);
        EXPECT_TRUE(records.back().accepted) << records.back().problem;
        EXPECT_EQ(records.back().imageSize, ImageSize());
        EXPECT_EQ(records.back().sha256, ImageSha());
    }

    /// `confirmed`: the camera reported the new version itself.
    void ExpectResultPage(bool confirmed = true) {
        EXPECT_EQ(wizard->Flow().State(), STATE_MANUAL_RESULT);
        EXPECT_TRUE(wizard->Page(WizardPage::ManualResult)->isVisible());
        EXPECT_EQ(ButtonText(WizardButton::Back), "&Re-try");
        EXPECT_EQ(ButtonText(WizardButton::Cancel), "&Finish");
        EXPECT_TRUE(ButtonEnabled(WizardButton::Back));
        EXPECT_FALSE(ButtonEnabled(WizardButton::Next));
        EXPECT_TRUE(ButtonEnabled(WizardButton::Cancel));
        EXPECT_TRUE(wizard->CloseEnabled());
        const std::string number = wizard->Resources().versionLabel.substr(3);
        const std::string text = ResultText();
        EXPECT_EQ(text.rfind("Firmware program was successfully updated to the camera.", 0), 0u) << text;
        EXPECT_TRUE(text.ends_with("\"" + number + (confirmed ? "\"." : "\" (not confirmed)."))) << text;
        EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualResult, "address")->text().toStdString(),
                  Server().HostPort());
    }

    /// The entries of the target page as the user left them.
    void ExpectEntriesKept(const std::string& name, const std::string& password, SetupChoice setup) {
        const std::string hostPort = Server().HostPort();
        const auto colon = hostPort.find(':');
        const QStringList parts = QString::fromStdString(hostPort.substr(0, colon)).split('.');
        auto* address = Find<Ipv4Edit>(WizardPage::ManualTarget, "address");
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(address->Field(i)->text(), parts[i]);
        EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualTarget, "port")->text().toStdString(),
                  hostPort.substr(colon + 1));
        EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualTarget, "adminName")->text().toStdString(), name);
        EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualTarget, "adminPassword")->text().toStdString(), password);
        EXPECT_EQ(Find<QAbstractButton>(WizardPage::ManualTarget, "retain")->isChecked(), setup.retain);
        EXPECT_EQ(Find<QAbstractButton>(WizardPage::ManualTarget, "backup")->isChecked(), setup.backup);
    }

    /// The camera answers the configuration download only after a pause, so the saving step is
    /// on screen long enough to be seen.
    static sim::SimCamera SlowConfigCamera(const std::string& ip) {
        sim::SimCamera camera = Camera(ip);
        camera.http.onlyFor = {"/home/l4/xqt-tr60.cfg"};
        camera.http.answerDelayMs = 10000;
        return camera;
    }
};

/// The upgrade history the wizard wrote beside the Configurations folder.
std::vector<HistoryEntry> HistoryIn(const std::filesystem::path& dataFolder) {
    return ReadHistory((dataFolder / "VEXO/XQT FirmwareUpgrade/history.jsonl").string())
        .value_or(std::vector<HistoryEntry>{});
}

TEST_F(ManualUpgradeTest, WithoutRetainingTheImageIsWrittenAndNoConfigurationIsTouched) {
    StartCamera(Camera("127.0.34.1"));
    OpenToTarget();
    EnterTarget("admin", "admin", {false, false});
    ASSERT_TRUE(StartRun());
    EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualProgress, "setupData")->text().toStdString(),
              "Discard the current settings.");
    EXPECT_FALSE(ButtonEnabled(WizardButton::Back));
    EXPECT_FALSE(ButtonEnabled(WizardButton::Next));
    EXPECT_FALSE(ButtonEnabled(WizardButton::Cancel));
    EXPECT_FALSE(wizard->CloseEnabled());
    ASSERT_TRUE(WaitForRunEnd());

    ExpectResultPage();
    ExpectImageTaken();
    EXPECT_EQ(Server().Camera().softVersion, wizard->Resources().versionLabel.substr(3));
    EXPECT_TRUE(InOrder(statusWords, {UPLOADING, OVERWRITING})) << testing::PrintToString(statusWords);
    EXPECT_FALSE(Contains(statusWords, SAVING));
    EXPECT_FALSE(Contains(statusWords, LOADING));
    EXPECT_TRUE(Server().Config().Restores().empty());
    for (const auto& request : Server().Requests())
        EXPECT_NE(request.request.target, "/home/l4/xqt-tr60.cfg");
    EXPECT_TRUE(SavedFiles().empty());
    EXPECT_TRUE(BoxTexts().empty()) << testing::PrintToString(BoxTexts());
}

TEST_F(ManualUpgradeTest, ABundleIsWrittenWholeAndItsVersionConfirmed) {
    // A bundle as `xqt-cli firmware pack` writes it, with an image that is not the placeholder.
    std::vector<std::uint8_t> image(200 * 1024);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 13 + (i >> 10));
    const std::string sha = Sha256Hex(image);
    BundleManifest manifest;
    manifest.version = "2.05";
    manifest.models = {"XQT-TR60"};
    manifest.images = {{"", "tr60.bin", image.size(), sha}};
    const std::string text = WriteManifest(manifest);
    const auto file = dataFolder / "tr60-2.05.xqtfw";
    const Result<void> written =
        WriteBundle(file, {{"manifest.json", {text.begin(), text.end()}}, {"tr60.bin", image}});
    ASSERT_TRUE(written) << written.error();
    TrustSettings noKeys;
    noKeys.keyDirectory.clear();
    const BundleLoad load = LoadFirmwareBundle(file, noKeys);
    ASSERT_TRUE(load.Usable()) << load.error;
    bundle = load.bundle;
    sim::SimCamera camera = Camera("127.0.34.9");
    camera.imageVersions[sha] = "2.05";
    StartCamera(camera);

    OpenToTarget();
    EXPECT_EQ(Find<QLineEdit>(WizardPage::Precautions, "banner")->text().toStdString(),
              "XQT-TR60 ver2.05 Firmware Upgrade");
    EnterTarget("admin", "admin", {false, false});
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForRunEnd());
    ExpectResultPage();
    ExpectImageTaken();
    EXPECT_EQ(ImageSha(), sha) << "exactly the bundle's bytes";
    EXPECT_EQ(Server().Camera().softVersion, "2.05");
    EXPECT_NE(ResultText().find("2.05"), std::string::npos) << ResultText();
}

TEST_F(ManualUpgradeTest, RetainAndBackupRestoresTheConfigurationAndKeepsTheSavedFile) {
    sim::SimCamera camera = SlowConfigCamera("127.0.34.2");
    camera.configuration = "[System]\r\nCameraName=Gate 4\r\n";
    StartCamera(camera);
    OpenToTarget();
    EnterTarget("admin", "admin", {true, true});
    ASSERT_TRUE(StartRun());
    EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualProgress, "setupData")->text().toStdString(),
              "Retain and backup the current settings.");
    bool pictured = false;
    ASSERT_TRUE(WaitUntil([&] {
        if (!pictured && StatusWord() == OVERWRITING &&
            wizard->Page(WizardPage::ManualProgress)->isVisible()) {
            pictured = true;
            SaveScreenshot("manual-progress-mid-run");
        }
        return RunEnded();
    }));

    ExpectResultPage();
    ExpectImageTaken();
    EXPECT_TRUE(InOrder(statusWords, {SAVING, UPLOADING, OVERWRITING, LOADING, RECONFIGURING}))
        << testing::PrintToString(statusWords);
    const auto restores = Server().Config().Restores();
    ASSERT_EQ(restores.size(), 1u);
    EXPECT_EQ(restores[0].target, RESTORE_PATH_TEXT);
    EXPECT_EQ(restores[0].bytes, "[System]\r\nCameraName=Gate 4\r\n");
    const auto files = SavedFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename(), "xqt-tr60.1000001.cfg");
    EXPECT_EQ(ReadFile(files[0]), "[System]\r\nCameraName=Gate 4\r\n");
    EXPECT_EQ(files[0].parent_path().parent_path(), dataFolder / "VEXO/XQT FirmwareUpgrade/Configurations");
    EXPECT_TRUE(BoxTexts().empty()) << testing::PrintToString(BoxTexts());
    const std::vector<HistoryEntry> history = HistoryIn(dataFolder);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].tool, "xqt-upgrade");
    EXPECT_EQ(history[0].address.rfind("127.0.34.2:", 0), 0u) << history[0].address;
    EXPECT_EQ(history[0].serial, "1000001");
    EXPECT_EQ(history[0].outcome, Outcome::Upgraded);
    EXPECT_EQ(history[0].versionAfter, "1.23");
    EXPECT_EQ(history[0].savedFile, files[0].string());
}

TEST_F(ManualUpgradeTest, RetainOnlyDeletesTheSavedFileOnceTheConfigurationIsBack) {
    StartCamera(SlowConfigCamera("127.0.34.3"));
    OpenToTarget();
    EnterTarget("admin", "admin", {true, false});
    ASSERT_TRUE(StartRun());
    EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualProgress, "setupData")->text().toStdString(),
              "Retain the current settings.");
    // The file exists while the upgrade runs ...
    ASSERT_TRUE(
        WaitUntil([&] { return !SavedFiles().empty() || wizard->Flow().State() != STATE_MANUAL_RUNNING; }));
    EXPECT_EQ(SavedFiles().size(), 1u);
    ASSERT_TRUE(WaitForRunEnd());

    // ... and is gone once the camera has it back.
    ExpectResultPage();
    ExpectImageTaken();
    ASSERT_EQ(Server().Config().Restores().size(), 1u);
    EXPECT_EQ(Server().Config().Restores()[0].bytes, sim::DEFAULT_CONFIGURATION);
    EXPECT_TRUE(SavedFiles().empty());
    EXPECT_TRUE(InOrder(statusWords, {SAVING, UPLOADING, LOADING, RECONFIGURING}))
        << testing::PrintToString(statusWords);
    EXPECT_TRUE(BoxTexts().empty()) << testing::PrintToString(BoxTexts());
}

TEST_F(ManualUpgradeTest, ARestoreThatNeverSucceedsIsReportedOnTheResultPageAndTheFileStays) {
    sim::SimCamera camera = Camera("127.0.34.4");
    camera.config.failRestores = 4;
    StartCamera(camera);
    OpenToTarget();
    EnterTarget("admin", "admin", {true, false});
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForRunEnd());

    ExpectResultPage();
    ExpectImageTaken();
    EXPECT_EQ(Server().Config().RestoreAttempts(), 4);
    EXPECT_TRUE(Server().Config().Restores().empty());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Fault to upload configuration!"});
    // Not put back, so not deleted, although the user asked for deletion.
    ASSERT_EQ(SavedFiles().size(), 1u);
    const std::vector<HistoryEntry> history = HistoryIn(dataFolder);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].outcome, Outcome::SettingsNotRestored);
    EXPECT_EQ(history[0].savedFile, SavedFiles()[0].string());
}

TEST_F(ManualUpgradeTest, AFailedUpgradeReturnsToTheTargetPageWithItsEntriesKept) {
    sim::SimCamera camera = Camera("127.0.34.5");
    camera.upgrade.comeBackVersion = "1.99";  // verification finds another version
    StartCamera(camera);
    OpenToTarget();
    EnterTarget("admin", "admin", {true, true});
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForRunEnd());

    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Version up error."});
    EXPECT_EQ(boxes.Taken().back().caption, "Information");
    EXPECT_EQ(boxes.Taken().back().icon, platform::MbIcon::Stop);
    EXPECT_EQ(wizard->Flow().State(), STATE_MANUAL_TARGET);
    EXPECT_TRUE(wizard->Page(WizardPage::ManualTarget)->isVisible());
    EXPECT_EQ(ButtonText(WizardButton::Next), "&Next >");
    EXPECT_EQ(ButtonText(WizardButton::Back), "< &Back");
    EXPECT_EQ(ButtonText(WizardButton::Cancel), "Cancel");
    EXPECT_TRUE(ButtonEnabled(WizardButton::Next));
    EXPECT_TRUE(ButtonEnabled(WizardButton::Back));
    EXPECT_TRUE(ButtonEnabled(WizardButton::Cancel));
    EXPECT_TRUE(wizard->CloseEnabled());
    ExpectEntriesKept("admin", "admin", {true, true});
    ExpectImageTaken();
    // Nothing is put back after a failed upgrade; the saved file stays for the user.
    EXPECT_FALSE(Contains(statusWords, LOADING));
    EXPECT_TRUE(Server().Config().Restores().empty());
    EXPECT_EQ(SavedFiles().size(), 1u);
}

TEST_F(ManualUpgradeTest, AConfigurationThatCannotBeSavedStopsBeforeTheUpload) {
    sim::SimCamera camera = Camera("127.0.34.6");
    camera.config.htmlPage = true;
    StartCamera(camera);
    OpenToTarget();
    EnterTarget("admin", "admin", {true, true});
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForRunEnd());
    ExpectSaveFailed();
}

TEST_F(ManualUpgradeTest, ACameraThatTricklesItsConfigurationFailsTheSaveWithinTheBound) {
    sim::SimCamera camera = Camera("127.0.34.16");
    camera.http.onlyFor = {"/home/l4/xqt-tr60.cfg"};
    camera.http.pieceSize = 1;
    camera.http.pieceDelayMs = 50000;  // each byte inside the step limit: minutes for the whole file
    StartCamera(camera);
    OpenToTarget();
    EnterTarget("admin", "admin", {true, true});
    ASSERT_TRUE(StartRun());
    // The transfer's bound ends the save after its grace and one step; unbounded, it took minutes.
    ASSERT_TRUE(WaitForRunEnd(Allow(2 * (timing.transferGrace + timing.streamReceiveTimeout))));
    ExpectSaveFailed();
}

void ManualUpgradeTest::ExpectSaveFailed() {
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Cannot save camera's configuration!"});
    EXPECT_EQ(wizard->Flow().State(), STATE_MANUAL_TARGET);
    EXPECT_TRUE(ButtonEnabled(WizardButton::Next));
    ExpectEntriesKept("admin", "admin", {true, true});
    EXPECT_TRUE(Server().Upgrade().Records().empty());
    EXPECT_TRUE(SavedFiles().empty());
}

TEST_F(ManualUpgradeTest, ReTryLeadsBackToTheTargetPageAndUpgradesAgain) {
    StartCamera(Camera("127.0.34.7"));
    OpenToTarget();
    EnterTarget("admin", "admin", {false, false});
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForRunEnd());
    ExpectResultPage();

    Click(WizardButton::Back);  // Re-try
    EXPECT_EQ(wizard->Flow().State(), STATE_MANUAL_TARGET);
    EXPECT_TRUE(wizard->Page(WizardPage::ManualTarget)->isVisible());
    EXPECT_EQ(ButtonText(WizardButton::Back), "< &Back");
    EXPECT_EQ(ButtonText(WizardButton::Cancel), "Cancel");
    ExpectEntriesKept("admin", "admin", {false, false});

    statusWords.clear();
    ASSERT_TRUE(StartRun());
    // The camera now runs the version the first run wrote.
    EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualProgress, "currentVersion")->text().toStdString(),
              wizard->Resources().versionLabel);
    ASSERT_TRUE(WaitForRunEnd());
    ExpectResultPage();
    ExpectImageTaken(2);
    EXPECT_TRUE(InOrder(statusWords, {UPLOADING, OVERWRITING})) << testing::PrintToString(statusWords);
    EXPECT_TRUE(BoxTexts().empty()) << testing::PrintToString(BoxTexts());
}

TEST_F(ManualUpgradeTest, ACameraThatDropsTheUploadIsAwaitedThenVerifiedAndGetsItsConfigurationBack) {
    sim::SimCamera camera = Camera("127.0.34.9");
    camera.upgrade.dropUploadAfterBytes = std::int64_t{1} << 40;  // after the whole body
    StartCamera(camera);
    OpenToTarget();
    EnterTarget("admin", "admin", {true, true});
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForRunEnd());

    ExpectResultPage();
    const auto records = Server().Upgrade().Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].dropped);
    EXPECT_EQ(records[0].sha256, ImageSha());
    EXPECT_TRUE(InOrder(statusWords, {UPLOADING, SEARCHING, LOADING, RECONFIGURING}))
        << testing::PrintToString(statusWords);
    EXPECT_EQ(Server().Config().Restores().size(), 1u);
    EXPECT_EQ(SavedFiles().size(), 1u);
    EXPECT_TRUE(BoxTexts().empty()) << testing::PrintToString(BoxTexts());
}

TEST_F(ManualUpgradeTest, ACameraInEmergencyStateShowsTheIndicatorAndTakesTheImage) {
    sim::SimCamera camera = Camera("127.0.34.8");
    camera.emergency = true;
    StartCamera(camera);
    OpenToTarget();
    EnterTarget("admin", "admin", {false, false});
    ASSERT_TRUE(StartRun());
    EXPECT_EQ(Find<QLineEdit>(WizardPage::ManualProgress, "currentVersion")->text().toStdString(), "unknown");
    EXPECT_TRUE(WaitUntil([&] { return wizard->EmergencyIndicator()->isVisible(); }));
    ASSERT_TRUE(WaitForRunEnd());

    ExpectResultPage(false);  // a camera in emergency state is never asked for its new version
    ExpectImageTaken();
    EXPECT_TRUE(BoxTexts().empty()) << testing::PrintToString(BoxTexts());
}

TEST_F(ManualUpgradeTest, TheStatusWordShowsTheRebootWhileTheSessionDoesNotTick) {
    timing.firstVerifyWait =
        Allow(timing.firstVerifyWait * 5 / 2);  // the session's tick rests after the stream
    StartCamera(Camera("127.0.34.10"));
    OpenToTarget();
    EnterTarget("admin", "admin", {false, false});
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitUntil([&] { return engine->ReadSession().status == UpgradeStatus::Rebooting; }));
    // The page shows the word while the session still rests, not once it ticks again.
    ASSERT_TRUE(WaitUntil([&] {
        return StatusWord() == REBOOTING || engine->ReadSession().status != UpgradeStatus::Rebooting;
    }));
    EXPECT_EQ(StatusWord(), REBOOTING);
    ASSERT_TRUE(WaitForRunEnd());
    ExpectResultPage();
}

}  // namespace
}  // namespace xqt::test
