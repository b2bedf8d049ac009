// xqt-cli upgrade as a script runs it against a simulated camera, in scaled time: the status lines,
// the final JSON result and one exit code per outcome.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "sim/SimFleet.h"
#include "tests/cli/CliRunSupport.h"

namespace xqt::test {
namespace {

namespace fs = std::filesystem;

using CliRun = CliRunOf<nlohmann::json>;

class UpgradeCommandTest : public ::testing::Test {
  protected:
    void Start(sim::SimCamera camera) {
        camera.webPort = 0;
        fleet_ = std::make_unique<sim::SimFleet>(std::vector<sim::SimCamera>{camera}, 0.01);
        fleet_->Start();
    }

    CliRun Upgrade(const std::string& address, const std::string& options,
                   const std::string& password = "admin", const std::string& timeScale = "0.05") {
        const std::string command = "ProgramFiles='" + folder_ + "' XQT_PASSWORD='" + password + "' " +
                                    XQT_CLI + " upgrade " + address + " --user admin --time-scale " +
                                    timeScale + " " + options + " </dev/null 2>&1";
        return RunShell(command);
    }

    /// The upgrade history as `xqt-cli history --json` lists it.
    std::vector<nlohmann::json> History() {
        return RunShell("ProgramFiles='" + folder_ + "' " + XQT_CLI + " history --json").lines;
    }

    std::vector<std::string> Statuses(const CliRun& run) {
        std::vector<std::string> words;
        for (const auto& line : run.lines) {
            if (line.value("event", "") == "status") words.push_back(line.value("status", ""));
        }
        return words;
    }

    std::string hostPort() { return fleet_->At(0).HostPort(); }

    ScratchFolder scratch_{"xqt-cli"};
    const std::string& folder_ = scratch_.Path();
    std::unique_ptr<sim::SimFleet> fleet_;
};

sim::SimCamera At(const std::string& ip) {
    sim::SimCamera camera;
    camera.ipText = ip;
    return camera;
}

TEST_F(UpgradeCommandTest, AVerifiedUpgradeWithRestoreExitsZero) {
    Start(At("127.0.8.2"));
    const CliRun run = Upgrade(hostPort(), "--retain --json");
    ASSERT_EQ(run.exitCode, 0) << run.text;
    EXPECT_EQ(Statuses(run),
              (std::vector<std::string>{"Prepare", "Saving config file", "Uploading", "Overwriting",
                                        "Rebooting", "Completed", "Loading config file", "Reconfiguring"}));
    const nlohmann::json& result = run.lines.back();
    EXPECT_EQ(result["event"], "result");
    EXPECT_EQ(result["verified"], true);
    EXPECT_EQ(result.at("confirmed"), true);
    EXPECT_EQ(result["reportedVersion"], "1.23");
    EXPECT_EQ(result["newVersion"], "1.23");
    EXPECT_EQ(result["currentVersion"], "1.10");
    EXPECT_EQ(result["configRestored"], true);
    EXPECT_FALSE(fs::exists(result["savedFile"].get<std::string>())) << "deleted: --backup was not given";
    EXPECT_EQ(fleet_->At(0).Config().Restores().size(), 1u);
    EXPECT_EQ(run.text.find("admin"), std::string::npos) << "the password is never printed";

    const std::vector<nlohmann::json> history = History();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0]["address"], hostPort());
    EXPECT_EQ(history[0]["outcome"], "upgraded");
    EXPECT_EQ(history[0]["versionAfter"], "1.23");
    EXPECT_TRUE(history[0]["configFile"].is_null()) << "the saved file was deleted";
}

TEST_F(UpgradeCommandTest, PlainOutputNamesEachStatusOnItsOwnLine) {
    Start(At("127.0.8.3"));
    const CliRun run = Upgrade(hostPort(), "--retain --backup");
    ASSERT_EQ(run.exitCode, 0) << run.text;
    const std::size_t uploading = run.text.find("\nUploading\n");
    EXPECT_NE(uploading, std::string::npos) << run.text;
    EXPECT_NE(run.text.find("\nOverwriting\n", uploading), std::string::npos) << run.text;
    EXPECT_NE(run.text.find("\nprogress "), std::string::npos) << run.text;
    EXPECT_NE(run.text.find("(restored)"), std::string::npos) << run.text;
    EXPECT_EQ(run.text.find('\r'), std::string::npos) << "no bar redrawn when not a terminal";
}

