// The automatic sequence with a configuration backup: saved before the upload, posted back after
// the verified upgrade, then kept or deleted as asked; and its failures.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "SequenceSupport.h"
#include "sim/ConfigHandler.h"

namespace xqt::test {
namespace {

using ::testing::ElementsAre;
using S = UpgradeStatus;
namespace fs = std::filesystem;

constexpr std::size_t kBackupImageSize = 256 * 1024;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class BackupSequenceTest : public SequenceTest {
  protected:
    BackupSequenceTest() {
        std::string pattern = (fs::temp_directory_path() / "xqt-upgrade-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        folder_ = pattern;
        if (const char* old = std::getenv("ProgramFiles")) oldProgramFiles_ = old;
        setenv("ProgramFiles", folder_.c_str(), 1);  // saved configurations go here
        backup.store(1);
        timeStamp.store(1796565900);
    }
    ~BackupSequenceTest() override {
        EndSession();
        if (oldProgramFiles_.empty()) {
            unsetenv("ProgramFiles");
        } else {
            setenv("ProgramFiles", oldProgramFiles_.c_str(), 1);
        }
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    /// Runs an automatic upgrade with a backup to its end.
    std::vector<S> Run(std::size_t imageSize = kBackupImageSize) {
        CameraSession& session = MakeSession(Mode::Automatic);
        session.SetImage(Image(imageSize), static_cast<std::uint32_t>(imageSize), "ver1.23");
        StatusChain chain(session);
        EXPECT_TRUE(session.StartUpgrade());
        EXPECT_TRUE(WaitForEnd());
        return chain.Stop();
    }

    std::string folder_;
    std::string oldProgramFiles_;
};

TEST_F(BackupSequenceTest, TheConfigurationGoesBackAndTheSavedFileIsDeletedWhenAsked) {
    StartFleet(Camera("127.0.7.1"));
    const std::string original = server().Camera().configuration;
    deleteAfterRestore.store(1);
    EXPECT_THAT(Run(), ElementsAre(S::SavingConfig, S::Uploading, S::Overwriting, S::Rebooting,
                                   S::LoadingConfig, S::Overwriting, S::Reconfiguring, S::Completed));
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{1, 6}));
    EXPECT_EQ(value.load(), PROGRESS_MAX);
    EXPECT_TRUE(session_->finished.load());
    ASSERT_NE(session_->configStore, nullptr);
    EXPECT_TRUE(session_->configStore->restored.load());
    const std::string saved = session_->configStore->localPath;
    EXPECT_EQ(saved.rfind(folder_ + "/VEXO/XQT FirmwareUpgrade/Configurations/", 0), 0u) << saved;
    EXPECT_FALSE(fs::exists(saved));
    const auto restores = server().Config().Restores();
    ASSERT_EQ(restores.size(), 1u);
    EXPECT_EQ(restores[0].target, "/command/all-configuration.cgi");
    EXPECT_EQ(restores[0].bytes, original);
    EXPECT_EQ(server().Upgrade().Records().size(), 1u);
}

TEST_F(BackupSequenceTest, TheSavedFileStaysWhenTheUserKeepsABackup) {
    StartFleet(Camera("127.0.7.2"));
    const std::string original = server().Camera().configuration;
    deleteAfterRestore.store(0);
    const auto chain = Run();
    EXPECT_EQ(chain.back(), S::Completed);
    ASSERT_NE(session_->configStore, nullptr);
    EXPECT_TRUE(session_->configStore->restored.load());
    const std::string saved = session_->configStore->localPath;
    EXPECT_EQ(ReadFile(saved), original);
    struct stat info {};
    ASSERT_EQ(stat(saved.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a saved configuration holds the camera's secrets";
}

TEST_F(BackupSequenceTest, APanTiltCameraIsRestoredThroughThePresetPath) {
    sim::SimCamera camera = Camera("127.0.7.3");
    camera.panTilt = true;
    StartFleet(camera);
    EXPECT_EQ(Run().back(), S::Completed);
    const auto restores = server().Config().Restores();
    ASSERT_EQ(restores.size(), 1u);
    EXPECT_EQ(restores[0].target, "/command/all-configuration-preset.cgi");
}

TEST_F(BackupSequenceTest, ARefusedBackupEndsInError6WithoutAnyUpload) {
    sim::SimCamera camera = Camera("127.0.7.4");
    camera.config.htmlPage = true;
    StartFleet(camera);
    EXPECT_THAT(Run(), ElementsAre(S::SavingConfig, S::Error6));
    EXPECT_EQ(session_->failure.load(), FailureCode(UpgradeFailure::ConfigNotSaved));
    EXPECT_TRUE(server().Upgrade().Records().empty());
    for (const auto& request : server().Requests())
        EXPECT_NE(request.request.target, "/command/versionup.cgi");
    EXPECT_TRUE(Messages().empty());
    ASSERT_NE(session_->configStore, nullptr);
    EXPECT_FALSE(fs::exists(session_->configStore->localPath)) << "no partial configuration is left";
}

TEST_F(BackupSequenceTest, ARestoreThatFailsFourTimesKeepsTheFileAndTheSequenceGoesOn) {
    sim::SimCamera camera = Camera("127.0.7.5");
    camera.config.failRestores = 10;
    StartFleet(camera);
    const std::string original = server().Camera().configuration;
    deleteAfterRestore.store(1);
    EXPECT_EQ(Run().back(), S::Completed);
    EXPECT_EQ(server().Config().RestoreAttempts(), 4);
    EXPECT_TRUE(server().Config().Restores().empty());
    ASSERT_NE(session_->configStore, nullptr);
    EXPECT_FALSE(session_->configStore->restored.load());
    EXPECT_EQ(ReadFile(session_->configStore->localPath), original) << "never deleted unless restored";
}

TEST_F(BackupSequenceTest, AfterALostConnectionTheConfigurationIsRestoredToo) {
    sim::SimCamera camera = Camera("127.0.7.6");
    camera.upgrade.dropUploadAfterBytes = std::int64_t{1} << 40;
    StartFleet(camera);
    EXPECT_THAT(Run(), ElementsAre(S::SavingConfig, S::Uploading, S::Overwriting, S::Searching,
                                   S::LoadingConfig, S::Overwriting, S::Reconfiguring, S::Completed));
    EXPECT_THAT(Messages(), ElementsAre(UpgradeMessage{0, 1}));
    EXPECT_EQ(server().Config().Restores().size(), 1u);
}

TEST_F(BackupSequenceTest, ReconfigurationEndsCompletedWhenTheCameraNeverAnswersAgain) {
    sim::SimCamera camera = Camera("127.0.7.7");
    camera.config.reconfigureMs = 10'000'000;  // silent for good after the restore
    StartFleet(camera);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run().back(), S::Completed);
    EXPECT_GE(std::chrono::steady_clock::now() - start, Timing().reconfigLimit);
    EXPECT_EQ(value.load(), PROGRESS_MAX);
}

// ---- Faults, each through a whole automatic sequence with a backup ------------------------------

// One fault and what it must end in; a field left out takes the most common value.
struct Fault {
    const char* name;
    void (*knob)(sim::SimCamera&);
    S final;
    bool confirmed = false;  // the camera itself reported the new version
    int flashed = 0;         // firmware requests the camera took
    int restored = 0;        // configurations the camera took back
    bool fileKept = false;   // the saved configuration is still on disk (deletion was asked for)
    int boundMs = 3000;      // the sequence ends within this long (scaled time)
    std::size_t imageSize = kBackupImageSize;
};

std::ostream& operator<<(std::ostream& out, const Fault& fault) {
    return out << fault.name;
}

// Scaled x0.01: step limit 600 ms, transfer bound 600 ms + 640 ms per MiB, watchdog 1.8 s.
const Fault kFaults[] = {
    {.name = "None",
     .knob = [](sim::SimCamera&) {},
     .final = S::Completed,
     .confirmed = true,
     .flashed = 1,
     .restored = 1,
     .boundMs = 6000},
    {.name = "SilentCamera",
     .knob = [](sim::SimCamera& c) { c.http.neverAnswer = true; },
     .final = S::Error6},
    {.name = "ResetConnection",
     .knob = [](sim::SimCamera& c) { c.http.resetConnection = true; },
     .final = S::Error6},
    {.name = "HtmlInsteadOfConfiguration",
     .knob = [](sim::SimCamera& c) { c.config.htmlPage = true; },
     .final = S::Error6},
    {.name = "ConfigurationTrickles",
     .knob =
         [](sim::SimCamera& c) {
             c.http.onlyFor = {"/home/l4/xqt-tr60.cfg"};
             c.http.pieceSize = 1;
             c.http.pieceDelayMs = 50000;  // each byte within the 600 ms step limit
         },
     .final = S::Error6},
    {.name = "UploadReadSlowly",
     .knob =
         [](sim::SimCamera& c) {
             c.upgrade.slowReadBytes = 64;
             c.upgrade.slowReadPauseMs = 10000;  // each read within the step limit
         },
     .final = S::Error1,
     .fileKept = true,
     .boundMs = 6000,
     .imageSize = 8u << 20},  // more than the socket buffers take at once
    {.name = "UploadRefusedWith401",
     .knob = [](sim::SimCamera& c) { c.upgrade.answerStatus = 401; },
     .final = S::Error1,
     .fileKept = true},
    {.name = "UploadRefusedWith500OnTheImagesVersion",
     .knob =
         [](sim::SimCamera& c) {
             c.upgrade.answerStatus = 500;
             c.softVersion = "1.23";
         },
     .final = S::Error1,
     .fileKept = true},
    {.name = "BrokenStream",
     .knob = [](sim::SimCamera& c) { c.upgrade.breakStreamAfterSteps = 3; },
     .final = S::Error2,
     .flashed = 1,
     .fileKept = true,
     .boundMs = 4000},
    {.name = "RefusesConnectionsForTwoMinutesAfterTheReboot",
     .knob = [](sim::SimCamera& c) { c.upgrade.refuseAfterRebootMs = 120000; },
     .final = S::Completed,
     .confirmed = true,
     .flashed = 1,
     .restored = 1,
     .boundMs = 8000},
    {.name = "NeverBack",
     .knob = [](sim::SimCamera& c) { c.upgrade.neverComeBack = true; },
     .final = S::Completed,
     .flashed = 1,
     .fileKept = true,
     .boundMs = 6000},
    {.name = "RestoreRefused",
     .knob = [](sim::SimCamera& c) { c.config.restoreStatus = 500; },
     .final = S::Completed,
     .confirmed = true,
     .flashed = 1,
     .fileKept = true,
     .boundMs = 8000},
    // Nothing after the reboot tells which camera answers: the settings are withheld, the file kept.
    {.name = "NeitherSerialNorMacToTellTheCamera",
     .knob =
         [](sim::SimCamera& c) {
             c.serial.clear();
             c.mac.clear();
         },
     .final = S::Completed,
     .confirmed = true,
     .flashed = 1,
     .fileKept = true,
     .boundMs = 8000},
    {.name = "RestoreAnsweredWithARedirect",
     .knob = [](sim::SimCamera& c) { c.config.restoreStatus = 302; },
     .final = S::Completed,
     .confirmed = true,
     .flashed = 1,
     .restored = 1,
     .boundMs = 8000},
};

class FaultTableTest : public BackupSequenceTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FaultTableTest, EndsAsDocumentedWithinItsBoundAndLosesNoConfiguration) {
    const Fault& fault = GetParam();
    sim::SimCamera camera = Camera("127.0.7.20");
    fault.knob(camera);
    StartFleet(camera);
    const std::string original = server().Camera().configuration;
    deleteAfterRestore.store(1);
    const auto start = std::chrono::steady_clock::now();
    const auto chain = Run(fault.imageSize);
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_FALSE(chain.empty());
    EXPECT_EQ(chain.back(), fault.final);
    EXPECT_LT(took.count(), fault.boundMs);
    if (fault.final != S::Completed) {
        EXPECT_EQ(std::count(chain.begin(), chain.end(), S::Completed), 0);
    }
    EXPECT_EQ(std::count(chain.begin(), chain.end(), S::Searching), 0) << "no fault here loses the link";
    EXPECT_EQ(session_->verified.load(), fault.confirmed);

