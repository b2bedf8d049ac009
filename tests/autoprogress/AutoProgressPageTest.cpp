// Whole automatic runs over simulated cameras: the order in which cameras start and the two-worker
// window as the rows show them, failures that end one camera only, the image chosen by DocType,
// Abort, the confirmation and the setup-data options, the counter, Finish and the upgrade log.
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "AutoProgressSupport.h"
#include "controls/RowPainter.h"
#include "targets/CameraRecord.h"

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

TEST_F(AutoProgressTest, ThreeCamerasStartInRowOrderWithAtMostTwoInProgress) {
    Open({Camera(1), Camera(2), Camera(3)});
    NoRetain();
    EXPECT_EQ(page->CounterText(), "0/3");
    ASSERT_EQ(modes, std::vector<int>{2});
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForFinish());

    for (const auto& sample : samples) {
        int inProgress = 0;
        int loading = 0;
        for (const auto& word : sample) {
            const Shown shown = Classify(word);
            inProgress += shown == Shown::Active || shown == Shown::Loading;
            loading += shown == Shown::Loading;
        }
        EXPECT_LE(inProgress, 2);
        EXPECT_LE(loading, 1);
    }
    const std::size_t first = FirstStarted(samples, 0);
    const std::size_t second = FirstStarted(samples, 1);
    const std::size_t third = FirstStarted(samples, 2);
    ASSERT_LT(first, second);
    ASSERT_LT(second, third);
    ASSERT_LT(third, samples.size());
    // The second camera starts once the first has left saving and uploading; the third only when
    // one of the first two has ended.
    EXPECT_NE(Classify(samples[second][0]), Shown::Loading);
    EXPECT_TRUE(Classify(samples[third][0]) == Shown::Ended || Classify(samples[third][1]) == Shown::Ended);

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
}

TEST_F(AutoProgressTest, RefusedLoginEndsThatCameraWithError3AndTheNextOneGoesOn) {
    std::vector<sim::SimCamera> cameras{Camera(11), Camera(12), Camera(13)};
    cameras[1].http.refuseLogin = true;
    Open(cameras);
    NoRetain();
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForFinish());

    EXPECT_EQ(Status(0), "Completed");
    EXPECT_EQ(Status(1), "Error3");
    EXPECT_EQ(Status(2), "Completed");
    EXPECT_EQ(page->List().Row(1).progress.Load(), 10000);
    EXPECT_EQ(page->List().Row(1).text[ProgressSlot::VERSION], "1.10");
    EXPECT_TRUE(fleet->At(1).Upgrade().Records().empty());
    EXPECT_EQ(fleet->At(2).Upgrade().Records().size(), 1u);
    EXPECT_EQ(logText.toStdString(), Line(AddressOf(0), "Completed successfully.") +
                                         Line(AddressOf(1), "Login error.") +
                                         Line(AddressOf(2), "Completed successfully."));
    EXPECT_EQ(page->CounterText(), "3/3");
}

TEST_F(AutoProgressTest, ACameraThatDoesNotAnswerIsMissingAfterOneInquiry) {
    std::vector<sim::SimCamera> cameras{Camera(14)};
    cameras[0].http.answerDelayMs = 300000;  // 3 s in scaled time, past the 2 s inquiry limit
    Open(cameras);
    NoRetain();
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForFinish());

    EXPECT_EQ(Status(0), "Error1");
    const auto asked = fleet->At(0).Requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].request.body, "inq=system");
    EXPECT_EQ(logText.toStdString(), Line(AddressOf(0), "Network error (missing target)."));
}

TEST_F(AutoProgressTest, DocTypeChoosesTheImageAndADhcpCameraIsLoggedAsSuch) {
    std::vector<sim::SimCamera> cameras{Camera(21), Camera(22), Camera(23)};
    cameras[0].docType = kSecondSlotKey;
    cameras[1].docType = "XQT-DOC-Z";           // no slot has this key
    cameras[2].docType = kSecondSlotKey + " ";  // keys are compared exactly
    Open(cameras, {2});
    NoRetain();
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForFinish());

    ASSERT_NE(SlotSha(0), SlotSha(1));
    const std::string expected[] = {SlotSha(1), SlotSha(0), SlotSha(0)};
    for (int i = 0; i < 3; ++i) {
        const auto images = fleet->At(i).Upgrade().Records();
        ASSERT_EQ(images.size(), 1u) << i;
        EXPECT_EQ(images[0].sha256, expected[i]) << i;
        EXPECT_EQ(Status(i), "Completed") << i;
    }
    EXPECT_EQ(logText.toStdString(), Line(AddressOf(0), "Completed successfully.") +
                                         Line(AddressOf(1), "Completed successfully.") +
                                         Line("DHCP:" + AddressOf(2), "Completed successfully."));
}