TEST_F(UpgradeCommandTest, EachFailureHasItsExitCode) {
    sim::SimCamera html = At("127.0.8.4");
    html.config.htmlPage = true;
    Start(html);
    CliRun run = Upgrade(hostPort(), "--retain --json");
    EXPECT_EQ(run.exitCode, 6) << run.text;
    EXPECT_TRUE(fleet_->At(0).Upgrade().Records().empty());

    fleet_->At(0).Update([](sim::SimCamera& c) {
        c.config.htmlPage = false;
        c.upgrade.comeBackVersion = "9.99";
    });
    run = Upgrade(hostPort(), "--json");
    EXPECT_EQ(run.exitCode, 8) << run.text;
    EXPECT_EQ(run.lines.back()["reportedVersion"], "9.99") << "what the camera said, failure or not";

    fleet_->At(0).Update([](sim::SimCamera& c) {
        c.config.failRestores = 10;
        c.upgrade.comeBackVersion = "";
    });
    run = Upgrade(hostPort(), "--retain --json");
    EXPECT_EQ(run.exitCode, 11) << run.text;
    EXPECT_TRUE(fs::exists(run.lines.back()["savedFile"].get<std::string>())) << "kept when not restored";

    EXPECT_EQ(Upgrade(hostPort(), "--json", "wrong").exitCode, 4);
    EXPECT_EQ(Upgrade("127.0.8.4:1", "--json").exitCode, 3);
    EXPECT_EQ(Upgrade("10.1.2.3", "--json").exitCode, 2) << "--time-scale only for loopback cameras";
    EXPECT_EQ(Upgrade(hostPort(), "--backup").exitCode, 2);
    for (const char* scale : {"1e300", "inf", "nan", "0", "0.0001", "11"})
        EXPECT_EQ(Upgrade("127.0.8.4:1", "--json", "admin", scale).exitCode, 2) << "--time-scale " << scale;
}

