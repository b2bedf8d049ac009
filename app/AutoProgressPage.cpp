#include "app/AutoProgressPage.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <ctime>

#include "app/QtTexts.h"
#include "app/UpgradeLogDialog.h"
#include "camera/Credential.h"
#include "controls/ProgressList.h"
#include "platform/QtSessionOwner.h"
#include "platform/QtTaskRunner.h"
#include "targets/CameraRecord.h"
#include "targets/Conversions.h"
#include "targets/TextForms.h"

namespace xqt {

namespace {

constexpr int MARGIN = 10;
constexpr int LABEL_HEIGHT = 16;
constexpr int LIST_INSET = 2;
constexpr int LIST_ID = 100;

/// BIN ids of the status words of states 0..16.
constexpr std::uint16_t STATUS_TEXT_IDS[] = {258, 376, 363, 259, 260, 261, 262, 364, 365,
                                             263, 264, 265, 257, 354, 358, 367, 369};
constexpr std::uint16_t TEXT_CONFIRM = 209;
constexpr std::uint16_t TEXT_INFORMATION = 203;

constexpr int TIMER_BASES[] = {TIMER_TICK_BASE, TIMER_LOSTLINK_BASE, TIMER_RECONFIG_BASE};

std::string StatusWord(std::int32_t state) {
    if (state < 0 || state >= static_cast<std::int32_t>(std::size(STATUS_TEXT_IDS))) return {};
    return platform::TextOf(STATUS_TEXT_IDS[state]);
}

bool BlocksLaterStart(std::int32_t state) {
    return state == static_cast<std::int32_t>(UpgradeStatus::SavingConfig) ||
           state == static_cast<std::int32_t>(UpgradeStatus::Uploading);
}

}  // namespace

/// The inquiries before one camera's start. Written by the helper thread until `done`, then read
/// by the UI thread only.
struct AutoProgressPage::StartJob {
    int row = 0;
    bool done = false;
    bool passed = false;
    std::string docType;
};

AutoProgressPage::AutoProgressPage(ResourceState& resources, const CameraGrid& targets,
                                   platform::MessageBoxes& boxes, SetButtonsFn setButtons,
                                   platform::EngineTiming timing, QWidget* parent)
    : QWidget(parent),
      resources_(resources),
      targets_(targets),
      boxes_(boxes),
      setButtons_(std::move(setButtons)),
      timing_(timing),
      owner_(std::make_unique<platform::QtSessionOwner>(boxes)) {
    owner_->SetTimerHandler([this](int id) { RouteTimer(id); });
    runner_ = new platform::QtTaskRunner(this);
    openLog = [this](const ProgressList& list) {
        UpgradeLogDialog dialog(list, this);
        dialog.exec();
    };
    CreateControls();
}

AutoProgressPage::~AutoProgressPage() {
    counterTimer_->stop();
    confirmTimer_->stop();
    StopStartJob();
    // The sessions go before the owner whose timers they use.
    list_->Clear();
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
    retain_->setGeometry(12, 20, 220, 20);
    retain_->setChecked(true);
    backup_ = new QCheckBox("Backup the current &settings", group);
    backup_->setObjectName("backup");
    backup_->setGeometry(240, 20, 220, 20);
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
    constexpr int groupHeight = 46;
    constexpr int frameTop = 6 + LABEL_HEIGHT + 2;
    const int width = std::max(this->width(), 200);
    const int groupTop = std::max(height(), 200) - MARGIN - groupHeight;
    const int counterTop = groupTop - 6 - LABEL_HEIGHT;

    targetsLabel_->setGeometry(MARGIN, 6, width - 2 * MARGIN, LABEL_HEIGHT);
    const QRect frameRect(MARGIN, frameTop, width - 2 * MARGIN, counterTop - 4 - frameTop);
    listFrame_->setGeometry(frameRect);
    list_->setGeometry(frameRect.adjusted(LIST_INSET, LIST_INSET, -LIST_INSET, -LIST_INSET));
    counterLabel_->setGeometry(MARGIN, counterTop, 70, LABEL_HEIGHT);
    counter_->setGeometry(MARGIN + 70, counterTop, 100, LABEL_HEIGHT);
    setupGroup_->setGeometry(MARGIN, groupTop, width - 2 * MARGIN, groupHeight);
}

void AutoProgressPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

QString AutoProgressPage::CounterText() const {
    return counter_->text();
}

bool AutoProgressPage::Running() const {
    return list_->SchedulerRunning();
}

// ---- Filling --------------------------------------------------------------------------------

void AutoProgressPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!filled_) Fill();
}