TEST_F(AutoProgressTest, AbortLetsRunningCamerasFinishAndDropsTheQueuedOnes) {
    std::vector<sim::SimCamera> cameras;
    for (int n = 31; n <= 36; ++n) {
        cameras.push_back(Camera(n));
        cameras.back().upgrade.progressStepMs = 8000;  // a longer overwrite: room to abort
    }
    Open(cameras);
    NoRetain();
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitUntil([&] {
        Sample();
        return Classify(Status(0)) != Shown::Waiting && Classify(Status(1)) != Shown::Waiting;
    }));
    page->Abort();
    ASSERT_TRUE(WaitForFinish());

    EXPECT_EQ(Status(0), "Completed");
    EXPECT_EQ(Status(1), "Completed");
    for (int row = 2; row < 6; ++row) {
        const ProgressRecord& record = page->List().Row(row);
        EXPECT_EQ(Status(row), "Standby") << row;
        EXPECT_EQ(record.progress.Load(), 0) << row;
        EXPECT_EQ(record.result, 0) << row;
        // A dropped camera was never asked anything.
        EXPECT_TRUE(fleet->At(row).Requests().empty()) << row;
    }
    EXPECT_EQ(page->CounterText(), "6/6");
    EXPECT_EQ(modes.back(), 4);
    EXPECT_EQ(logText.toStdString(),
              Line(AddressOf(0), "Completed successfully.") + Line(AddressOf(1), "Completed successfully."));
    EXPECT_FALSE(page->Running());
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
    ASSERT_TRUE(WaitUntil([&] { return boxes.Count() == 1; }, 5s));
    EXPECT_TRUE(retain->isEnabled());
    EXPECT_FALSE(backup->isEnabled());

    retain->click();
    boxes.QueueAnswer(platform::MbResult::Cancel);
    page->Start();
    ASSERT_TRUE(WaitUntil([&] { return boxes.Count() == 2; }, 5s));
    EXPECT_TRUE(backup->isEnabled());

    WaitUntil([] { return false; }, 100ms);
    EXPECT_FALSE(page->Running());
    EXPECT_EQ(modes, std::vector<int>{2});
    EXPECT_TRUE(fleet->At(0).Requests().empty());
}

TEST_F(AutoProgressTest, RetainedSettingsArePutBackAndTheSavedFileDeletedWithoutBackup) {
    Open({Camera(51)});
    ASSERT_TRUE(Box("retain")->isChecked());
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitForFinish(60s));

    EXPECT_EQ(Status(0), "Completed");
    const auto restores = fleet->At(0).Config().Restores();
    ASSERT_FALSE(restores.empty());
    int savedFiles = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(programFiles.Path()))
        savedFiles += entry.is_regular_file();
    EXPECT_EQ(savedFiles, 0);
    EXPECT_EQ(logText.toStdString(), Line(AddressOf(0), "Completed successfully."));
}

TEST_F(AutoProgressTest, AnEmptyListOffersFinishOnlyAfterUpgrade) {
    Open({});
    WaitUntil([] { return false; }, 50ms);
    EXPECT_EQ(page->CounterText(), "0/0");
    EXPECT_EQ(modes, std::vector<int>{2});
    EXPECT_EQ(logsShown, 0);

    page->Start();
    ASSERT_TRUE(WaitForFinish(5s));
    EXPECT_EQ(modes, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(logsShown, 1);
    EXPECT_TRUE(logText.isEmpty());
}

TEST_F(AutoProgressTest, ACameraInEmergencyStateTakesTheRecoveryPathAndIsNotConfirmed) {
    std::vector<sim::SimCamera> cameras{Camera(91)};
    cameras[0].emergency = true;
    Open(cameras);
    NoRetain();
    ASSERT_TRUE(StartRun());
    // Such a camera never answers the upload: a session that completes the request loses the link
    // and searches for the camera, where the recovery path counts its ticks up to 9800.
    int highest = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            Sample();
            const std::int32_t progress = page->List().Row(0).progress.Load();
            if (progress < 10000) highest = std::max(highest, progress);
            return std::find(modes.begin(), modes.end(), 4) != modes.end();
        },
        60s));

    EXPECT_GE(highest, 9000);  // the lost-link path stays far below: a few units per tick
    EXPECT_LE(highest, 9800);
    for (const auto& sample : samples)
        EXPECT_NE(sample[0], "Searching");
    EXPECT_EQ(Status(0), "Completed");
    const auto images = fleet->At(0).Upgrade().Records();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].sha256, SlotSha(0));
    for (const auto& request : fleet->At(0).Requests())
        EXPECT_NE(request.request.body, "inq=user");  // a camera in recovery state needs no login
    // Nothing asked the camera for its version afterwards: the version is the image's, unconfirmed.
    EXPECT_EQ(page->List().Row(0).text[ProgressSlot::VERSION], "1.23");
    EXPECT_EQ(page->List().Row(0).confirmed, 0);
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
    ASSERT_TRUE(WaitUntil([&] { return !fleet->At(0).Requests().empty(); }, 5s));

    bool turned = false;
    QTimer::singleShot(0, page.get(), [&] { turned = true; });
    ASSERT_TRUE(WaitUntil([&] { return turned; }, 5s));
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
