// xqt-cli batch as a script runs it against simulated fleets in scaled time: the report field by
// field for a mixed fleet, the failure limit, retries of a camera that comes up late, resumption,
// the dry run, the window of --parallel, and a report that stays valid when the run is killed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <algorithm>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "platform/EngineTiming.h"
#include "sim/SimFleet.h"
#include "tests/camera/SimHelpers.h"
#include "tests/cli/CliRunSupport.h"
#include "tests/support/Slowdown.h"

namespace xqt::test {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;  // the report keeps its keys in order

using CliRun = CliRunOf<json>;
using platform::EngineTiming;

/// The tool runs at this time scale (--time-scale); the cameras at 0.01.
constexpr double kToolScale = 0.05;

/// `engine`, a duration of the tool's unscaled timing, as the tool runs it.
std::chrono::milliseconds ToolTime(std::chrono::milliseconds engine) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(engine * kToolScale);
}

sim::SimCamera Camera(int n, const std::string& version = "1.10") {
    sim::SimCamera camera = NumberedCamera(12, n, 7000000);
    camera.softVersion = version;
    return camera;
}

class BatchCommandTest : public ::testing::Test {
  public:
    /// Starts the fleet and writes its addresses (and `extra` ones) as the target list;
    /// `beforeListen` may set observers on the cameras first.
    void Start(std::vector<sim::SimCamera> cameras, const std::vector<std::string>& extra = {},
               const std::function<void(sim::SimFleet&)>& beforeListen = {}) {
        fleet = std::make_unique<sim::SimFleet>(std::move(cameras), 0.01);
        if (beforeListen) beforeListen(*fleet);
        fleet->Start();
        std::ofstream list(folder + "/targets.txt");
        for (std::size_t i = 0; i < fleet->Size(); ++i)
            list << fleet->At(i).HostPort() << "\n";
        for (const std::string& address : extra)
            list << address << "\n";
    }

    /// Runs batch on targets.txt; report.json and report.csv unless `options` names a report of its own.
    CliRun Batch(const std::string& options, const std::string& prefix = "") {
        const bool ownReport = options.find("--report ") != std::string::npos;
        const std::string command =
            "cd '" + folder + "' && ProgramFiles='" + folder + "' XQT_PASSWORD=admin " + prefix + " " +
            XQT_CLI + " batch --targets targets.txt --user admin --time-scale " + std::to_string(kToolScale) +
            " --json " + (ownReport ? "" : "--report report.json ") + "--csv report.csv " + options +
            " </dev/null 2>&1";
        return RunShell<json>(command);
    }

    json Report() const {
        std::ifstream in(folder + "/report.json");
        return json::parse(in, nullptr, false);
    }
    /// The report's camera row of `address`.
    json Row(const json& report, const std::string& address) const {
        for (const json& row : report["cameras"])
            if (row["address"] == address) return row;
        return json();
    }
    std::size_t Uploads(std::size_t camera) const { return fleet->At(camera).Upgrade().Records().size(); }
    /// The report as the shipped JSON Schema describes it (the system's Python validates it).
    static void ExpectValidReport(const std::string& path) {
        const CliRun check = RunShell<json>(
            "/usr/bin/python3 -c 'import json, sys, jsonschema; "
            "jsonschema.validate(json.load(open(sys.argv[2])), json.load(open(sys.argv[1])))' '" +
            std::string(XQT_REPORT_SCHEMA) + "' '" + path + "' 2>&1");
        EXPECT_EQ(check.exitCode, 0) << check.text;
    }

    ScratchFolder scratch{"xqt-batch"};
    const std::string& folder = scratch.Path();
    std::unique_ptr<sim::SimFleet> fleet;
};