    int flashed = 0;
    for (const auto& record : server().Upgrade().Records())
        flashed += record.accepted;
    EXPECT_EQ(flashed, fault.flashed);
    const auto restores = server().Config().Restores();
    EXPECT_EQ(static_cast<int>(restores.size()), fault.restored);
    for (const auto& restore : restores)
        EXPECT_EQ(restore.bytes, original);
    if (fault.final == S::Error6) return;  // nothing was saved
    ASSERT_NE(session_->configStore, nullptr);
    EXPECT_EQ(fs::exists(session_->configStore->localPath), fault.fileKept);
    if (fault.fileKept) {
        EXPECT_EQ(ReadFile(session_->configStore->localPath), original);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTableTest, ::testing::ValuesIn(kFaults),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- Cameras that share a serial number ------------------------------------------------------------

TEST_F(BackupSequenceTest, CamerasWithEqualOrNoSerialsEachGetTheirOwnConfigurationBack) {
    // Equal serials, and no serial at all; the sessions know only the discovery serial.
    for (const std::string serial : {"1000001", ""}) {
        for (const int keep : {0, 1}) {
            SCOPED_TRACE("serial \"" + serial + "\", backup " + std::to_string(keep));
            std::vector<sim::SimCamera> cameras;
            for (int i = 0; i < 2; ++i) {
                sim::SimCamera camera = Camera("127.0.7." + std::to_string(30 + i));
                camera.serial = serial;
                camera.mac = "08:00:46:07:00:" + std::to_string(30 + i);
                camera.configuration = "[System]\r\nCameraName=camera " + std::to_string(i) + "\r\n";
                cameras.push_back(camera);
            }
            sim::SimFleet fleet(cameras, kScale);
            fleet.Start();
            deleteAfterRestore.store(keep ? 0 : 1);
            std::vector<std::unique_ptr<CameraSession>> sessions;
            std::atomic<std::int32_t> values[2]{};
            for (int i = 0; i < 2; ++i) {
                SessionConfig config;
                config.mode = SessionMode::Automatic;
                config.owner = &owner;
                config.hostPort = fleet.At(i).HostPort();
                config.credential = kCredential;
                config.modelList = ModelList{"XQT-TR60"};
                config.slot = i;
                config.timing = Timing();
                config.backupFlag = &backup;
                config.deleteFlag = &deleteAfterRestore;
                config.timeStamp = &timeStamp;
                config.serialText = serial.substr(0, 3);  // as cut by discovery
                sessions.push_back(std::make_unique<CameraSession>(config));
                sessions[i]->progressValue = &values[i];
                // The start inquiries learn each camera's MAC, which names it after the reboot
                // where the serials cannot.
                sessions[i]->inquiredMac.Set(cameras[i].mac);
                EXPECT_TRUE(sessions[i]->CheckModelAndVersion(sessions[i]->Inquire(INQ_SYSTEM, 2s), false));
                sessions[i]->SetImage(Image(kBackupImageSize), kBackupImageSize, "ver1.23");
            }
            owner.SetTimerHandler([&sessions](int id) { sessions.at(id & 0xFF)->OnSessionTimer(id); });
            for (auto& session : sessions)
                ASSERT_TRUE(session->StartUpgrade());
            for (auto& session : sessions)
                ASSERT_TRUE(WaitUntil([&] { return !session->IsWorkerRunning(); }, RunLimit()));
            owner.Call([this] { owner.SetTimerHandler({}); });

            std::set<std::string> paths;
            for (int i = 0; i < 2; ++i) {
                EXPECT_EQ(sessions[i]->status.load(), static_cast<std::int32_t>(S::Completed));
                const auto restores = fleet.At(i).Config().Restores();
                ASSERT_EQ(restores.size(), 1u);
                EXPECT_EQ(restores[0].bytes, cameras[i].configuration) << "camera " << i;
                const std::string path = sessions[i]->configStore->localPath;
                paths.insert(path);
                EXPECT_EQ(fs::exists(path), keep == 1);
                if (keep) {
                    EXPECT_EQ(ReadFile(path), cameras[i].configuration);
                }
            }
            EXPECT_EQ(paths.size(), 2u) << "one file for each camera";
            sessions.clear();
            timeStamp.fetch_add(60);  // the next round saves into a folder of its own
        }
    }
}

}  // namespace
}  // namespace xqt::test