// The single-camera commands take no address that is no camera's, and no file named for two jobs:
// exit 2 with the reason, before the password is read and before the camera is asked anything.
TEST_F(UpgradeCommandTest, NonCameraAddressesAndSharedFilesAreRefusedFirst) {
    Start(At("127.0.8.4"));
    const std::string pw = folder_ + "/pw", history = folder_ + "/VEXO/XQT FirmwareUpgrade/history.jsonl";
    fs::create_directories(fs::path(history).parent_path());
    for (const std::string& file : {pw, history}) {
        std::ofstream(file) << "admin\n";
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    }
    const struct {
        std::string command, says;
    } cases[] = {
        {"upgrade 224.0.0.1", "224.0.0.1 is a multicast address (224.0.0.0/4), not a camera's"},
        {"inquire 255.255.255.255:8080", "is the broadcast address 255.255.255.255, not a camera's"},
        {"config save 0.0.0.0", "0.0.0.0 is a \"this network\" address (0.0.0.0/8), not a camera's"},
        {"upgrade 240.0.0.1", "240.0.0.1 is a reserved address (240.0.0.0/4), not a camera's"},
        {"upgrade " + hostPort() + " --password-file '" + pw + "' --firmware '" + pw + "'",
         "--password-file and --firmware name the same file"},
        {"upgrade " + hostPort() + " --password-file '" + history + "'",
         "--password-file and the upgrade history name the same file"},
        {"config restore " + hostPort() + " '" + pw + "' --password-file '" + pw + "'",
         "--password-file and FILE name the same file"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunShell("ProgramFiles='" + folder_ + "' " + XQT_CLI + " " + c.command +
                                    " --user admin --no-prompt --time-scale 0.05 </dev/null 2>&1");
        EXPECT_EQ(run.exitCode, 2) << c.command << "\n" << run.text;
        EXPECT_NE(run.text.find(c.says), std::string::npos) << c.command << "\n" << run.text;
    }
    EXPECT_TRUE(fleet_->At(0).Upgrade().Records().empty());
    EXPECT_TRUE(fleet_->At(0).Config().Restores().empty());
}

// As batch does, upgrade leaves a camera at the image's version alone: nothing written, nothing in
// the history, exit 0; --force flashes it all the same.
TEST_F(UpgradeCommandTest, ACameraAtTheImagesVersionIsLeftAloneUnlessForced) {
    sim::SimCamera camera = At("127.0.8.7");
    camera.softVersion = "1.23";
    Start(camera);
    const CliRun plain = Upgrade(hostPort(), "--retain");
    EXPECT_EQ(plain.exitCode, 0) << plain.text;
    EXPECT_NE(plain.text.find("already at 1.23"), std::string::npos) << plain.text;
    const CliRun json = Upgrade(hostPort(), "--json");
    EXPECT_EQ(json.exitCode, 0) << json.text;
    ASSERT_FALSE(json.lines.empty()) << json.text;
    EXPECT_EQ(json.lines.back()["reason"], "current");
    EXPECT_TRUE(fleet_->At(0).Upgrade().Records().empty());
    EXPECT_TRUE(History().empty());

    const CliRun forced = Upgrade(hostPort(), "--force --json");
    EXPECT_EQ(forced.exitCode, 0) << forced.text;
    EXPECT_EQ(forced.lines.back()["verified"], true);
    EXPECT_EQ(fleet_->At(0).Upgrade().Records().size(), 1u);
    EXPECT_EQ(History().size(), 1u);
}

// The watchdog ends a sequence whose verification is still undecided as Completed, with the image's
// version taken as reported; nothing that is shown may call that version confirmed. (At a scale of
// 0.03 the camera has 1.8 s to answer the upload, enough also in sanitizer builds.)
TEST_F(UpgradeCommandTest, AVersionTheCameraNeverReportedIsNotConfirmed) {
    sim::SimCamera camera = At("127.0.8.6");
    camera.upgrade.neverComeBack = true;
    Start(camera);
    const CliRun json = Upgrade(hostPort(), "--json", "admin", "0.03");
    ASSERT_EQ(json.exitCode, 10) << json.text;
    EXPECT_EQ(Statuses(json).back(), "Completed");
    EXPECT_EQ(json.lines.back().at("confirmed"), false);
    EXPECT_EQ(json.lines.back()["verified"], false);
    EXPECT_EQ(json.lines.back()["failure"], "not-verified");
    EXPECT_EQ(json.lines.back()["reportedVersion"], "") << "the camera never reported one after the upgrade";

    Start(camera);  // the first one never answers again
    const CliRun plain = Upgrade(hostPort(), "", "admin", "0.03");
    ASSERT_EQ(plain.exitCode, 10) << plain.text;
    EXPECT_EQ(plain.text.find("camera reports"), std::string::npos) << plain.text;
    EXPECT_NE(plain.text.find("not confirmed by the camera"), std::string::npos) << plain.text;
    const std::vector<nlohmann::json> history = History();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[1]["outcome"], "unconfirmed");
    EXPECT_TRUE(history[1]["versionAfter"].is_null());
}

// After a lost connection, only a camera that never answers again "did not come back"; one that comes
// back with another version (here its old one) failed the upgrade.
TEST_F(UpgradeCommandTest, ALostConnectionEndsByWhatTheCameraSaysAfterwards) {
    struct Case {
        bool neverComeBack;
        const char* comeBackVersion;
        int exitCode;
        const char* failure;
        const char* reportedVersion;
    };
    for (const Case& c :
         {Case{true, "", 9, "not-back", ""}, Case{false, "1.10", 8, "upgrade-error", "1.10"}}) {
        SCOPED_TRACE(c.failure);
        sim::SimCamera camera = At("127.0.8.5");
        camera.upgrade.dropUploadAfterBytes = std::int64_t{1} << 40;
        camera.upgrade.neverComeBack = c.neverComeBack;
        camera.upgrade.comeBackVersion = c.comeBackVersion;
        Start(camera);
        // 240 lost-link ticks and 20 unanswered verification attempts: faster time than the others,
        // but not so fast that the inquiries before the upgrade race a busy machine (at 0.003 they
        // had 60 ms, which a loaded simulator missed).
        const CliRun run = Upgrade(hostPort(), "--json", "admin", "0.01");
        EXPECT_EQ(run.exitCode, c.exitCode) << run.text;
        EXPECT_EQ(run.lines.back()["failure"], c.failure);
        EXPECT_EQ(run.lines.back()["reportedVersion"], c.reportedVersion);
    }
}

}  // namespace
}  // namespace xqt::test
