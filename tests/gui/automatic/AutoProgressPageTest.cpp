// What the automatic progress page adds to the run it draws (the run's own rules are tested on the
// engine): the confirmation and the setup-data options, the counter, the buttons, Finish and the
// upgrade log, the version column, and an event loop that never waits for a camera.
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "AutoProgressSupport.h"
#include "fleet/CameraRecord.h"
#include "fleet/Report.h"
#include "fleet/UpgradeHistory.h"
#include "gui/controls/RowPainter.h"

namespace xqt::test {
namespace {

using namespace std::chrono_literals;

/// The first sample in which `row` no longer waits; samples.size() when it never left.
std::size_t FirstStarted(const std::vector<std::vector<std::string>>& samples, int row) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (Classify(samples[i][row]) != Shown::Waiting) return i;
    }
    return samples.size();
}

std::string Line(const std::string& inner, const std::string& result) {
    return "XQT-TR60(" + inner + ") " + result + "\n";
}

TEST_F(AutoProgressTest, ARunShowsItsRowsCounterButtonsAndLog) {
    Open({Camera(1), Camera(2), Camera(3)});
    NoRetain();
    EXPECT_EQ(page->CounterText(), "0/3");
    ASSERT_EQ(modes, std::vector<int>{2});
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForFinish());

    for (int row = 0; row < 3; ++row) {
        const ProgressRecord& record = page->List().Row(row);
        EXPECT_EQ(Status(row), "Completed");
        EXPECT_EQ(record.text[ProgressSlot::VERSION], "1.23");
        EXPECT_EQ(record.progress.Load(), 10000);
        const auto images = fleet->At(row).Upgrade().Records();
        ASSERT_EQ(images.size(), 1u);
        EXPECT_TRUE(images[0].accepted);
        EXPECT_EQ(images[0].sha256, SlotSha(0));
    }
    EXPECT_EQ(page->CounterText(), "3/3");
    EXPECT_EQ(page->findChild<QLabel*>("counterLabel")->text(), "Proceeded:");
    EXPECT_EQ(modes, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(logsShown, 1);
    EXPECT_EQ(logText.toStdString(), Line(AddressOf(0), "Completed successfully.") +
                                         Line(AddressOf(1), "Completed successfully.") +
                                         Line(AddressOf(2), "Completed successfully."));
    const auto taken = boxes.Taken();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].text, "Proceed to the firmware upgrade?");
    EXPECT_EQ(taken[0].caption, "Information");
    EXPECT_EQ(taken[0].buttons, platform::MbButtons::OkCancel);
    EXPECT_EQ(taken[0].icon, platform::MbIcon::Question);
    EXPECT_FALSE(page->Running());

    // Every camera the run wrote to has its line in the upgrade history, with its MAC.
    const auto history = ReadHistory(HistoryPath());
    ASSERT_TRUE(history) << history.error();
    ASSERT_EQ(history->size(), 3u);
    for (const HistoryEntry& line : *history) {
        SCOPED_TRACE(line.address);
        const int camera = line.address == AddressOf(0) ? 0 : line.address == AddressOf(1) ? 1 : 2;
        EXPECT_EQ(line.address, AddressOf(camera));
        EXPECT_EQ(line.tool, "xqt-upgrade");
        EXPECT_TRUE(SameMac(line.mac, fleet->At(camera).Camera().mac)) << line.mac;
        EXPECT_EQ(line.outcome, Outcome::Upgraded);
        EXPECT_EQ(line.versionAfter, "1.23");
    }
}

TEST_F(AutoProgressTest, DecliningTheConfirmationStartsNothingAndGivesTheOptionsBack) {
    Open({Camera(41)});
    QCheckBox* retain = Box("retain");
    QCheckBox* backup = Box("backup");
    ASSERT_TRUE(retain->isChecked());
    ASSERT_FALSE(backup->isChecked());

    backup->click();
    retain->click();  // unticking Retain unticks and disables Backup
    EXPECT_FALSE(backup->isChecked());
    EXPECT_FALSE(backup->isEnabled());

    boxes.QueueAnswer(platform::MbResult::Cancel);
    page->Start();
    EXPECT_FALSE(retain->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return boxes.Count() == 1; }));
    EXPECT_TRUE(retain->isEnabled());
    EXPECT_FALSE(backup->isEnabled());

    retain->click();
    boxes.QueueAnswer(platform::MbResult::Cancel);
    page->Start();
    ASSERT_TRUE(WaitUntil([&] { return boxes.Count() == 2; }));
    EXPECT_TRUE(backup->isEnabled());

    Settle(Timing().confirmationDelay);  // a run the answer had started would be under way
    EXPECT_FALSE(page->Running());
    EXPECT_EQ(modes, std::vector<int>{2});
    EXPECT_TRUE(fleet->At(0).Requests().empty());
}

