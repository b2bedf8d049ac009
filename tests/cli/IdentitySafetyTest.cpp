// What keeps a camera safe where its address and one process are not enough: one camera listed at
// two addresses, another run holding a camera or a report, a re-run after settings that were not
// put back or after a camera went back to its old version, and a stop signal or a closed output
// in the middle of `upgrade`. One table; every row is a run of xqt-cli against simulated cameras.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/CameraLock.h"
#include "platform/EngineTiming.h"
#include "sim/SimFleet.h"
#include "tests/camera/SimHelpers.h"
#include "tests/cli/CliRunSupport.h"

namespace xqt::test {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;
using CliRun = CliRunOf<json>;

constexpr const char* TOOL_SCALE = "0.05";

/// A camera of this suite's fleet: 127.0.19.n, serial 7100000 + n.
sim::SimCamera Camera(int n) {
    return NumberedCamera(19, n, 7100000);
}

/// xqt-cli started in the background with its standard output (and error) on a pipe, so a row can
/// read it as it comes, signal the tool in the middle of its work, and close its output.
class Spawned {
  public:
    explicit Spawned(const std::string& command) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            ::dup2(fds[1], STDOUT_FILENO);
            ::dup2(fds[1], STDERR_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Spawned() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    /// Reads until a line holds `text`; false when the output ended first.
    bool ReadUntil(const std::string& text) {
        for (;;) {
            if (const auto at = text_.find(text, checked_); at != std::string::npos) {
                checked_ = at + text.size();
                return true;
            }
            char buffer[4096];
            const ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0) return false;
            text_.append(buffer, static_cast<std::size_t>(n));
        }
    }
    void Signal(int number) { ::kill(pid_, number); }
    /// Closes the reading end: the tool's next write meets a closed pipe.
    void CloseOutput() {
        ::close(out_);
        out_ = -1;
    }
    /// Reads what is left and waits for the tool; its exit code, -signal when a signal ended it.
    int Wait() {
        if (out_ >= 0) ReadUntil("\x01never\x01");
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    const std::string& Text() const { return text_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool reaped_ = false;
    std::string text_;
    std::size_t checked_ = 0;
};

class IdentitySafetyTest;

struct SafetyRow {
    const char* name;
    std::vector<sim::SimCamera> cameras;
    std::function<void(IdentitySafetyTest&)> run;
};

class IdentitySafetyTest : public ::testing::TestWithParam<SafetyRow> {
  public:
    void SetUp() override {
        // The locks of this test's runs, and only theirs.
        ::setenv("XQT_RUNTIME_DIR", runtime.Path().c_str(), 1);
        fleet = std::make_unique<sim::SimFleet>(GetParam().cameras, 0.01);
        fleet->Start();
        std::ofstream list(folder + "/targets.txt");
        for (std::size_t i = 0; i < fleet->Size(); ++i)
            list << fleet->At(i).HostPort() << "\n";
    }

    std::string Env() const {
        return "cd '" + folder + "' && ProgramFiles='" + folder + "' XQT_RUNTIME_DIR='" + runtime.Path() +
               "' XQT_PASSWORD=admin ";
    }
    CliRun Batch(const std::string& options) {
        return RunShell<json>(Env() + XQT_CLI + " batch --targets targets.txt --user admin --time-scale " +
                              TOOL_SCALE + " --json --report report.json " + options + " </dev/null 2>&1");
    }
    /// The tool replaces the shell, so a signal reaches it and nothing else.
    std::string UpgradeCommand(std::size_t camera) const {
        return Env() + "exec " + XQT_CLI + " upgrade " + fleet->At(camera).HostPort() +
               " --user admin --retain --json " + "--time-scale " + TOOL_SCALE + " </dev/null";
    }
    json Report() const {
        std::ifstream in(folder + "/report.json");
        return json::parse(in, nullptr, false);
    }
    json Row(std::size_t camera) const {
        const json report = Report();
        for (const json& row : report["cameras"])
            if (row["address"] == fleet->At(camera).HostPort()) return row;
        return json();
    }
    std::size_t Uploads(std::size_t camera) const { return fleet->At(camera).Upgrade().Records().size(); }
    std::size_t Restores(std::size_t camera) const { return fleet->At(camera).Config().Restores().size(); }
    std::vector<json> History() const { return RunShell<json>(Env() + XQT_CLI + " history --json").lines; }
    /// An upgrade stopped by `signal` once the camera is overwriting (or its output closed then,
    /// with signal 0): it finishes, puts the settings back and writes its history line.
    void SignalMidOverwrite(int signal) {
        Spawned tool(UpgradeCommand(0));
        ASSERT_TRUE(tool.ReadUntil("\"Overwriting\"")) << tool.Text();
        if (signal == 0) {
            tool.CloseOutput();
        } else {
            tool.Signal(signal);
            tool.Signal(signal);  // a second one only says what still runs
        }
        EXPECT_EQ(tool.Wait(), 0) << tool.Text();
        if (signal != 0) {
            EXPECT_NE(tool.Text().find("interrupted"), std::string::npos) << tool.Text();
        }
        EXPECT_EQ(Uploads(0), 1u);
        EXPECT_EQ(Restores(0), 1u) << "the saved settings were put back";
        const std::vector<json> history = History();
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0]["outcome"], "upgraded");
        EXPECT_EQ(history[0]["mac"], "08-00-46-13-00-01");
    }

