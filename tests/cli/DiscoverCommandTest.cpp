// `xqt-cli discover` end to end: the real executable against the simulated fleet.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/camera/discovery/DiscoveryTestSupport.h"

namespace xqt {
namespace {

using test::Camera;

struct CommandResult {
    int exitCode = -1;
    std::string out;
};

/// Runs xqt-cli with `arguments` (after the shell's `environment` assignments); standard output is
/// read, standard error dropped unless `redirections` say otherwise.
CommandResult RunCli(const std::string& arguments, const std::string& redirections = "2>/dev/null",
                     const std::string& environment = "") {
    CommandResult result;
    const std::string command =
        environment + std::string(XQT_CLI_PATH) + " " + arguments + " " + redirections;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class DiscoverCommandTest : public test::BroadcastTest {
  protected:
    void SetUp() override {
        test::BroadcastTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        auto plain = Camera("XQT-TR60", "1000001", "08:00:46:00:00:01", "127.0.1.1");
        plain.softVersion = "1.10";
        auto dhcp = Camera("XQT-TR60N", "1000002", "08:00:46:00:00:02", "127.0.1.2");
        dhcp.webPort = 8080;
        dhcp.dhcp = true;
        dhcp.dnsAuto = true;
        // A hostile camera: terminal escapes and a byte that is not UTF-8 on its own.
        auto hostile = Camera("XQT-TR60P",
                              "\x1b[2J\x1b"
                              "7",
                              "08:00:46:00:00:03", "127.0.1.3");
        hostile.webPort = 81;
        hostile.softVersion = "v\xE9";
        Fleet({plain, dhcp, hostile, Camera("XQT-OTHER", "1000004", "08:00:46:00:00:04")});
    }
};

TEST_F(DiscoverCommandTest, JsonListsTheListedCamerasWithEveryKey) {
    const CommandResult result = RunCli("discover --json --seconds 0.2");
    ASSERT_EQ(result.exitCode, 0);
    const auto cameras = nlohmann::json::parse(result.out);
    ASSERT_EQ(cameras.size(), 3u) << result.out;
    EXPECT_EQ(cameras[0], (nlohmann::json{{"model", "XQT-TR60"},
                                          {"serial", "1000001"},
                                          {"version", "1.10"},
                                          {"mac", "08:00:46:00:00:01"},
                                          {"ip", "127.0.1.1"},
                                          {"webPort", 80},
                                          {"dhcp", false},
                                          {"dnsAuto", false}}));
    EXPECT_EQ(cameras[1]["webPort"], 8080);
    EXPECT_EQ(cameras[1]["dhcp"], true);
    EXPECT_EQ(cameras[1]["dnsAuto"], true);
    EXPECT_EQ(cameras[2]["serial"],
              "\x1b[2J\x1b"
              "7");
    EXPECT_EQ(cameras[2]["version"], "v\xC3\xA9");  // Windows-1252 é as UTF-8
}

TEST_F(DiscoverCommandTest, TextPrintsOneSafeLinePerCamera) {
    const CommandResult result = RunCli("discover --seconds 0.2");
    ASSERT_EQ(result.exitCode, 0);
    std::istringstream lines(result.out);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        rows.emplace_back(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
    }
    ASSERT_EQ(rows.size(), 4u) << result.out;
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{"MODEL", "SERIAL", "VERSION", "MAC", "ADDRESS", "ENDPOINT"}));
    rows.erase(rows.begin());
    EXPECT_EQ(rows[0], (std::vector<std::string>{"XQT-TR60", "1000001", "1.10", "08:00:46:00:00:01",
                                                 "127.0.1.1", "127.0.1.1:80"}));
    EXPECT_EQ(rows[1][4], "DHCP");
    EXPECT_EQ(rows[1][5], "127.0.1.2:8080");
    EXPECT_EQ(rows[2][1], "?[2J?7");
    EXPECT_EQ(rows[2][4], "127.0.1.3:81");
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
}

TEST_F(DiscoverCommandTest, CamerasOfOtherModelsAreCountedAndNoneListedIsAnExitCode) {
    const CommandResult some = RunCli("discover --seconds 0.2", "2>&1 >/dev/null");
    EXPECT_EQ(some.exitCode, 0);
    EXPECT_EQ(some.out,
              "1 camera of other models (or with serial numbers the image may not go to) answered and is not "
              "listed.\n");
    fleet_.reset();  // its port is taken again at once
    Fleet({Camera("XQT-OTHER", "1000004", "08:00:46:00:00:04"),
           Camera("XQT-DM10", "2000005", "08:00:46:00:00:05")});
    const CommandResult none = RunCli("discover --seconds 0.2", "2>&1");
    EXPECT_EQ(none.exitCode, 5);
    EXPECT_EQ(
        none.out,
        "No camera of the listed models answered.\n2 cameras of other models (or with serial numbers the "
        "image may not go to) answered and are not listed.\n");
}

#ifdef XQT_CAMSIM
// xqt-camsim's discovery answers with each camera as it is now: a trainee who upgrades a camera
// finds it at the new version, not at the one it started with. The simulator says at start which
// firmware its cameras report after a flash.
class CamsimDiscoveryTest : public test::BroadcastTest {};

TEST_F(CamsimDiscoveryTest, FollowsAnUpgrade) {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("xqt-camsim-discovery-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "fleet.json")
        << R"([{"ipText": "127.0.1.9", "webPort": 0, "softVersion": "1.10"}])";
    // The shell's pid is the simulator's once it execs; the first line says it.
    FILE* camsim = ::popen(("echo $$; exec " + std::string(XQT_CAMSIM) + " --fleet '" +
                            (folder / "fleet.json").string() + "' --discovery --time-scale 0.01 2>&1")
                               .c_str(),
                           "r");
    ASSERT_NE(camsim, nullptr);
    std::string started;
    char line[512];
    while (started.find("ready") == std::string::npos && std::fgets(line, sizeof line, camsim))
        started += line;
    const pid_t pid = static_cast<pid_t>(std::atol(started.c_str()));
    const std::size_t at = started.find("127.0.1.9:");
    if (at != std::string::npos) {
        const std::string address = started.substr(at, started.find(' ', at) - at);
        EXPECT_NE(started.find("no firmware bundle"), std::string::npos) << started;
        // The history goes to the scratch folder.
        const CommandResult upgrade = RunCli("upgrade " + address + " --user admin --time-scale 0.05",
                                             "</dev/null >/dev/null 2>&1; echo $?",
                                             "XQT_PASSWORD=admin ProgramFiles='" + folder.string() + "' ");
        EXPECT_EQ(upgrade.out, "0\n");
        const CommandResult found = RunCli("discover --json --seconds 0.2");
        const auto cameras = nlohmann::json::parse(found.out, nullptr, false);
        const bool one = cameras.is_array() && cameras.size() == 1u;
        EXPECT_TRUE(one) << found.out;
        if (one) {
            EXPECT_EQ(cameras[0]["version"], "1.23");
        }
    }
    if (pid > 0) ::kill(pid, SIGTERM);
    ::pclose(camsim);
    fs::remove_all(folder);
    EXPECT_NE(at, std::string::npos) << started;
}
#endif

TEST(DiscoverCommandOptionsTest, RefusesASearchLengthOutOfRange) {
    EXPECT_NE(RunCli("discover --seconds 0").exitCode, 0);
    EXPECT_NE(RunCli("discover --seconds -3").exitCode, 0);
    EXPECT_NE(RunCli("discover --seconds ten").exitCode, 0);
    EXPECT_NE(RunCli("discover --seconds nan").exitCode, 0);
}

}  // namespace
}  // namespace xqt