TEST_F(AutoProgressTest, RetainedSettingsArePutBackAndTheSavedFileDeletedWithoutBackup) {
    Open({Camera(51)});
    ASSERT_TRUE(Box("retain")->isChecked());
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForFinish());

    EXPECT_EQ(Status(0), "Completed");
    const auto restores = fleet->At(0).Config().Restores();
    ASSERT_FALSE(restores.empty());
    // The upgrade history beside the Configurations folder stays; no saved file does.
    const std::filesystem::path saved = programFiles.Path() + "/VEXO/XQT FirmwareUpgrade/Configurations";
    int savedFiles = 0;
    if (std::filesystem::exists(saved)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(saved))
            savedFiles += entry.is_regular_file();
    }
    EXPECT_EQ(savedFiles, 0);
    EXPECT_EQ(logText.toStdString(), Line(AddressOf(0), "Completed successfully."));
}

TEST_F(AutoProgressTest, AnEmptyListOffersFinishOnlyAfterUpgrade) {
    Open({});
    Settle(Timing().counterPeriod);
    EXPECT_EQ(page->CounterText(), "0/0");
    EXPECT_EQ(modes, std::vector<int>{2});
    EXPECT_EQ(logsShown, 0);

    page->Start();
    ASSERT_TRUE(WaitForFinish(OneUpgrade()));
    EXPECT_EQ(modes, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(logsShown, 1);
    EXPECT_TRUE(logText.isEmpty());
}

TEST_F(AutoProgressTest, ACameraInEmergencyStateTakesTheEmergencyPathAndIsNotConfirmed) {
    std::vector<sim::SimCamera> cameras{Camera(91)};
    cameras[0].emergency = true;
    Open(cameras);
    NoRetain();
    ASSERT_TRUE(StartRun());
    // Such a camera never answers the upload: a session that completes the request loses the link
    // and searches for the camera, where the emergency path counts its ticks up to 9800.
    int highest = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            Sample();
            const std::int32_t progress = page->List().Row(0).progress.Load();
            if (progress < 10000) highest = std::max(highest, progress);
            return std::find(modes.begin(), modes.end(), 4) != modes.end();
        },
        OneUpgrade()));

    EXPECT_GE(highest, 9000);  // the lost-link path stays far below: a few units per tick
    EXPECT_LE(highest, 9800);
    for (const auto& sample : samples)
        EXPECT_NE(sample[0], "Searching");
    EXPECT_EQ(Status(0), "Completed");
    const auto images = fleet->At(0).Upgrade().Records();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].sha256, SlotSha(0));
    for (const auto& request : fleet->At(0).Requests())
        EXPECT_NE(request.request.body, "inq=user");  // a camera in emergency state needs no login
    // Nothing asked the camera for its version afterwards: the version is the image's, unconfirmed.
    EXPECT_EQ(page->List().Row(0).text[ProgressSlot::VERSION], "1.23");
    EXPECT_FALSE(page->List().Row(0).confirmed);
    // The version column shows the mark whole.
    const QString shown = page->List().model()->index(0, ProgressSlot::VERSION).data().toString();
    EXPECT_EQ(shown, "1.23 (not confirmed)");
    EXPECT_EQ(detail::FitCellText(QFontMetrics(page->List().font()), shown,
                                  page->List().header()->sectionSize(ProgressSlot::VERSION),
                                  detail::CELL_FIT_MARGIN),
              shown);
    EXPECT_EQ(logText.toStdString(),
              Line(AddressOf(0), "Completed successfully. Version 1.23 (not confirmed)."));
}

TEST_F(AutoProgressTest, TheWindowRunsWhileACameraIsInquiredAndNothingStartsBehindIt) {
    std::vector<sim::SimCamera> cameras{Camera(95), Camera(96)};
    cameras[0].http.onlyFor = {"inq=system"};
    cameras[0].http.answerDelayMs = 60000;  // 0.6 s in scaled time
    Open(cameras);
    NoRetain();
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitUntil([&] { return !fleet->At(0).Requests().empty(); }));

    bool turned = false;
    QTimer::singleShot(0, page.get(), [&] { turned = true; });
    ASSERT_TRUE(WaitUntil([&] { return turned; }));
    // Had the inquiry blocked the event loop, the user inquiry and the start would be over by now.
    const auto asked = fleet->At(0).Requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].request.body, "inq=system");
    EXPECT_EQ(Status(0), "Standby");
    EXPECT_EQ(Status(1), "Standby");
    EXPECT_TRUE(fleet->At(1).Requests().empty());

    ASSERT_TRUE(WaitForFinish());
    EXPECT_EQ(Status(0), "Completed");
    EXPECT_EQ(Status(1), "Completed");
    EXPECT_LT(FirstStarted(samples, 0), FirstStarted(samples, 1));
}

}  // namespace
}  // namespace xqt::test
