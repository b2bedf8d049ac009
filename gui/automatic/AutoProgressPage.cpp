#include "gui/automatic/AutoProgressPage.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "camera/Credential.h"
#include "fleet/CameraRecord.h"
#include "fleet/Conversions.h"
#include "fleet/TextForms.h"
#include "fleet/UpgradeHistory.h"
#include "gui/automatic/UpgradeLogDialog.h"
#include "gui/controls/FontScale.h"
#include "gui/controls/ProgressList.h"
#include "gui/platform/QtSessionOwner.h"
#include "gui/wizard/QtTexts.h"

namespace xqt {

namespace {

constexpr int MARGIN = 10;
constexpr int LABEL_HEIGHT = 16;
constexpr int LIST_INSET = 2;
constexpr int LIST_ID = 100;

constexpr std::uint16_t TEXT_CONFIRM = 209;
constexpr std::uint16_t TEXT_INFORMATION = 203;
constexpr std::uint16_t TEXT_ERROR = 139;

}  // namespace

AutoProgressPage::AutoProgressPage(ResourceState& resources, const CameraGrid& targets,
                                   platform::MessageBoxes& boxes, SetButtonsFn setButtons,
                                   platform::EngineTiming timing, QWidget* parent)
    : QWidget(parent),
      resources_(resources),
      targets_(targets),
      boxes_(boxes),
      setButtons_(std::move(setButtons)),
      timing_(timing),
      owner_(std::make_unique<platform::QtSessionOwner>(boxes)),
      run_(std::make_unique<BatchRun>(owner_.get(), resources, timing)) {
    owner_->SetTimerHandler([this](int id) { run_->OnTimer(id); });
    openLog = [this](const BatchRun& run) {
        UpgradeLogDialog dialog(run, this);
        dialog.exec();
    };
    CreateControls();
    run_->SetObserver(this);
}

AutoProgressPage::~AutoProgressPage() {
    counterTimer_->stop();
    confirmTimer_->stop();
    // The sessions go before the owner whose timers they use, and the list stops drawing them.
    run_->SetObserver(nullptr);
    list_->Attach(nullptr);
    run_.reset();
    owner_->SetTimerHandler({});
}

void AutoProgressPage::CreateControls() {
    targetsLabel_ = new QLabel("Target camera(s):", this);
    targetsLabel_->setObjectName("targetsLabel");

    listFrame_ = new QFrame(this);
    listFrame_->setObjectName("listFrame");
    listFrame_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    list_ = new ProgressList(resources_.modelNames, this, timing_);
    list_->setObjectName("progressList");
    list_->setAccessibleName(targetsLabel_->text());
    list_->setProperty("controlId", LIST_ID);
    // The product's widths, widened where a text of fixed form would not fit with the list's
    // 12-pixel margin in this font (an ID, a dotted address); free texts keep their width.
    const QFontMetrics metrics(list_->font());
    list_->InsertColumn(0, "ID", std::max(30, metrics.horizontalAdvance("000") + 12), Qt::AlignRight);
    list_->InsertColumn(1, "IP address", std::max(100, metrics.horizontalAdvance("000.000.000.000") + 12));
    list_->InsertColumn(2, "Model", 82);
    list_->InsertColumn(3, "Version No", 70);
    list_->InsertColumn(4, "Progress", 120);
    list_->InsertColumn(5, "Status", 90);
    list_->Attach(run_.get());
    list_->show();

    counterLabel_ = new QLabel("Completed:", this);
    counterLabel_->setObjectName("counterLabel");
    counter_ = new QLabel("255/255", this);
    counter_->setObjectName("counter");

    setupGroup_ = new QGroupBox("Setup data", this);
    setupGroup_->setObjectName("setupData");
    auto* group = setupGroup_;
    retain_ = new QCheckBox("&Retain the current settings", group);
    retain_->setObjectName("retain");
    retain_->setChecked(true);
    backup_ = new QCheckBox("Backup the current &settings", group);
    backup_->setObjectName("backup");
    backup_->setChecked(false);
    connect(retain_, &QCheckBox::clicked, this, &AutoProgressPage::OnRetainClicked);

    counterTimer_ = new QTimer(this);
    counterTimer_->setInterval(timing_.counterPeriod);
    connect(counterTimer_, &QTimer::timeout, this, &AutoProgressPage::UpdateCounter);
    confirmTimer_ = new QTimer(this);
    confirmTimer_->setSingleShot(true);
    confirmTimer_->setInterval(timing_.confirmationDelay);
    connect(confirmTimer_, &QTimer::timeout, this, &AutoProgressPage::OnConfirm);
    LayOut();
}

void AutoProgressPage::LayOut() {
    // The geometry as drawn for the frame's font; a larger font scales it.
    const FontScale s(font());
    const int margin = s(MARGIN);
    const int labelHeight = s(LABEL_HEIGHT);
    const int groupHeight = s(46);
    const int frameTop = s(6) + labelHeight + s(2);
    const int width = std::max(this->width(), 200);
    const int groupTop = std::max(height(), 200) - margin - groupHeight;
    const int counterTop = groupTop - s(6) - labelHeight;

    targetsLabel_->setGeometry(margin, s(6), width - 2 * margin, labelHeight);
    const QRect frameRect(margin, frameTop, width - 2 * margin, counterTop - s(4) - frameTop);
    listFrame_->setGeometry(frameRect);
    list_->setGeometry(frameRect.adjusted(LIST_INSET, LIST_INSET, -LIST_INSET, -LIST_INSET));
    counterLabel_->setGeometry(margin, counterTop, s(70), labelHeight);
    counter_->setGeometry(margin + s(70), counterTop, s(100), labelHeight);
    setupGroup_->setGeometry(margin, groupTop, width - 2 * margin, groupHeight);
    retain_->setGeometry(s(12), s(20), s(220), s(20));
    backup_->setGeometry(s(240), s(20), s(220), s(20));
}

void AutoProgressPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

QString AutoProgressPage::CounterText() const {
    return counter_->text();
}

bool AutoProgressPage::Running() const {
    return run_->Running();
}

// ---- Filling --------------------------------------------------------------------------------

void AutoProgressPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!filled_) Fill();
}