TEST_F(BatchCommandTest, AMixedFleetIsReportedFieldByField) {
    std::vector<sim::SimCamera> cameras{Camera(1), Camera(2), Camera(3), Camera(4), Camera(5, "1.23")};
    cameras[1].http.refuseLogin = true;
    cameras[2].model = "XQT-DM10";
    cameras[3].emergency = true;
    const std::string unreachable = "127.0.12.99";  // nothing listens there
    Start(cameras, {unreachable});
    const CliRun run = Batch("--parallel 3");
    EXPECT_EQ(run.exitCode, 12) << run.text;

    const json report = Report();
    ASSERT_TRUE(report.is_object()) << run.text;
    EXPECT_EQ(report["imageVersion"], "1.23");
    EXPECT_TRUE(report["ended"].is_string());
    ASSERT_EQ(report["cameras"].size(), 6u);
    const std::vector<std::string> keys = {"address",       "mac",          "model",       "serial",
                                           "versionBefore", "versionAfter", "confirmed",   "status",
                                           "statusCode",    "outcome",      "message",     "attempts",
                                           "started",       "ended",        "configFile",  "detail",
                                           "resumed",       "imageVersion", "imageSha256", "plannedVersion",
                                           "plannedSha256"};
    std::vector<std::string> order;
    for (const auto& [key, value] : report["cameras"][0].items())
        order.push_back(key);
    EXPECT_EQ(order, keys);

    const json good = Row(report, fleet->At(0).HostPort());
    EXPECT_EQ(good["model"], "XQT-TR60");
    EXPECT_EQ(good["serial"], "7000001");
    EXPECT_EQ(good["mac"], "08-00-46-0C-00-01");  // asked of the camera: the list gave none
    EXPECT_EQ(good["outcome"], "upgraded");
    EXPECT_EQ(good["versionBefore"], "1.10");
    EXPECT_EQ(good["versionAfter"], "1.23");
    EXPECT_EQ(good["confirmed"], true);
    EXPECT_EQ(good["status"], "Completed");
    EXPECT_EQ(good["statusCode"], 9);
    EXPECT_EQ(good["message"], "XQT-TR60(" + fleet->At(0).HostPort() + ") Completed successfully.");
    EXPECT_EQ(good["attempts"], 1);
    EXPECT_TRUE(good["started"].is_string() && good["ended"].is_string());
    EXPECT_TRUE(good["configFile"].is_null());
    EXPECT_TRUE(good["detail"].is_null());

    const json login = Row(report, fleet->At(1).HostPort());
    EXPECT_EQ(login["status"], "Error3");
    EXPECT_EQ(login["statusCode"], 12);
    EXPECT_EQ(login["confirmed"], false);
    EXPECT_TRUE(login["versionAfter"].is_null());
    EXPECT_EQ(login["detail"], "login refused (user \"admin\" is not accepted)");
    EXPECT_TRUE(login["imageVersion"].is_null() && login["imageSha256"].is_null());  // nothing was sent
    EXPECT_EQ(good["imageVersion"], "1.23");
    EXPECT_TRUE(good["imageSha256"].is_string());

    const json model = Row(report, fleet->At(2).HostPort());
    EXPECT_EQ(model["status"], "unsuitable");
    EXPECT_TRUE(model["statusCode"].is_null());
    EXPECT_EQ(model["detail"], "model \"XQT-DM10\" is not accepted");

    const json emergency = Row(report, fleet->At(3).HostPort());
    EXPECT_EQ(emergency["status"], "Completed");
    EXPECT_EQ(emergency["confirmed"], false);
    EXPECT_EQ(emergency["outcome"], "unconfirmed");
    EXPECT_EQ(emergency["detail"], "the camera did not report the new version itself");

    const json current = Row(report, fleet->At(4).HostPort());
    EXPECT_EQ(current["status"], "current");
    EXPECT_TRUE(current["statusCode"].is_null());
    EXPECT_EQ(current["confirmed"], true);
    EXPECT_EQ(current["versionAfter"], "1.23");
    EXPECT_EQ(current["versionBefore"], "1.23");

    const json missing = Row(report, unreachable);
    EXPECT_EQ(missing["status"], "Error1");
    EXPECT_EQ(missing["statusCode"], 10);
    EXPECT_EQ(missing["detail"], "connection refused");

    EXPECT_EQ(Uploads(0), 1u);
    EXPECT_EQ(Uploads(1) + Uploads(2) + Uploads(4), 0u);
    EXPECT_EQ(report["summary"], json({{"total", 6},
                                       {"completed", 1},
                                       {"current", 1},
                                       {"failed", 4},
                                       {"notStarted", 0},
                                       {"skipped", 0},
                                       {"suitable", 0}}));
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back()["event"], "summary");
    EXPECT_EQ(run.lines.back()["exitCode"], 12);
    EXPECT_EQ(run.text.find("admin"), std::string::npos);  // the password is never printed

    // The history keeps the cameras that were written to, not those only asked.
    std::ifstream history(folder + "/VEXO/XQT FirmwareUpgrade/history.jsonl");
    std::vector<std::string> recorded;
    for (std::string line; std::getline(history, line);)
        recorded.push_back(json::parse(line)["address"].get<std::string>() + " " +
                           json::parse(line)["outcome"].get<std::string>());
    std::sort(recorded.begin(), recorded.end());
    std::vector<std::string> expected = {fleet->At(0).HostPort() + " upgraded",
                                         fleet->At(3).HostPort() + " unconfirmed"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(recorded, expected);

    // The CSV has the same rows under one header.
    std::ifstream csv(folder + "/report.csv");
    std::string header;
    std::getline(csv, header);
    EXPECT_EQ(
        header,
        "address,mac,model,serial,versionBefore,versionAfter,confirmed,status,statusCode,outcome,message,"
        "attempts,started,ended,configFile,detail,resumed,imageVersion,imageSha256,plannedVersion,"
        "plannedSha256\r");
}

