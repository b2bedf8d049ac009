// The upgrade log: its lines (normal and DHCP cameras, cameras that never started, a result
// without a text) and the dialog that shows them read-only, black on white, from the top.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <vector>

#include "camera/ResourceState.h"
#include "fleet/BatchRun.h"
#include "fleet/UpgradeLog.h"
#include "gui/automatic/UpgradeLogDialog.h"
#include "tests/gui/controls/ControlsTestSupport.h"
#include "tests/support/Slowdown.h"

namespace xqt {
namespace {

/// A row as the page leaves it; a completed camera confirmed its version unless told otherwise.
ProgressRecord Row(const std::string& model, const std::string& address, int progress, int result,
                   bool dhcp = false, bool confirmed = true) {
    ProgressRecord r;
    r.text[ProgressSlot::MODEL] = model;
    r.text[ProgressSlot::ADDRESS] = address;
    r.text[ProgressSlot::VERSION] = "1.23";
    r.progress = progress;
    r.result = StatusOf(result);
    r.dhcp = dhcp;
    r.confirmed = confirmed;
    return r;
}

class UpgradeLogTest : public ::testing::Test {
  protected:
    void SetUp() override { test::EnsureApp(); }
};

TEST_F(UpgradeLogTest, LinesNameModelAddressAndResult) {
    EXPECT_EQ(LogLine(Row("XQT-TR60", "192.168.0.10", 10000, 9)),
              "XQT-TR60(192.168.0.10) Completed successfully.\r\n");
    EXPECT_EQ(LogLine(Row("XQT-TR60N", "192.168.0.11:8080", 10000, 12)),
              "XQT-TR60N(192.168.0.11:8080) Login error.\r\n");
    EXPECT_EQ(LogLine(Row("XQT-TR60", "192.168.0.12", 10000, 10, true)),
              "XQT-TR60(DHCP:192.168.0.12) Network error (missing target).\r\n");
    // A completion the camera did not confirm says so; "confirmed" means nothing for a failure.
    EXPECT_EQ(LogLine(Row("XQT-TR60", "192.168.0.13", 10000, 9, true, false)),
              "XQT-TR60(DHCP:192.168.0.13) Completed successfully. Version 1.23 (not confirmed).\r\n");
    EXPECT_EQ(LogLine(Row("XQT-TR60", "192.168.0.14", 10000, 11, false, false)),
              "XQT-TR60(192.168.0.14) Upgrade sequence error.\r\n");
}

TEST_F(UpgradeLogTest, EveryFinalResultHasItsText) {
    const std::vector<std::string> expected = {"Completed successfully.\r\n",
                                               "Network error (missing target).\r\n",
                                               "Upgrade sequence error.\r\n",
                                               "Login error.\r\n",
                                               "Ftp error.\r\n",
                                               "Insufficient memory.\r\n",
                                               "Cannot save config.\r\n",
                                               "Cannot load config.\r\n"};
    for (int result = 9; result <= 16; ++result)
        EXPECT_EQ(LogResultText(result), expected[result - 9]) << result;
    for (int other : {0, 8, 17, -1})
        EXPECT_EQ(LogResultText(other), "") << other;
}

TEST_F(UpgradeLogTest, CamerasThatNeverStartedAreLeftOut) {
    // Dropped by an abort: no progress, result 0.
    EXPECT_EQ(LogLine(Row("XQT-TR60", "192.168.0.13", 0, 0)), "");
    EXPECT_EQ(
        UpgradeLogText(std::vector<ProgressRecord>{Row("A", "1.1.1.1", 0, 0), Row("B", "1.1.1.2", 0, 0)}),
        "");
}

TEST_F(UpgradeLogTest, ARowWithProgressButNoFinalResultStillEndsItsLine) {
    const std::string log = UpgradeLogText(
        std::vector<ProgressRecord>{Row("A", "1.1.1.1", 500, 0), Row("B", "1.1.1.2", 10000, 9)});
    EXPECT_EQ(log, "A(1.1.1.1) \r\nB(1.1.1.2) Completed successfully.\r\n");
}

TEST_F(UpgradeLogTest, RowsKeepTheirOrderWithoutSeparators) {
    const std::vector<ProgressRecord> rows = {Row("C", "10.0.0.3", 10000, 9), Row("A", "10.0.0.1", 0, 0),
                                              Row("B", "10.0.0.2", 10000, 11, true)};
    EXPECT_EQ(UpgradeLogText(rows),
              "C(10.0.0.3) Completed successfully.\r\nB(DHCP:10.0.0.2) Upgrade sequence error.\r\n");
}

class UpgradeLogDialogTest : public UpgradeLogTest {
  protected:
    void Fill(int rows) {
        for (int i = 0; i < rows; ++i) {
            const bool dhcp = i % 3 == 1;
            ProgressRecord row = Row("XQT-TR60", "192.168.0." + std::to_string(10 + i), i == 2 ? 0 : 10000,
                                     i == 2 ? 0 : 9 + i % 8, dhcp);
            row.end = row.result != UpgradeStatus::Standby ? RowEnd::Finished : RowEnd::NotStarted;
            list.AddRow(std::move(row), nullptr);
        }
    }
    ResourceState resources;
    BatchRun list{nullptr, resources};  // rows only: nothing starts
};

TEST_F(UpgradeLogDialogTest, ShowsTheLogReadOnlyBlackOnWhite) {
    Fill(4);
    UpgradeLogDialog dialog(list);
    EXPECT_EQ(dialog.windowTitle(), "Upgrade log");
    QPlainTextEdit* editor = dialog.Editor();
    EXPECT_EQ(editor->toPlainText(),
              "XQT-TR60(192.168.0.10) Completed successfully.\n"
              "XQT-TR60(DHCP:192.168.0.11) Network error (missing target).\n"
              "XQT-TR60(192.168.0.13) Login error.\n");
    EXPECT_TRUE(editor->isReadOnly());
    EXPECT_TRUE(editor->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    EXPECT_EQ(editor->palette().color(QPalette::Active, QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(editor->palette().color(QPalette::Inactive, QPalette::Text), QColor(Qt::black));

    // Typing changes nothing; the text can be selected and copied.
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    editor->setFocus();
    QTest::keyClicks(editor, "xyz");
    EXPECT_EQ(editor->toPlainText(), dialog.LogText());
    editor->selectAll();
    editor->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), dialog.LogText());
}

TEST_F(UpgradeLogDialogTest, SaveReportWritesJsonOrCsvByTheChosenFileType) {
    Fill(3);
    UpgradeLogDialog dialog(list);
    const auto folder = std::filesystem::temp_directory_path() / "xqt-log-report";
    std::filesystem::create_directories(folder);
    for (const bool csv : {false, true}) {
        SCOPED_TRACE(csv);
        const std::string path = (folder / (csv ? "report" : "report.json")).string();  // CSV gets its suffix
        dialog.SetFileChooser([&](QString& filter) {
            filter = csv ? "CSV report (*.csv)" : "JSON report (*.json)";
            return QString::fromStdString(path);
        });
        dialog.findChild<QPushButton*>("saveReport")->click();
        std::ifstream in(csv ? path + ".csv" : path);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        if (csv) {
            EXPECT_EQ(text.rfind("address,mac,model,", 0), 0u);
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
        } else {
            const auto report = nlohmann::json::parse(text, nullptr, false);
            ASSERT_TRUE(report.is_object()) << text;
            ASSERT_EQ(report["cameras"].size(), 3u);
            EXPECT_EQ(report["cameras"][0]["address"], "192.168.0.10");
            EXPECT_EQ(report["cameras"][0]["status"], "Completed");
            EXPECT_EQ(report["cameras"][1]["status"], "Error1");
        }
    }
    std::filesystem::remove_all(folder);
}

TEST_F(UpgradeLogDialogTest, OpensAtTheTopWithNothingSelected) {
    Fill(60);
    UpgradeLogDialog dialog(list);
    // Something that would leave the view at the end with a selection, as filling an edit does.
    dialog.Editor()->selectAll();
    dialog.Editor()->verticalScrollBar()->setValue(dialog.Editor()->verticalScrollBar()->maximum());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_TRUE(test::WaitUntil([&] { return !dialog.Editor()->textCursor().hasSelection(); }));
    EXPECT_EQ(dialog.Editor()->textCursor().position(), 0);
    EXPECT_GT(dialog.Editor()->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(dialog.Editor()->verticalScrollBar()->value(), 0);

    // Shown again, it keeps the place the user scrolled to.
    const int bottom = dialog.Editor()->verticalScrollBar()->maximum();
    dialog.Editor()->verticalScrollBar()->setValue(bottom);
    dialog.hide();
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    test::WaitUntil([] { return false; }, test::Allow(std::chrono::milliseconds(50)));
    EXPECT_EQ(dialog.Editor()->verticalScrollBar()->value(), bottom);
}

TEST_F(UpgradeLogDialogTest, AnEmptyRunGivesAnEmptyLogAndEscapeCloses) {
    BatchRun none(nullptr, resources);
    UpgradeLogDialog dialog(none);
    EXPECT_EQ(dialog.Editor()->toPlainText(), "");
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

}  // namespace
}  // namespace xqt
