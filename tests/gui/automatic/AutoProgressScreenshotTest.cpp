// Saves pictures of a running progress page and of the upgrade log it opens into the test output
// folder, so a person can look at them. The log is the real modal dialog the page runs.
#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QTimer>

#include "AutoProgressSupport.h"
#include "gui/automatic/UpgradeLogDialog.h"

namespace xqt::test {
namespace {

using namespace std::chrono_literals;

QString OutputFolder() {
    const QByteArray env = qgetenv("XQT_TEST_OUTPUT");
    const QString base =
        env.isEmpty() ? QDir::current().filePath("test-output") : QString::fromLocal8Bit(env);
    return QDir(base).filePath("autoprogress");
}

void Save(QWidget* widget, const char* name) {
    const QString folder = OutputFolder();
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = QDir(folder).filePath(QString(name) + ".png");
    EXPECT_TRUE(widget->grab().save(path, "PNG")) << path.toStdString();
}

class Screenshots : public AutoProgressTest {};

TEST_F(Screenshots, ARunningPageAndTheLogItOpens) {
    std::vector<sim::SimCamera> cameras{Camera(61), Camera(62), Camera(63)};
    cameras[2].http.refuseLogin = true;
    Open(cameras, {1}, false);

    NoRetain();
    ASSERT_TRUE(StartRun());
    ASSERT_TRUE(WaitUntil([&] { return page->List().Row(0).progress.Load() > 3000; }));
    Save(page.get(), "progress-running");

    QString shownLog;
    bool saved = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<UpgradeLogDialog*>(QApplication::activeModalWidget());
        if (!dialog || saved) return;
        saved = true;
        shownLog = dialog->Editor()->toPlainText();
        Save(dialog, "upgrade-log");
        dialog->reject();
    });
    poll.start();
    ASSERT_TRUE(WaitUntil([&] { return saved; }, OneUpgrade() * static_cast<int>(fleet->Size())));
    poll.stop();
    EXPECT_TRUE(
        shownLog.contains("(DHCP:" + QString::fromStdString(AddressOf(1)) + ") Completed successfully."))
        << shownLog.toStdString();
    EXPECT_TRUE(shownLog.contains("Login error.")) << shownLog.toStdString();
}

}  // namespace
}  // namespace xqt::test