// Each way a camera can fail its check has one word and one text, the same in every command: the
// text on the terminal and in the report's detail, the word as the JSON reason.
TEST_F(BatchCommandTest, EveryCommandTellsTheCheckFailuresApartInTheSameWords) {
    struct Case {
        const char* reason;
        const char* text;
        int exitCode;
    };
    const std::string refused = "127.0.12.98";  // nothing listens there
    std::vector<sim::SimCamera> cameras{Camera(21), Camera(22), Camera(23)};
    cameras[0].http.neverAnswer = true;
    cameras[1].http.refuseLogin = true;
    cameras[2].model = "XQT-DM10";
    Start(cameras, {refused});
    const std::vector<std::pair<std::string, Case>> cases = {
        {refused, {"connection-refused", "connection refused", 3}},
        {fleet->At(0).HostPort(), {"no-answer", "no answer within 1 s", 3}},
        {fleet->At(1).HostPort(), {"login-refused", "login refused (user \"admin\" is not accepted)", 4}},
        {fleet->At(2).HostPort(), {"model-not-accepted", "model \"XQT-DM10\" is not accepted", 5}},
    };
    Batch("--parallel 4");
    const json report = Report();
    for (const auto& [address, c] : cases) {
        SCOPED_TRACE(c.reason);
        const std::string cli =
            "cd '" + folder + "' && ProgramFiles='" + folder + "' XQT_PASSWORD=admin " + XQT_CLI + " ";
        const CliRun inquiry =
            RunShell<json>(cli + "inquire " + address + " --user admin --time-scale 0.05 --json 2>&1");
        EXPECT_EQ(inquiry.exitCode, c.exitCode) << inquiry.text;
        ASSERT_FALSE(inquiry.lines.empty()) << inquiry.text;
        EXPECT_EQ(inquiry.lines.back()["reason"], c.reason);
        EXPECT_EQ(inquiry.lines.back()["detail"], c.text);

        const CliRun upgrade =
            RunShell<json>(cli + "upgrade " + address + " --user admin --time-scale 0.05 --json 2>&1");
        EXPECT_EQ(upgrade.exitCode, c.exitCode) << upgrade.text;
        ASSERT_FALSE(upgrade.lines.empty()) << upgrade.text;
        EXPECT_EQ(upgrade.lines.back()["reason"], c.reason);
        const CliRun plain =
            RunShell<json>(cli + "upgrade " + address + " --user admin --time-scale 0.05 2>&1");
        EXPECT_NE(plain.text.find(std::string(", ") + c.text + " (exit "), std::string::npos) << plain.text;

        EXPECT_EQ(Row(report, address)["detail"], c.text);
    }
    EXPECT_EQ(Uploads(0) + Uploads(1) + Uploads(2), 0u);
}

// The manual page and the schema cannot drift apart: every field the schema knows is named in bold
// in the page's REPORTS section.
TEST(ReportManualPage, DocumentsEveryFieldOfTheSchema) {
    std::ifstream schemaFile(XQT_REPORT_SCHEMA);
    const json schema = json::parse(schemaFile, nullptr, false);
    ASSERT_TRUE(schema.is_object());
    std::set<std::string> fields;
    const std::function<void(const json&)> collect = [&](const json& node) {
        if (!node.is_structured()) return;
        if (node.is_object() && node.contains("properties"))
            for (const auto& [name, value] : node["properties"].items())
                fields.insert(name);
        for (const auto& child : node)
            collect(child);
    };
    collect(schema);
    ASSERT_GT(fields.size(), 20u);

    std::ifstream page(XQT_MAN_PAGE);
    std::set<std::string> named;
    bool inReports = false;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind(".SH ", 0) == 0) inReports = line == ".SH REPORTS";
        if (!inReports || (line.rfind(".B ", 0) != 0 && line.rfind(".BR ", 0) != 0)) continue;
        std::istringstream words(line.substr(line.find(' ') + 1));
        std::string word;
        words >> word;
        named.insert(word);
    }
    for (const std::string& field : fields)
        EXPECT_TRUE(named.count(field)) << field << " is not documented in the REPORTS section";
}

TEST_F(BatchCommandTest, TheFailureLimitStopsFurtherStartsAndTheRestIsNotStarted) {
    std::vector<sim::SimCamera> cameras{Camera(11), Camera(12), Camera(13), Camera(14)};
    cameras[0].http.refuseLogin = true;
    Start(cameras);
    const CliRun run = Batch("--parallel 1 --max-failures 1");
    EXPECT_EQ(run.exitCode, 13) << run.text;
    const json report = Report();
    EXPECT_EQ(Row(report, fleet->At(0).HostPort())["status"], "Error3");
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(Row(report, fleet->At(i).HostPort())["status"], "not started") << i;
        EXPECT_TRUE(fleet->At(i).Requests().empty()) << i;
    }
}

TEST_F(BatchCommandTest, ACameraThatComesUpLateIsTriedAgain) {
    std::vector<sim::SimCamera> cameras{Camera(21), Camera(22)};
    cameras[1].http.resetConnection = true;  // down at first
    // The first attempt asks one question, which the camera resets; it comes up with the next
    // request, so the order holds however slow the tool is.
    Start(cameras, {}, [](sim::SimFleet& started) {
        sim::CameraServer& late = started.At(1);
        late.SetObserver([&late, seen = 0](const sim::RecordedRequest&) mutable {
            if (++seen == 2) late.Update([](sim::SimCamera& c) { c.http.resetConnection = false; });
        });
    });
    const CliRun run = Batch("--retry-offline 5 --retry-delay 10");  // 0.5 s in scaled time
    EXPECT_EQ(run.exitCode, 0) << run.text;
    const json row = Row(Report(), fleet->At(1).HostPort());
    EXPECT_EQ(row["status"], "Completed");
    EXPECT_GT(row["attempts"].get<int>(), 1);
    EXPECT_EQ(Uploads(1), 1u);
}