void AutoProgressPage::Fill() {
    filled_ = true;
    counterTimer_->stop();
    run_->Clear();
    lastShown_ = -1;
    runStarted_ = false;
    finished_ = false;

    const TargetList& targets = targets_.Targets();
    for (int i = 0; i < targets.Size() && run_->Size() < MAX_CAMERAS; ++i) {
        const UpgradeData target = targets.GetUpgradeData(i);
        if (!target.ticked) continue;
        ProgressRecord record = MakeProgressRecord(target, run_->Size());
        record.key = targets.Record(i).key;
        run_->AddCamera(std::move(record), target.name, target.password, target.serial);
    }
    setButtons_(ButtonMode::Upgrade);
    UpdateCounter();
    counterTimer_->start();
}

// ---- Options, start and confirmation ----------------------------------------------------------

void AutoProgressPage::OnRetainClicked() {
    if (retain_->isChecked()) {
        backup_->setEnabled(true);
    } else {
        backup_->setEnabled(false);
        backup_->setChecked(false);
    }
}

void AutoProgressPage::Start() {
    RunOptions& options = run_->Options();
    options.retain.store(retain_->isChecked() ? 1 : 0);
    options.noBackup.store(backup_->isChecked() ? 0 : 1);
    options.startTime.store(static_cast<std::int64_t>(std::time(nullptr)));
    retain_->setEnabled(false);
    backup_->setEnabled(false);
    confirmTimer_->start();
}

void AutoProgressPage::OnConfirm() {
    confirmTimer_->stop();
    if (const auto refusal = run_->PlaceholderRefusal()) {
        boxes_.Show(*refusal, platform::TextOf(TEXT_ERROR), platform::MbButtons::Ok, platform::MbIcon::Stop);
        retain_->setEnabled(true);
        backup_->setEnabled(retain_->isChecked());
        return;
    }
    const auto answer = boxes_.Show(platform::TextOf(TEXT_CONFIRM), platform::TextOf(TEXT_INFORMATION),
                                    platform::MbButtons::OkCancel, platform::MbIcon::Question);
    if (answer == platform::MbResult::Ok) {
        setButtons_(ButtonMode::Abort);
        runStarted_ = true;
        // The one refusal Start knows was checked above, on this thread.
        static_cast<void>(run_->Start());
        return;
    }
    retain_->setEnabled(true);
    backup_->setEnabled(retain_->isChecked());
}

void AutoProgressPage::Abort() {
    if (isVisible()) run_->Abort();
}

// ---- Counter ----------------------------------------------------------------------------------

void AutoProgressPage::UpdateCounter() {
    if (inCounter_) return;
    const int all = run_->Size();
    const int waiting = run_->QueueLength();
    if (all - waiting != lastShown_) {
        lastShown_ = all - waiting;
        counterLabel_->setText("Proceeded:");
        counter_->setText(QString::asprintf("%d/%d", all - waiting, all));
    }
    // Only a run that was started can be over: an empty list shown before Upgrade offers no
    // Finish and no log.
    if (waiting != 0 || !runStarted_ || finished_) return;
    finished_ = true;
    inCounter_ = true;
    setButtons_(ButtonMode::Finish);
    if (openLog) openLog(*run_);
    inCounter_ = false;
}

// ---- What the run tells ------------------------------------------------------------------------

void AutoProgressPage::RowsChanged() {
    if (list_->Size() != shownRows_) {
        shownRows_ = list_->Size();
        list_->RowsReset();
    } else {
        list_->RefreshRows();
    }
}

void AutoProgressPage::CameraEnded(int row) {
    const ProgressRecord& record = run_->Row(row);
    if (record.result == UpgradeStatus::Completed && !record.confirmed) list_->FitVersionOf(row);
    // The same line a batch run writes for the camera; the wizard has no place for this failure,
    // and the upgrade itself stands.
    if (std::optional<HistoryEntry> entry = HistoryEntryOf(record, "xqt-upgrade")) {
        if (const Result<void> appended = AppendHistory(std::move(*entry)); !appended)
            std::fprintf(stderr, "xqt-upgrade: history not written: %s\n", appended.error().c_str());
    }
}

}  // namespace xqt