    ScratchFolder scratch{"xqt-safety"};
    ScratchFolder runtime{"xqt-safety-locks"};
    const std::string& folder = scratch.Path();
    std::unique_ptr<sim::SimFleet> fleet;
};

/// Camera 1 answering at a second address too: the same MAC and serial behind another port.
std::vector<sim::SimCamera> OneCameraTwice() {
    sim::SimCamera twin = Camera(1);
    twin.ipText = "127.0.19.101";
    return {Camera(1), twin};
}

const SafetyRow ROWS[] = {
    {"OneCameraAtTwoAddressesIsFlashedOnce", OneCameraTwice(),
     [](IdentitySafetyTest& t) {
         const CliRun run = t.Batch("--parallel 2 --transfers 2");
         EXPECT_EQ(run.exitCode, 0) << run.text;
         EXPECT_EQ(t.Uploads(0) + t.Uploads(1), 1u) << t.Report().dump(1);
         EXPECT_EQ(t.Row(1)["outcome"], "skipped") << run.text;
         EXPECT_EQ(t.Row(1)["detail"], "the same camera as " + t.fleet->At(0).HostPort());
     }},
    {"ACameraAnotherRunHoldsIsLeftAlone",
     {Camera(1), Camera(2)},
     [](IdentitySafetyTest& t) {
         // This process stands for the other run: one camera held by its address, one by its MAC.
         auto byAddress = platform::CameraLock::Take(platform::AddressLockKey(t.fleet->At(0).HostPort()));
         auto byMac = platform::CameraLock::Take(platform::MacLockKey("08:00:46:13:00:02"));
         ASSERT_TRUE(byAddress.Held() && byMac.Held());
         const CliRun run = t.Batch("");
         EXPECT_EQ(run.exitCode, 0) << run.text;
         EXPECT_EQ(t.Uploads(0) + t.Uploads(1), 0u);
         const std::string held = "being upgraded by process " + std::to_string(::getpid());
         for (std::size_t i = 0; i < 2; ++i) {
             EXPECT_EQ(t.Row(i)["outcome"], "skipped") << i;
             EXPECT_EQ(t.Row(i)["detail"], held) << i;
         }
         // Once the other run has ended (its locks went with it), the cameras are run.
         byAddress.Release();
         byMac.Release();
         EXPECT_EQ(t.Batch("").exitCode, 0);
         EXPECT_EQ(t.Uploads(0) + t.Uploads(1), 2u);
     }},
    {"AReportAnotherRunWritesIsRefused",
     {Camera(1)},
     [](IdentitySafetyTest& t) {
         const auto held = platform::CameraLock::Take(platform::FileLockKey(t.folder + "/report.json"));
         ASSERT_TRUE(held.Held());
         const CliRun run = t.Batch("");
         EXPECT_EQ(run.exitCode, 2) << run.text;
         EXPECT_NE(
             run.text.find("report.json is in use by another run (process " + std::to_string(::getpid())),
             std::string::npos)
             << run.text;
         EXPECT_EQ(t.Uploads(0), 0u);
     }},
    {"AResumeFinishesARestoreThatFailed",
     {Camera(1)},
     [](IdentitySafetyTest& t) {
         t.fleet->At(0).Update([](sim::SimCamera& c) { c.config.failRestores = 1000; });
         const CliRun first = t.Batch("--retain");
         EXPECT_EQ(first.exitCode, 12) << first.text;
         const json failed = t.Row(0);
         ASSERT_EQ(failed["outcome"], "settings-not-restored") << first.text;
         const std::string kept = failed["configFile"].get<std::string>();
         ASSERT_TRUE(fs::exists(kept));

         t.fleet->At(0).Update([](sim::SimCamera& c) { c.config.failRestores = 0; });
         const CliRun again = t.Batch("--retain --resume report.json");
         EXPECT_EQ(again.exitCode, 0) << again.text;
         const json resumed = t.Row(0);
         EXPECT_EQ(resumed["outcome"], "upgraded") << again.text;
         EXPECT_EQ(resumed["configFile"], kept);
         EXPECT_NE(resumed["detail"].get<std::string>().find("were put back"), std::string::npos);
         EXPECT_EQ(t.Uploads(0), 1u) << "not flashed again";
         EXPECT_EQ(t.Restores(0), 1u);
     }},
    {"AResumeRunsACameraBackOnItsOldVersion",
     {Camera(1)},
     [](IdentitySafetyTest& t) {
         ASSERT_EQ(t.Batch("").exitCode, 0);
         t.fleet->At(0).Update([](sim::SimCamera& c) { c.softVersion = "1.10"; });
         const CliRun again = t.Batch("--resume report.json");
         EXPECT_EQ(again.exitCode, 0) << again.text;
         EXPECT_EQ(t.Row(0)["outcome"], "upgraded") << again.text;
         EXPECT_EQ(t.Uploads(0), 2u);
     }},
    {"UpgradeFinishesAfterSigterm",
     {Camera(1)},
     [](IdentitySafetyTest& t) { t.SignalMidOverwrite(SIGTERM); }},
    {"UpgradeFinishesAfterSighup", {Camera(1)}, [](IdentitySafetyTest& t) { t.SignalMidOverwrite(SIGHUP); }},
    {"UpgradeFinishesAfterItsOutputCloses",
     {Camera(1)},
     [](IdentitySafetyTest& t) { t.SignalMidOverwrite(0); }},
};

TEST_P(IdentitySafetyTest, KeepsTheCameraSafe) {
    GetParam().run(*this);
}

INSTANTIATE_TEST_SUITE_P(Rows, IdentitySafetyTest, ::testing::ValuesIn(ROWS),
                         [](const ::testing::TestParamInfo<SafetyRow>& row) { return row.param.name; });

}  // namespace
}  // namespace xqt::test