TEST_F(BatchCommandTest, ASecondRunResumesAndADryRunWritesNothing) {
    Start({Camera(31), Camera(32)});
    const CliRun dry = Batch("--dry-run");
    EXPECT_EQ(dry.exitCode, 0) << dry.text;
    EXPECT_EQ(Row(Report(), fleet->At(0).HostPort())["status"], "suitable");
    EXPECT_EQ(Uploads(0) + Uploads(1), 0u);

    ASSERT_EQ(Batch("").exitCode, 0);
    ASSERT_EQ(Uploads(0) + Uploads(1), 2u);
    fs::rename(folder + "/report.json", folder + "/first.json");
    const CliRun again = Batch("--resume first.json");
    EXPECT_EQ(again.exitCode, 0) << again.text;
    EXPECT_EQ(Row(Report(), fleet->At(0).HostPort())["status"], "skipped");
    EXPECT_EQ(Report()["summary"]["skipped"], 2);
    EXPECT_EQ(Uploads(0) + Uploads(1), 2u);  // nothing was flashed twice
}

TEST_F(BatchCommandTest, ParallelFourDrivesAtMostFourAndTransfersToOneAtATime) {
    std::vector<sim::SimCamera> cameras;
    for (int n = 41; n <= 46; ++n)
        cameras.push_back(Camera(n));
    Start(cameras);
    const CliRun run = Batch("--parallel 4");
    EXPECT_EQ(run.exitCode, 0) << run.text;
    std::map<std::string, std::string> state;
    std::size_t mostActive = 0;
    for (const json& event : run.lines) {
        if (event["event"] != "status") continue;
        state[event["address"]] = event["status"];
        std::size_t active = 0, transfers = 0;
        for (const auto& [address, status] : state) {
            active += status != "Completed" && status.rfind("Error", 0) != 0;
            transfers += status == "Uploading" || status == "Saving config file";
        }
        mostActive = std::max(mostActive, active);
        EXPECT_LE(transfers, 1u);
    }
    EXPECT_LE(mostActive, 4u);
    EXPECT_GE(mostActive, 2u);  // the window was used
}

/// A prefix for Batch that runs the shell command `action` ($pid is the run) once `file` holds
/// `text`, or once the run has ended by itself, and then waits for the run: the action comes at
/// the same step however fast the machine is.
std::string OnceTheFileHolds(const std::string& file, const std::string& text, const std::string& action) {
    return "env XQT_WATCHED='" + file + "' XQT_AWAITED='" + text + "' XQT_ACTION='" + action +
           R"(' sh -c '"$0" "$@" & pid=$!; while kill -0 $pid 2>/dev/null && ! grep -qF "$XQT_AWAITED" "$XQT_WATCHED" 2>/dev/null; do sleep 0.02; done; eval "$XQT_ACTION"; wait $pid')";
}

/// A prefix for Batch that sends `signal` to the run once report.json holds `text`.
std::string SignalOnceTheReportHolds(const std::string& text, const char* signal) {
    return OnceTheFileHolds("report.json", text, std::string("kill -s ") + signal + " $pid");
}

TEST_F(BatchCommandTest, AKilledRunLeavesAValidReportOfTheCamerasThatEnded) {
    std::vector<sim::SimCamera> cameras{Camera(51), Camera(52)};
    cameras[1].upgrade.rebootMs = 3000000;  // 30 s in scaled time: still rebooting when killed
    Start(cameras);
    // The CSV is rewritten after the JSON: once it holds the ended camera, no rewrite is under way
    // until the other camera ends, so the kill cannot catch a temporary file half written (which
    // no program can remove once killed).
    const CliRun run =
        Batch("--parallel 2", OnceTheFileHolds("report.csv", ",upgraded,", "kill -s KILL $pid"));
    EXPECT_EQ(run.exitCode, 128 + SIGKILL) << run.text;
    const json report = Report();
    ASSERT_TRUE(report.is_object());
    EXPECT_EQ(Row(report, fleet->At(0).HostPort())["status"], "Completed");
    EXPECT_NE(Row(report, fleet->At(1).HostPort())["status"], "Completed");
    EXPECT_TRUE(report["ended"].is_null());
    for (const auto& entry : fs::directory_iterator(folder))  // no temporary file left behind
        EXPECT_NE(entry.path().filename().string().rfind(".report", 0), 0u) << entry.path();
}