void AutoProgressPage::Fill() {
    filled_ = true;
    counterTimer_->stop();
    StopStartJob();
    list_->Clear();
    lastShown_ = -1;
    runStarted_ = false;
    finished_ = false;

    const ImageInfo image = resources_.GetImageInfo();
    RunOptions& options = list_->Options();
    const TargetList& targets = targets_.Targets();
    for (int i = 0; i < targets.Size() && list_->Size() < MAX_CAMERAS; ++i) {
        const UpgradeData data = targets.GetUpgradeData(i);
        if (!data.ticked) continue;
        const int id = list_->Size();
        ProgressRecord record = MakeProgressRecord(data, id);
        record.key = targets.Record(i).key;

        SessionConfig config;
        config.owner = owner_.get();
        config.hostPort = record.text[ProgressSlot::ADDRESS];
        config.credential = EncodeCredential(data.name, data.password);
        config.modelList = resources_.modelNames;
        config.slot = id;
        config.timing = timing_;
        config.backupFlag = &options.retain;
        config.deleteFlag = &options.noBackup;
        config.timeStamp = &options.startTime;
        config.serialText = data.serial;
        auto session = std::make_unique<CameraSession>(std::move(config));
        session->SetImage(image.slotData[0], image.slotSize[0], image.versionLabel);
        list_->AddRow(std::move(record), std::move(session));
    }
    setButtons_(2);
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
    RunOptions& options = list_->Options();
    options.retain.store(retain_->isChecked() ? 1 : 0);
    options.noBackup.store(backup_->isChecked() ? 0 : 1);
    options.startTime.store(static_cast<std::int64_t>(std::time(nullptr)));
    retain_->setEnabled(false);
    backup_->setEnabled(false);
    confirmTimer_->start();
}

void AutoProgressPage::OnConfirm() {
    confirmTimer_->stop();
    const auto answer = boxes_.Show(platform::TextOf(TEXT_CONFIRM), platform::TextOf(TEXT_INFORMATION),
                                    platform::MbButtons::OkCancel, platform::MbIcon::Question);
    if (answer == platform::MbResult::Ok) {
        setButtons_(3);
        runStarted_ = true;
        list_->StartScheduler([this] { SchedulerTick(); });
        return;
    }
    retain_->setEnabled(true);
    backup_->setEnabled(retain_->isChecked());
}

void AutoProgressPage::Abort() {
    if (isVisible()) list_->SetAbort(true);
}

// ---- Counter ----------------------------------------------------------------------------------

void AutoProgressPage::UpdateCounter() {
    if (inCounter_) return;
    const int all = list_->Size();
    const int waiting = list_->QueueLength();
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
    setButtons_(4);
    if (openLog) openLog(*list_);
    inCounter_ = false;
}

// ---- Scheduler --------------------------------------------------------------------------------

void AutoProgressPage::SchedulerTick() {
    bool busy = false;
    int position = 0;
    while (position < list_->QueueLength()) {
        if (position >= 2) {
            // Only the first two sessions are driven: at most two cameras are upgraded at once.
            for (int p = position; p < list_->QueueLength(); ++p)
                ShowStatus(list_->QueuedRow(p), list_->QueuedSession(p).status.load());
            break;
        }
        const int row = list_->QueuedRow(position);
        CameraSession& session = list_->QueuedSession(position);
        std::int32_t state = session.status.load();

        if (job_ && job_->row == row) {
            if (!job_->done) {
                // The inquiries stand for a start in progress: nothing starts behind them.
                busy = true;
                ShowStatus(row, state);
                ++position;
                continue;
            }
            const std::shared_ptr<StartJob> job = std::move(job_);
            state = session.status.load();
            if (job->passed && state == 0 && !list_->AbortRequested()) {
                CompleteStart(position, job->docType);
                busy = true;
                ShowStatus(row, session.status.load());
                ++position;
                continue;
            }
            // A refused check has put the camera into its final state; after an abort a camera
            // that passed is not started any more and is dropped with the others.
        }

        if (!list_->AbortRequested() && state == 0) {
            if (!busy) {
                BeginStart(position);
                busy = true;
            }
            ShowStatus(row, state);
            ++position;
            continue;
        }
        if (!IsFinal(state)) {
            if (BlocksLaterStart(state)) busy = true;
            ShowStatus(row, state);
            ++position;
            continue;
        }
        EndCamera(position, state);  // the ones behind move up to `position`
    }

    if (list_->AbortRequested() && !job_) {
        bool allWaiting = true;
        for (int p = 0; p < list_->QueueLength(); ++p)
            allWaiting = allWaiting && list_->QueuedSession(p).status.load() == 0;
        if (allWaiting) list_->DropQueued();
    }
    if (list_->QueueLength() == 0) {
        list_->StopScheduler();
        list_->SetAbort(false);
    }
    list_->RefreshRows();
}

