// xqt-cli config save | restore against simulated cameras: a save never replaces a file and keeps
// it private, a restore puts back exactly the saved bytes, and a file of another camera is refused
// unless forced, before anything is posted.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "sim/SimFleet.h"
#include "tests/camera/SimHelpers.h"
#include "tests/cli/CliRunSupport.h"

namespace xqt::test {
namespace {

namespace fs = std::filesystem;

class ConfigCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<sim::SimCamera> cameras{NumberedCamera(16, 1, 5000000), NumberedCamera(16, 2, 5000000)};
        cameras[0].configuration = std::string("first camera\0settings", 21);
        cameras[1].configuration = "second camera's settings";
        fleet = std::make_unique<sim::SimFleet>(std::move(cameras), 0.01);
        fleet->Start();
    }

    CliRunOf<nlohmann::json> Config(const std::string& arguments) {
        return RunShell("ProgramFiles='" + scratch.Path() + "' XQT_PASSWORD=admin " + XQT_CLI + " config " +
                        arguments + " --user admin --time-scale 0.05 --json </dev/null 2>&1");
    }
    std::string Camera(std::size_t i) const { return fleet->At(i).HostPort(); }
    std::size_t Restores(std::size_t i) const { return fleet->At(i).Config().Restores().size(); }

    ScratchFolder scratch{"xqt-config"};
    std::unique_ptr<sim::SimFleet> fleet;
};

TEST_F(ConfigCommandTest, SaveKeepsEveryFilePrivateAndRestorePutsItBack) {
    const auto first = Config("save " + Camera(0));
    ASSERT_EQ(first.exitCode, 0) << first.text;
    const std::string file = first.lines.at(0)["file"];
    EXPECT_EQ(fs::path(file).filename(), "xqt-tr60.5000001.cfg");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string("first camera\0settings", 21));

    const auto again = Config("save " + Camera(0));
    ASSERT_EQ(again.exitCode, 0) << again.text;
    EXPECT_EQ(fs::path(std::string(again.lines.at(0)["file"])).filename(), "xqt-tr60.5000001-2.cfg");
    EXPECT_TRUE(fs::exists(file)) << "the first save is never replaced";

    const auto restored =
        Config("restore " + Camera(0) + " '" + std::string(again.lines.at(0)["file"]) + "'");
    EXPECT_EQ(restored.exitCode, 0) << restored.text;
    ASSERT_EQ(Restores(0), 1u);
    EXPECT_EQ(fleet->At(0).Config().Restores()[0].bytes, std::string("first camera\0settings", 21));
}

TEST_F(ConfigCommandTest, AFileOfAnotherCameraIsRefusedUnlessForced) {
    const auto saved = Config("save " + Camera(0));
    ASSERT_EQ(saved.exitCode, 0) << saved.text;
    const std::string file = saved.lines.at(0)["file"];
    const std::string empty = scratch.Path() + "/empty.cfg";
    std::ofstream(empty).close();
    struct Case {
        const char* what;
        std::string arguments;
        int exitCode;
        std::string reason;
        std::size_t restores;
    } cases[] = {
        {"another camera's file", "restore " + Camera(1) + " '" + file + "'", 8, "other-camera", 0},
        {"an empty file", "restore " + Camera(1) + " '" + empty + "' --force", 2, "usage", 0},
        {"a missing file", "restore " + Camera(1) + " '" + file + ".gone' --force", 2, "usage", 0},
        {"forced", "restore " + Camera(1) + " '" + file + "' --force", 0, "restored", 1},
    };
    for (const Case& c : cases) {
        const auto run = Config(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.text;
        ASSERT_FALSE(run.lines.empty()) << c.what << "\n" << run.text;
        EXPECT_EQ(run.lines.back()["reason"], c.reason) << c.what;
        EXPECT_EQ(Restores(1), c.restores) << c.what;
    }
}

}  // namespace
}  // namespace xqt::test