TEST_F(BatchCommandTest, ACredentialsFileOthersCanReadIsRefused) {
    Start({Camera(61)});
    const std::string file = folder + "/logins.csv";
    std::ofstream(file) << fleet->At(0).HostPort() << ",admin,admin\n";
    ::chmod(file.c_str(), 0644);
    const CliRun open = Batch("--credentials logins.csv");
    EXPECT_EQ(open.exitCode, 2);
    EXPECT_NE(open.text.find("chmod 600"), std::string::npos);
    ::chmod(file.c_str(), 0600);
    EXPECT_EQ(Batch("--credentials logins.csv").exitCode, 0);
}

// Each row is a way a fleet run broke its promises: a camera flashed twice, a failure called a
// success, a camera taken for another, a run killed by its terminal, a report lost.
struct Fault {
    const char* name;
    std::vector<sim::SimCamera> cameras;
    std::string options;
    int exitCode;
    /// Options of a run before the checked one (its report is kept as first.json), e.g. for --resume.
    std::string before = {};
    /// Between the runs: what changes on the cameras.
    std::function<void(sim::SimFleet&)> meanwhile = {};
    /// The target list's lines; empty: each camera once.
    std::function<std::vector<std::string>(sim::SimFleet&)> list = {};
    std::string prefix = {};
    std::function<void(BatchCommandTest&, const CliRun&)> check = {};
};

void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.name;
}

sim::SimCamera Restoring(sim::SimCamera camera) {
    camera.config.reconfigureMs = 1000;
    return camera;
}