void AutoProgressPage::BeginStart(int position) {
    CameraSession* session = &list_->QueuedSession(position);
    auto job = std::make_shared<StartJob>();
    job->row = list_->QueuedRow(position);
    job_ = job;
    const auto limit = timing_.inquiryLimit;
    // The session stays queued while the job runs: only a finished job lets the tick end it, and
    // StopStartJob waits for the job before the list is emptied.
    runner_->Run(
        [job, session, limit](std::stop_token) {
            // The system answer comes first because it tells whether the camera is in recovery
            // state: such a camera need not know its users, and its upload is neither completed
            // nor followed by a progress stream. Only the state is taken from it here; the model
            // was checked when the camera was listed.
            const std::string system = session->Inquire(INQ_SYSTEM, limit);
            session->CheckModelAndVersion(system, false);
            if (!session->emergency.load()) {
                // A camera that did not answer is missing (Error1), without a second wait.
                const std::string user = system.empty() ? std::string() : session->Inquire(INQ_USER, limit);
                if (!session->CheckAdministrator(user)) return;
            }
            job->docType = CameraSession::ReadDocType(system);
            job->passed = true;
        },
        [job] { job->done = true; });
}

void AutoProgressPage::CompleteStart(int position, const std::string& docType) {
    const int row = list_->QueuedRow(position);
    CameraSession& session = list_->QueuedSession(position);
    const int slot = resources_.SelectSlot(docType);
    list_->MutableRow(row).imageSlot = slot;
    const ImageInfo image = resources_.GetImageInfo();
    session.SetImage(image.slotData[slot], image.slotSize[slot], image.versionLabel);
    session.StartUpgrade();
}

void AutoProgressPage::EndCamera(int position, std::int32_t state) {
    const int row = list_->QueuedRow(position);
    CameraSession& session = list_->QueuedSession(position);
    ShowStatus(row, state);
    ProgressRecord& record = list_->MutableRow(row);
    if (state == static_cast<std::int32_t>(UpgradeStatus::Completed)) {
        record.text[ProgressSlot::VERSION] = StripVer(session.reportedVersion.Get());
        record.confirmed = session.verified.load() ? 1 : 0;
    }
    record.progress = 10000;
    record.result = state;
    if (state == static_cast<std::int32_t>(UpgradeStatus::Completed) && !record.confirmed)
        list_->FitVersionOf(row);
    for (int base : TIMER_BASES)
        owner_->StopTimer(base + session.slot);
    list_->FinishQueued(position);
}

void AutoProgressPage::ShowStatus(int row, std::int32_t state) {
    list_->MutableRow(row).text[ProgressSlot::STATUS] = StatusWord(state);
}

void AutoProgressPage::RouteTimer(int id) {
    const int base = id & ~0xFF;
    if (base != TIMER_TICK_BASE && base != TIMER_LOSTLINK_BASE && base != TIMER_RECONFIG_BASE) return;
    if (CameraSession* session = list_->SessionOfRow(id & 0xFF)) {
        session->OnSessionTimer(id);
    } else {
        // A timer its session asked for from another thread just before it ended.
        owner_->StopTimer(id);
    }
}

void AutoProgressPage::StopStartJob() {
    if (!job_) return;
    if (!job_->done) {
        if (CameraSession* session = list_->SessionOfRow(job_->row)) session->Cancel();
        runner_->StopAndWait();
    }
    job_.reset();
}

}  // namespace xqt
