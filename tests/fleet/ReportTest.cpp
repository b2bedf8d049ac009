// The report writer: CSV quoting, the JSON shape of each kind of row, the summary, the atomic
// rewrite and the reading of an earlier report for a resumed run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "fleet/BatchRun.h"
#include "fleet/Report.h"
#include "platform/Resources.h"

namespace xqt {
namespace {

ProgressRecord Row(RowEnd end, std::int32_t result = 0, bool confirmed = false) {
    ProgressRecord row;
    row.text[ProgressSlot::ADDRESS] = "127.0.0.5:8080";
    row.text[ProgressSlot::MODEL] = "XQT-TR60";
    row.text[ProgressSlot::VERSION] = "1.23";
    row.previousVersion = "1.10";
    row.mac = "08-00-46-00-00-01";
    row.serial = "12,\"3\"";  // needs quoting in CSV
    row.end = end;
    row.result = StatusOf(result);
    row.confirmed = confirmed;
    row.progress = end == RowEnd::Finished ? PROGRESS_MAX : 0;
    row.attempts = end == RowEnd::Skipped || end == RowEnd::NotStarted || end == RowEnd::Pending ? 0 : 1;
    return row;
}

TEST(ReportTest, EachKindOfRowHasItsStatusCodeVersionAndConfirmation) {
    platform::UseResources(platform::EmbeddedResources());  // the status words
    struct Case {
        ProgressRecord row;
        const char* status;
        std::optional<int> code;
        std::optional<std::string> after;
        bool confirmed;
        const char* outcome;
    };
    ProgressRecord notRestored = Row(RowEnd::Finished, 9, true);
    notRestored.failure = UpgradeFailure::NotRestored;
    const Case cases[] = {
        {Row(RowEnd::Finished, 9, true), "Completed", 9, "1.23", true, "upgraded"},
        {Row(RowEnd::Finished, 9, false), "Completed", 9, "1.23", false, "unconfirmed"},
        {Row(RowEnd::Finished, 12), "Error3", 12, std::nullopt, false, "failed"},
        {Row(RowEnd::Current), "current", std::nullopt, "1.10", true, "current"},
        {Row(RowEnd::Unsuitable), "unsuitable", std::nullopt, std::nullopt, false, "unsuitable"},
        {Row(RowEnd::Skipped), "skipped", std::nullopt, std::nullopt, false, "skipped"},
        {Row(RowEnd::NotStarted), "not started", std::nullopt, std::nullopt, false, "not-started"},
        {Row(RowEnd::Pending), "not started", std::nullopt, std::nullopt, false, "not-started"},
        {notRestored, "Completed", 9, "1.23", true, "settings-not-restored"},
    };
    Report report;
    report.tool = "xqt-cli 1.0.0";
    report.imageVersion = "1.23";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const ReportRow row = ReportRowOf(c.row);
        EXPECT_EQ(row.status, c.status);
        EXPECT_EQ(row.statusCode, c.code);
        EXPECT_EQ(row.versionAfter, c.after);
        EXPECT_EQ(row.confirmed, c.confirmed);
        ASSERT_TRUE(row.outcome);
        EXPECT_STREQ(OutcomeWord(*row.outcome), c.outcome);
        report.cameras.push_back(row);
    }
    const ReportSummary s = report.Summary();
    EXPECT_EQ(s.total, 9);
    EXPECT_EQ(s.completed, 1);
    EXPECT_EQ(s.current, 1);
    EXPECT_EQ(s.failed, 4);  // unconfirmed, Error3, unsuitable, settings not restored
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(s.notStarted, 2);

    const auto json = nlohmann::json::parse(report.Json());
    EXPECT_EQ(json["cameras"].size(), 9u);
    EXPECT_TRUE(json["cameras"][2]["versionAfter"].is_null());
    EXPECT_TRUE(json["cameras"][3]["statusCode"].is_null());
    EXPECT_TRUE(json["ended"].is_null());
    EXPECT_EQ(json["cameras"][0]["message"], "XQT-TR60(127.0.0.5:8080) Completed successfully.");

    const std::string csv = report.Csv();
    EXPECT_NE(csv.find(",\"12,\"\"3\"\"\","), std::string::npos) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 10);
}

TEST(ReportTest, ARewriteReplacesTheFileWholeAndAResumeReadsOnlyConfirmedCameras) {
    const auto folder = std::filesystem::temp_directory_path() / "xqt-report-test";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "r.json").string();
    Report report;
    report.imageVersion = "1.23";
    ProgressRecord unconfirmed = Row(RowEnd::Finished, 9, false);
    unconfirmed.mac = "";
    unconfirmed.text[ProgressSlot::ADDRESS] = "127.0.0.6";
    report.cameras = {ReportRowOf(Row(RowEnd::Finished, 9, true)), ReportRowOf(unconfirmed)};
    ASSERT_TRUE(WriteFileAtomically(path, std::string(100000, 'x')));
    const Result<void> written = WriteFileAtomically(path, report.Json());
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);  // no temporary left

    const auto done = ReadDoneCameras(path, "1.23");
    ASSERT_TRUE(done);
    ASSERT_TRUE(done->Candidate("08:00:46:00:00:01", "10.0.0.1"));  // by MAC, whatever its form
    EXPECT_EQ(done->Candidate("08:00:46:00:00:01", "10.0.0.1")->serial, "12,\"3\"");
    EXPECT_FALSE(done->Candidate("", "127.0.0.6"));  // not confirmed: done again
    EXPECT_FALSE(ReadDoneCameras(path, "1.30")->Candidate("08-00-46-00-00-01", ""));  // another image

    std::ofstream(path) << "not a report";
    const auto notReport = ReadDoneCameras(path, "1.23");
    EXPECT_FALSE(notReport);
    EXPECT_FALSE(notReport.error().empty());
    EXPECT_FALSE(WriteFileAtomically((folder / "missing" / "r.json").string(), "{}"));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace xqt