std::vector<Fault> FleetFaults() {
    auto refuseRestores = Restoring(Camera(71));
    refuseRestores.config.failRestores = 100;
    refuseRestores.config.restoreStatus = 500;
    auto replaced = Restoring(Camera(72));
    replaced.upgrade.comeBackSerial = "7999999";
    replaced.upgrade.comeBackMac = "08:00:46:99:99:99";
    auto slowReboot = Restoring(Camera(76));
    slowReboot.upgrade.rebootMs = 400000;  // 4 s: still rebooting when the signal comes
    auto formula = Camera(79);
    formula.model = "=HYPERLINK(\"x\")";

    return {
        {"a failed restore is not an upgrade, and is not skipped later",
         {refuseRestores},
         "--retain --backup",
         12,
         "",
         {},
         {},
         "",
         [](BatchCommandTest& t, const CliRun& run) {
             const json row = t.Row(t.Report(), t.fleet->At(0).HostPort());
             EXPECT_EQ(row["status"], "Completed");
             EXPECT_EQ(row["outcome"], "settings-not-restored");
             // The upgrade log's line says it too, as it does for an unconfirmed version.
             EXPECT_NE(row["message"].get<std::string>().find("Settings not restored"), std::string::npos);
             ASSERT_TRUE(row["configFile"].is_string());
             EXPECT_TRUE(fs::exists(row["configFile"].get<std::string>()));
             EXPECT_NE(row["detail"].get<std::string>().find(row["configFile"].get<std::string>()),
                       std::string::npos);
             EXPECT_EQ(t.Report()["summary"]["failed"], 1);
             fs::rename(t.folder + "/report.json", t.folder + "/first.json");
             // Not skipped for good: the same camera, at the new version, gets its kept settings
             // again instead of a second flash, and still refuses them.
             EXPECT_EQ(t.Batch("--retain --backup --resume first.json --force").exitCode, 12) << run.text;
             EXPECT_EQ(t.Uploads(0), 1u);
             EXPECT_EQ(t.Row(t.Report(), t.fleet->At(0).HostPort())["outcome"], "settings-not-restored");
         }},
        {"a camera listed twice is refused before anything is asked",
         {Camera(73)},
         "",
         2,
         "",
         {},
         [](sim::SimFleet& f) {
             const std::string address = f.At(0).Camera().ipText;
             return std::vector<std::string>{address, "127.0.12.250", address + ":80"};
         },
         "",
         [](BatchCommandTest& t, const CliRun& run) {
             EXPECT_NE(
                 run.text.find("line 3: " + t.fleet->At(0).Camera().ipText + " is already listed on line 1"),
                 std::string::npos)
                 << run.text;
             EXPECT_TRUE(t.fleet->At(0).Requests().empty());
         }},
        {"another camera after the reboot gets nothing restored, and the file stays",
         {replaced},
         "--retain",
         12,
         "",
         {},
         {},
         "",
         [](BatchCommandTest& t, const CliRun&) {
             const json row = t.Row(t.Report(), t.fleet->At(0).HostPort());
             EXPECT_EQ(row["outcome"], "failed");
             EXPECT_EQ(row["detail"].get<std::string>().rfind(
                           "another camera answers at " + t.fleet->At(0).HostPort(), 0),
                       0u);
             ASSERT_TRUE(row["configFile"].is_string());
             EXPECT_TRUE(fs::exists(row["configFile"].get<std::string>()));
             EXPECT_TRUE(t.fleet->At(0).Config().Restores().empty());
         }},
        {"resume skips only the same camera: one swapped in is upgraded",
         {Camera(74), Camera(75)},
         "--resume first.json",
         0,
         "--parallel 1",
         [](sim::SimFleet& f) {
             f.At(1).Update([](sim::SimCamera& c) {
                 c.serial = "7000999";
                 c.mac = "08:00:46:0C:09:99";
                 c.softVersion = "1.10";
             });
         },
         {},
         "",
         [](BatchCommandTest& t, const CliRun&) {
             const json report = t.Report();
             const json same = t.Row(report, t.fleet->At(0).HostPort());
             EXPECT_EQ(same["outcome"], "skipped");
             EXPECT_EQ(same["resumed"], true);
             EXPECT_EQ(same["versionAfter"], "1.23");  // the earlier row, carried forward
             EXPECT_EQ(t.Row(report, t.fleet->At(1).HostPort())["outcome"], "upgraded");
             EXPECT_EQ(t.Uploads(0), 1u);
             EXPECT_EQ(t.Uploads(1), 2u);
             // The rewritten report still resumes: a third run flashes nothing.
             EXPECT_EQ(t.Batch("--resume report.json").exitCode, 0);
             EXPECT_EQ(t.Uploads(0) + t.Uploads(1), 3u);
         }},
        {"a closed terminal lets the running camera finish and says so in the report",
         {slowReboot},
         "--retain --backup",
         0,
         "",
         {},
         {},
         SignalOnceTheReportHolds(R"("attempts": 1)", "HUP"),
         [](BatchCommandTest& t, const CliRun& run) {
             const json report = t.Report();
             EXPECT_EQ(report["interrupted"], true) << run.text;
             const json row = t.Row(report, t.fleet->At(0).HostPort());
             EXPECT_EQ(row["outcome"], "upgraded");
             EXPECT_TRUE(row["configFile"].is_string());
         }},
        {"a killed run's report says where the camera stood and where its settings are",
         {slowReboot},
         "--retain --backup",
         128 + SIGKILL,
         "",
         {},
         {},
         SignalOnceTheReportHolds(R"("configFile": ")", "KILL"),
         [](BatchCommandTest& t, const CliRun&) {
             const json row = t.Row(t.Report(), t.fleet->At(0).HostPort());
             EXPECT_TRUE(row["outcome"].is_null());  // still running
             EXPECT_TRUE(row["started"].is_string());
             ASSERT_TRUE(row["configFile"].is_string());
             EXPECT_TRUE(fs::exists(row["configFile"].get<std::string>()));
         }},
        {"a report that cannot be written stops the run before any camera",
         {Camera(77)},
         "--report missing/report.json",
         2,
         "",
         {},
         {},
         "",
         [](BatchCommandTest& t, const CliRun&) { EXPECT_TRUE(t.fleet->At(0).Requests().empty()); }},
        {"a report lost during the run ends in 15, and the camera is still finished",
         {[] {
             auto c = Camera(86);
             c.upgrade.rebootMs = 400000;  // 4 s: the camera is still running when its start is written
             return c;
         }()},
         "--report gone/report.json",
         15,
         "",
         {},
         {},
         "sh -c 'mkdir -p gone && exec \"$0\" \"$@\"' " +
             // Moved away in one step: a removal could race a report being written into the
             // folder and leave it standing.
             OnceTheFileHolds("gone/report.json", R"("attempts": 1)", "mv gone lost"),
         [](BatchCommandTest& t, const CliRun& run) {
             EXPECT_EQ(t.Uploads(0), 1u);
             EXPECT_NE(run.text.find("gone/report.json"), std::string::npos) << run.text;
             std::ifstream csv(t.folder + "/report.csv");  // the other report still tells the truth
             const std::string text((std::istreambuf_iterator<char>(csv)), std::istreambuf_iterator<char>());
             EXPECT_NE(text.find(",upgraded,"), std::string::npos) << text;
         }},
        {"an empty list is no success",
         {Camera(78)},
         "",
         14,
         "",
         {},
         [](sim::SimFleet&) { return std::vector<std::string>{}; },
         "",
         {}},
        {"an unconfirmed camera counts for the failure limit",
         {[] {
              auto c = Camera(80);
              c.emergency = true;
              return c;
          }(),
          Camera(81)},
         "--parallel 1 --max-failures 1",
         13,
         "",
         {},
         {},
         "",
         [](BatchCommandTest& t, const CliRun&) {
             EXPECT_EQ(t.Row(t.Report(), t.fleet->At(0).HostPort())["outcome"], "unconfirmed");
             EXPECT_EQ(t.Row(t.Report(), t.fleet->At(1).HostPort())["outcome"], "not-started");
         }},
        {"the failure limit says 13 only when it held a camera back",
         {[] {
             auto c = Camera(82);
             c.http.refuseLogin = true;
             return c;
         }()},
         "--max-failures 1",
         12,
         "",
         {},
         {},
         "",
         {}},
        {"a closed standard output ends the printing, not the run",
         {Camera(83)},
         "",
         0,
         "",
         {},
         {},
         "",
         [](BatchCommandTest& t, const CliRun&) {
             // Run again behind a reader that goes at once; the exit code is the tool's own.
             t.fleet->At(0).Update([](sim::SimCamera& c) { c.softVersion = "1.10"; });
             const std::string command =
                 "cd '" + t.folder + "' && { XQT_PASSWORD=admin ProgramFiles='" + t.folder + "' " + XQT_CLI +
                 " batch --targets targets.txt --user admin --time-scale 0.05 --report "
                 "piped.json; echo $? > rc.txt; } 2>/dev/null | head -c 1 >/dev/null";
             RunShell<json>(command);
             std::ifstream rc(t.folder + "/rc.txt");
             int code = -1;
             rc >> code;
             EXPECT_EQ(code, 0);
             std::ifstream in(t.folder + "/piped.json");
             EXPECT_EQ(json::parse(in, nullptr, false)["cameras"][0]["outcome"], "upgraded");
         }},
        {"camera texts never become spreadsheet formulas",
         {formula},
         "",
         12,
         "",
         {},
         {},
         "",
         [](BatchCommandTest& t, const CliRun&) {
             std::ifstream csv(t.folder + "/report.csv");
             std::string header, line;
             std::getline(csv, header);
             std::getline(csv, line);
             EXPECT_NE(line.find(",\"'=HYPERLINK(\"\"x\"\")\","), std::string::npos) << line;
         }},
        {"a dry run and a refused login claim no image sent, and plain output reads as words",
         {[] {
              auto c = Camera(87);
              c.http.refuseLogin = true;
              return c;
          }(),
          Camera(88)},
         "--dry-run",
         12,
         "",
         {},
         {},
         "",
         [](BatchCommandTest& t, const CliRun&) {
             const json report = t.Report();
             const json refused = t.Row(report, t.fleet->At(0).HostPort());
             const json suitable = t.Row(report, t.fleet->At(1).HostPort());
             EXPECT_EQ(suitable["outcome"], "suitable");
             for (const char* key : {"imageVersion", "imageSha256", "plannedVersion", "plannedSha256"})
                 EXPECT_TRUE(refused[key].is_null()) << key;
             EXPECT_TRUE(suitable["imageVersion"].is_null() && suitable["imageSha256"].is_null());
             EXPECT_EQ(suitable["plannedVersion"], "1.23");
             EXPECT_EQ(suitable["plannedSha256"].get<std::string>().size(), 64u);
             // Piped without --json: outcome words and details, never a status code.
             const CliRun plain = RunShell<json>(
                 "cd '" + t.folder + "' && ProgramFiles='" + t.folder + "' XQT_PASSWORD=admin " + XQT_CLI +
                 " batch --targets targets.txt --user admin --time-scale 0.05 "
                 "--dry-run </dev/null 2>&1 | cat");
             EXPECT_EQ(plain.text.find("Error"), std::string::npos) << plain.text;
             EXPECT_NE(plain.text.find(t.fleet->At(0).HostPort() + " failed (login refused"),
                       std::string::npos)
                 << plain.text;
             EXPECT_NE(plain.text.find(t.fleet->At(1).HostPort() + " suitable"), std::string::npos)
                 << plain.text;
         }},
        {"retaining without a backup leaves no empty dated folder",
         {Restoring(Camera(84))},
         "--retain",
         0,
         "",
         {},
         {},
         "",
         [](BatchCommandTest& t, const CliRun&) {
             const fs::path saved = fs::path(t.folder) / "VEXO/XQT FirmwareUpgrade/Configurations";
             ASSERT_TRUE(fs::exists(saved));
             EXPECT_TRUE(fs::is_empty(saved));
         }},
    };
}

