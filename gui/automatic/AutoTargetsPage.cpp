#include "gui/automatic/AutoTargetsPage.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

#include "gui/controls/CameraGrid.h"
#include "gui/controls/FontScale.h"
#include "gui/controls/RowPainter.h"

namespace xqt {

namespace {

const char* const HEADINGS[AutoTargetsPage::COLUMN_COUNT] = {
    "", "MAC address", "IP address", "Model", "Serial No.", "Version No.", "Name"};

QPushButton* MakeButton(const char* name, const char* text, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

AutoTargetsPage::AutoTargetsPage(ModelList models, platform::EngineTiming timing,
                                 platform::MessageBoxes& boxes, DiscoverySource discovery,
                                 SetButtonsFn setButtons, QWidget* parent)
    : QWidget(parent),
      timing_(timing),
      boxes_(boxes),
      discovery_(std::move(discovery)),
      setButtons_(std::move(setButtons)) {
    CreateControls();
    grid_ = new CameraGrid(models, this, timing_);
    grid_->setObjectName("grid");
    const QFontMetrics metrics(grid_->font());
    for (int column = 0; column < COLUMN_COUNT; ++column) {
        grid_->InsertColumn(column, QString::fromUtf8(HEADINGS[column]),
                            ColumnWidth(column, metrics, models));
    }
    // Made after the frame, the grid lies above it; it comes before the buttons in the tab order,
    // and the label's mnemonic leads to it. The whole chain is set: moving the grid alone would
    // leave the buttons behind it split by whatever follows the page in the window.
    setTabOrder(grid_, selectAll_);
    setTabOrder(selectAll_, access_);
    setTabOrder(access_, addOther_);
    setTabOrder(addOther_, testingButton_);
    setTabOrder(testingButton_, expander_);
    targetsLabel_->setBuddy(grid_);
    // An item view takes no name from its label's buddy.
    grid_->setAccessibleName(QString(targetsLabel_->text()).remove('&'));
    connect(grid_, &CameraGrid::SelectionChanged, this, &AutoTargetsPage::OnSelectionChanged);
    connect(grid_, &CameraGrid::TicksChanged, this, &AutoTargetsPage::ReEvaluate);
    connect(grid_, &CameraGrid::TestFinished, this, &AutoTargetsPage::OnTestFinished);

    waitTimer_ = new QTimer(this);
    waitTimer_->setInterval(timing_.targetsWaitPeriod);
    connect(waitTimer_, &QTimer::timeout, this, &AutoTargetsPage::OnWaitTick);
    slideTimer_ = new QTimer(this);
    slideTimer_->setInterval(timing_.expanderStep);
    connect(slideTimer_, &QTimer::timeout, this, &AutoTargetsPage::OnExpanderStep);

    LayOutButtons();
}

AutoTargetsPage::~AutoTargetsPage() = default;

void AutoTargetsPage::CreateControls() {
    targetsLabel_ = new QLabel("&Target camera(s):", this);
    targetsLabel_->setObjectName("targetsLabel");
    frame_ = new QFrame(this);
    frame_->setObjectName("gridFrame");
    frame_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    selectAll_ = MakeButton("selectAll", "&Select all", this);
    access_ = MakeButton("accessSetting", "&Access setting...", this);
    addOther_ = MakeButton("addOther", "Add &other cameras...", this);
    testingButton_ = MakeButton("testing", "&Testing...", this);
    expander_ = MakeButton("expander", "&<<", this);
    counterLabel_ = new QLabel("Detected camera(s):", this);
    counterLabel_->setObjectName("counterLabel");
    counter_ = new QLabel("255/255", this);
    counter_->setObjectName("counter");
    addOther_->hide();
    testingButton_->hide();

    connect(selectAll_, &QPushButton::clicked, this, &AutoTargetsPage::OnSelectAll);
    connect(access_, &QPushButton::clicked, this, &AutoTargetsPage::OnAccessSetting);
    connect(addOther_, &QPushButton::clicked, this, &AutoTargetsPage::OnAddOther);
    connect(testingButton_, &QPushButton::clicked, this, &AutoTargetsPage::OnTesting);
    connect(expander_, &QPushButton::clicked, this, &AutoTargetsPage::OnExpander);
}

QString AutoTargetsPage::CounterText() const {
    return QString("%1/%2").arg(grid_->Targets().Size()).arg(COUNTER_LIMIT);
}

// ---- Filling and readiness ---------------------------------------------------------------------

void AutoTargetsPage::FillFromDiscovery() {
    grid_->setUpdatesEnabled(false);
    if (discovery_.cameras) grid_->FillFromDiscovery(discovery_.cameras());
    counter_->setText(CounterText());
    counter_->show();
    if (isVisible()) ReEvaluate();
    grid_->setUpdatesEnabled(true);
}

void AutoTargetsPage::ReEvaluate() {
    // A blocked page keeps only Cancel usable until the wizard is cancelled.
    if (!isVisible() || blocked_) return;
    if (setButtons_) setButtons_(grid_->IsReady() ? ButtonMode::NextEnabled : ButtonMode::NextDisabled);
}

void AutoTargetsPage::Block() {
    if (setButtons_) setButtons_(ButtonMode::CancelOnly);
    selectAll_->setEnabled(false);
    access_->setEnabled(false);
    expander_->setEnabled(false);
    blocked_ = true;
}

void AutoTargetsPage::EnableForSelection() {
    if (!grid_->AnySelected()) {
        access_->setEnabled(false);
        testingButton_->setEnabled(false);
        return;
    }
    if (!blocked_) access_->setEnabled(true);
    testingButton_->setEnabled(true);
}

void AutoTargetsPage::UpdateCursor() {
    if (searching_)
        setCursor(Qt::WaitCursor);
    else if (testing_)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

// ---- Showing and the wait for discovery --------------------------------------------------------

void AutoTargetsPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window restored from the task bar shows its pages again without the page being entered.
    if (event->spontaneous()) return;
    FillFromDiscovery();
    if (discovery_.running && discovery_.running()) {
        waitTimer_->start();
        searching_ = true;
        for (QWidget* control : {static_cast<QWidget*>(selectAll_), static_cast<QWidget*>(access_),
                                 static_cast<QWidget*>(expander_), static_cast<QWidget*>(grid_),
                                 static_cast<QWidget*>(testingButton_)})
            control->setEnabled(false);
        UpdateCursor();
        return;
    }
    if (!velmoranMode_ && !grid_->FindDuplicateAddresses(boxes_)) return Block();
    grid_->setFocus();
    if (!grid_->AnySelected()) grid_->SelectFirst();
    if (grid_->Targets().Empty()) {
        access_->setEnabled(false);
        testingButton_->setEnabled(false);
    } else {
        if (!blocked_) access_->setEnabled(true);
        testingButton_->setEnabled(true);
    }
    ReEvaluate();
}

void AutoTargetsPage::OnWaitTick() {
    if (discovery_.running && discovery_.running()) return;
    waitTimer_->stop();
    FillFromDiscovery();
    searching_ = false;
    const bool haveRows = !grid_->Targets().Empty();
    if (haveRows && !blocked_) {
        selectAll_->setEnabled(true);
        access_->setEnabled(true);
    }
    expander_->setEnabled(true);
    grid_->setEnabled(true);
    testingButton_->setEnabled(true);
    UpdateCursor();
    const bool shown = isVisible();
    if (!grid_->AnySelected()) {
        grid_->SelectFirst();
        if (shown) grid_->setFocus();
    }
    EnableForSelection();
    // When the user has left the page meanwhile, the check waits for the next showing: an error
    // box and a blocked frame on another page would leave the user there with only Cancel.
    if (shown && !velmoranMode_ && !grid_->FindDuplicateAddresses(boxes_)) Block();
}

// ---- Buttons -----------------------------------------------------------------------------------

void AutoTargetsPage::OnSelectAll() {
    grid_->SelectAll();
    // With no rows there is nothing to give credentials to or to test.
    if (grid_->Targets().Empty() || blocked_) return;
    access_->setEnabled(true);
    testingButton_->setEnabled(true);
}

void AutoTargetsPage::OnAccessSetting() {
    const int rows = grid_->Targets().Size();
    if (rows == 0) return;
    if (grid_->SelectedRows().size() > 1 || rows == 1)
        RunHook(openBatchLogin);
    else
        RunHook(openSingleLogin);
    ReEvaluate();
}

void AutoTargetsPage::OnAddOther() {
    RunHook(openAddCameras);
    counter_->setText(CounterText());
    if (!grid_->Targets().Empty()) {
        selectAll_->setEnabled(!blocked_);
        access_->setEnabled(!blocked_);
        testingButton_->setEnabled(true);
        if (!grid_->AnySelected()) grid_->SelectFirst();
    } else {
        selectAll_->setEnabled(false);
        access_->setEnabled(false);
        testingButton_->setEnabled(false);
    }
    // The added cameras are ticked and have no credentials yet: Next must follow.
    ReEvaluate();
}

void AutoTargetsPage::OnTesting() {
    grid_->StartTest();
    // With nothing selected no test starts, and none would ever report its end.
    if (grid_->PendingTests() == 0) return;
    testing_ = true;
    UpdateCursor();
}

void AutoTargetsPage::OnTestFinished() {
    testing_ = false;
    UpdateCursor();
}

void AutoTargetsPage::OnSelectionChanged(bool anySelected) {
    if (blocked_) return;
    access_->setEnabled(anySelected);
    testingButton_->setEnabled(anySelected);
}

void AutoTargetsPage::RunHook(const DialogHook& hook) {
    if (!hook || inHook_) return;
    inHook_ = true;
    hook(*grid_);
    inHook_ = false;
}

}  // namespace xqt
