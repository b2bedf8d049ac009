// The automatic sequence with a configuration backup: saved before the upload, posted back after
// the verified upgrade, then kept or deleted as asked; and its failures.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "SequenceSupport.h"
#include "sim/ConfigHandler.h"

namespace xqt::test {
namespace {

using ::testing::ElementsAre;
using S = UpgradeStatus;
namespace fs = std::filesystem;

constexpr std::size_t kImageSize = 256 * 1024;

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
    std::vector<S> Run() {
        CameraSession& session = MakeSession(Mode::Automatic);
        session.SetImage(Image(kImageSize), kImageSize, "ver1.23");
        StatusChain chain(session);
        EXPECT_TRUE(session.StartUpgrade());
        EXPECT_TRUE(WaitForEnd(15s));
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
    EXPECT_EQ(session_->failure.load(), static_cast<std::int32_t>(UpgradeFailure::ConfigNotSaved));
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

}  // namespace
}  // namespace xqt::test