// One case per row, so that the rows run side by side.
class FleetFaultTest : public BatchCommandTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FleetFaultTest, EndsInItsOwnOutcome) {
    const Fault& fault = GetParam();
    Start(fault.cameras);
    if (fault.list) {
        std::ofstream list(folder + "/targets.txt");
        for (const std::string& line : fault.list(*fleet))
            list << line << "\n";
    }
    if (!fault.before.empty()) {
        ASSERT_EQ(Batch(fault.before).exitCode, 0);
        fs::rename(folder + "/report.json", folder + "/first.json");
        if (fault.meanwhile) fault.meanwhile(*fleet);
    }
    const CliRun run = Batch(fault.options, fault.prefix);
    EXPECT_EQ(run.exitCode, fault.exitCode) << run.text;
    if (fault.check) fault.check(*this, run);
    if (fs::exists(folder + "/report.json")) ExpectValidReport(folder + "/report.json");
}

/// "a closed terminal lets ..." as AClosedTerminalLets...: the row's words as a case name.
std::string CaseName(const ::testing::TestParamInfo<Fault>& info) {
    std::string name;
    bool upper = true;
    for (const char* c = info.param.name; *c; ++c) {
        if (!std::isalnum(static_cast<unsigned char>(*c))) {
            upper = true;
            continue;
        }
        name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(*c))) : *c;
        upper = false;
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Rows, FleetFaultTest, ::testing::ValuesIn(FleetFaults()), CaseName);

TEST_F(BatchCommandTest, ACredentialsFileThatRepeatsACameraIsRefused) {
    Start({Camera(85)});
    const std::string file = folder + "/logins.csv";
    std::ofstream(file) << fleet->At(0).HostPort() << ",admin,admin\n"
                        << fleet->At(0).HostPort() << ",user,user\n";
    ::chmod(file.c_str(), 0600);
    const CliRun run = Batch("--credentials logins.csv");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.text.find("line 2 repeats the camera"), std::string::npos) << run.text;
    EXPECT_TRUE(fleet->At(0).Requests().empty());
}

// The wizard's 256 cameras are no limit here: a range of 256 addresses where nothing answers, then
// two cameras, gives 258 rows, and the two beyond the 256th are upgraded side by side.
TEST_F(BatchCommandTest, AListLongerThanTheWizardsIsRunWhole) {
    Start({Camera(71), Camera(72)});
    std::ofstream(folder + "/targets.txt") << "# nobody home\n127.0.13.0-255\n"
                                           << fleet->At(0).HostPort() << "\n"
                                           << fleet->At(1).HostPort() << "\n";
    // However the engine treats the silent addresses, none may hold its slot longer than an
    // inquiry limit; then the two cameras' upgrades side by side.
    const auto longest = EngineTiming{}.inquiryLimit * (256 / 2) + UpgradeLimit(EngineTiming{});
    const CliRun run = Batch("--parallel 2", TimeoutPrefix(ToolTime(longest)));
    EXPECT_EQ(run.exitCode, 12) << run.text;
    const json report = Report();
    ASSERT_EQ(report["cameras"].size(), 258u) << run.text;
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(Row(report, fleet->At(i).HostPort())["status"], "Completed") << i;
        EXPECT_EQ(Uploads(i), 1u) << i;
    }
}

// What must stop a run before any camera is touched: exit 2 with the reason.
TEST_F(BatchCommandTest, UnsafeOrBrokenInputsAreRefusedBeforeAnyCamera) {
    Start({Camera(81)});
    const std::string camera = fleet->At(0).HostPort();
    const std::string open = folder + "/open-password";
    std::ofstream(open) << "admin\n";
    ::chmod(open.c_str(), 0640);
    const std::string long4097 = "127.1.0.0/22\n127.1.4.0/22\n127.1.8.0/22\n127.1.12.0/22\n127.2.0.1-9\n";
    const std::string zero = camera + "\n" + std::string(1, '\0') + "127.0.14.1\n";
    // Files named by two options: the CSV is the password file, a link and a hard link to the list.
    std::ofstream(folder + "/report.csv") << "admin\n";
    ::chmod((folder + "/report.csv").c_str(), 0600);
    std::ofstream(folder + "/targets.txt") << camera << "\n";
    fs::create_symlink("targets.txt", folder + "/link.json");
    fs::create_hard_link(folder + "/targets.txt", folder + "/hard.json");
    struct Case {
        const char* what;
        std::string list, prefix, options, says;
    } cases[] = {
        {"a list past the limit", long4097, "", "", "line 5: the list names more than 4096 cameras"},
        {"a zero byte", zero, "", "", "line 2: a zero byte"},
        {"a password file others can read", camera, "", "--password-file open-password", "(chmod 600)"},
        {"no password and no prompt", camera, "env -u XQT_PASSWORD", "--no-prompt",
         "--no-prompt forbids asking for one"},
        {"the report and the CSV one file", camera, "", "--report report.csv",
         "--report and --csv name the same file (report.csv)"},
        {"the CSV over the password file", camera, "", "--password-file report.csv",
         "--password-file and --csv name the same file (report.csv)"},
        {"the report over the targets", camera, "", "--report targets.txt",
         "--targets and --report name the same file (targets.txt)"},
        {"the report over a link to the targets", camera, "", "--report link.json",
         "--targets and --report name the same file (targets.txt is link.json)"},
        {"the report over a hard link to the targets", camera, "", "--report hard.json",
         "--targets and --report name the same file (targets.txt is hard.json)"},
        {"the credentials over the report", camera, "", "--credentials report.json",
         "--credentials and --report name the same file (report.json)"},
        {"a multicast address", "224.0.0.1\n", "", "", "line 1: 224.0.0.1, a multicast address"},
        {"a host name first", "cam1.local\n" + camera, "", "", "line 1: \"cam1.local\" is a host name"},
    };
    for (const Case& c : cases) {
        std::ofstream(folder + "/targets.txt", std::ios::binary) << c.list;
        const CliRun run = Batch(c.options, c.prefix);
        EXPECT_EQ(run.exitCode, 2) << c.what << "\n" << run.text;
        EXPECT_NE(run.text.find(c.says), std::string::npos) << c.what << "\n" << run.text;
    }
    EXPECT_EQ(Uploads(0), 0u);
    std::ifstream password(folder + "/report.csv");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(password), {}), "admin\n")
        << "the password file is kept";
}

}  // namespace
}  // namespace xqt::test
