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

/// The wizard's page size; a smaller page is laid out as if it had it. These sizes, and all below,
/// are for the font the frame was drawn for; a larger font scales them (FontScale).
constexpr int MIN_PAGE_WIDTH = 500;
constexpr int MIN_PAGE_HEIGHT = 300;
constexpr int MARGIN = 6;
constexpr int LABEL_HEIGHT = 18;
constexpr int BUTTON_HEIGHT = 26;
constexpr int BUTTON_GAP = 4;
constexpr int MIN_BUTTON_WIDTH = 80;
constexpr int EXPANDER_WIDTH = 34;
constexpr int COUNTER_WIDTH = 80;
/// The grid sits inside the placeholder frame, this far from its edges.
constexpr int GRID_INSET = 2;

const char* const HEADINGS[AutoTargetsPage::COLUMN_COUNT] = {
    "", "MAC address", "IP address", "Model", "Serial No.", "Version No.", "Name"};

QPushButton* MakeButton(const char* name, const char* text, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

int ButtonWidth(const QPushButton* button, const FontScale& scale) {
    const int text = button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&'));
    return std::max(scale(MIN_BUTTON_WIDTH), text + scale(24));
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

int AutoTargetsPage::ColumnWidth(int column, const QFontMetrics& metrics, const ModelList& models) {
    if (column < 0 || column >= COLUMN_COUNT) return 0;
    // The widest text of a form: its pattern with every 'x' replaced by the widest of `characters`.
    const auto widest = [&metrics](const QString& pattern, const QString& characters) {
        QChar wide = characters.front();
        for (QChar c : characters) {
            if (metrics.horizontalAdvance(c) > metrics.horizontalAdvance(wide)) wide = c;
        }
        return metrics.horizontalAdvance(QString(pattern).replace('x', wide));
    };
    int needed = 0;
    switch (column) {
        case 1:
            needed = widest("xx:xx:xx:xx:xx:xx", "0123456789ABCDEFabcdef");
            break;
        case 2:
            needed = widest("xxx.xxx.xxx.xxx", "0123456789");
            break;
        case 4:  // serial numbers of seven digits
            needed = widest("xxxxxxx", "0123456789");
            break;
        case 3:
            for (const auto& model : models) {
                if (!model) break;
                needed = std::max(needed, metrics.horizontalAdvance(QString::fromStdString(*model)));
            }
            break;
        default:
            return FontScale(metrics)(BASE_WIDTHS[column]);
    }
    return std::max(FontScale(metrics)(BASE_WIDTHS[column]), needed + detail::CELL_FIT_MARGIN);
}

void AutoTargetsPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOutButtons();
}

void AutoTargetsPage::LayOutButtons() {
    // A slide in progress ends where it was going.
    if (slideTimer_ && slideTimer_->isActive()) {
        slideTimer_->stop();
        slideStep_ = 0;
        expanded_ = !expanded_;
        expander_->setText(expanded_ ? "&>>" : "&<<");
        addOther_->setVisible(expanded_);
        testingButton_->setVisible(expanded_);
    }
    const FontScale s(font());
    const int margin = s(MARGIN);
    const int labelHeight = s(LABEL_HEIGHT);
    const int buttonHeight = s(BUTTON_HEIGHT);
    const int gap = s(BUTTON_GAP);
    const int width = std::max(this->width(), s(MIN_PAGE_WIDTH));
    const int height = std::max(this->height(), s(MIN_PAGE_HEIGHT));
    const int buttonTop = height - margin - buttonHeight;
    const int counterTop = buttonTop - s(6) - labelHeight;
    targetsLabel_->setGeometry(margin, s(6), width - 2 * margin, labelHeight);
    const int frameTop = s(6) + labelHeight + s(2);
    const QRect frameRect(margin, frameTop, width - 2 * margin, counterTop - s(4) - frameTop);
    frame_->setGeometry(frameRect);
    if (grid_) grid_->setGeometry(frameRect.adjusted(GRID_INSET, GRID_INSET, -GRID_INSET, -GRID_INSET));

    const int labelWidth = counterLabel_->fontMetrics().horizontalAdvance(counterLabel_->text()) + s(8);
    counterLabel_->setGeometry(margin, counterTop, labelWidth, labelHeight);
    counter_->setGeometry(margin + labelWidth, counterTop, s(COUNTER_WIDTH), labelHeight);

    int left = margin;
    for (QPushButton* button : {selectAll_, access_}) {
        const int w = ButtonWidth(button, s);
        button->setGeometry(left, buttonTop, w, buttonHeight);
        left += w + gap;
    }
    const int expanderWidth = s(EXPANDER_WIDTH);
    const int expanderLeft = width - margin - expanderWidth;
    expander_->setGeometry(expanderLeft, buttonTop, expanderWidth, buttonHeight);
    const int testingWidth = ButtonWidth(testingButton_, s);
    testingPlace_ = QRect(expanderLeft - gap - testingWidth, buttonTop, testingWidth, buttonHeight);
    const int addWidth = ButtonWidth(addOther_, s);
    addOtherPlace_ = QRect(testingPlace_.left() - gap - addWidth, buttonTop, addWidth, buttonHeight);
    addOther_->setGeometry(addOtherPlace_);
    testingButton_->setGeometry(testingPlace_);
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

// ---- Expander ----------------------------------------------------------------------------------

void AutoTargetsPage::OnExpander() {
    if (slideTimer_->isActive()) return;
    slideStep_ = 0;
    if (!expanded_) {
        // The buttons come out from under the expander.
        addOther_->move(expander_->x(), addOtherPlace_.y());
        testingButton_->move(expander_->x(), testingPlace_.y());
        addOther_->show();
        testingButton_->show();
    }
    slideTimer_->start();
}

void AutoTargetsPage::OnExpanderStep() {
    const int steps = std::max(1, timing_.expanderSteps);
    ++slideStep_;
    const double done = static_cast<double>(slideStep_) / steps;
    const int home = expander_->x();
    for (auto [button, place] :
         {std::pair{addOther_, addOtherPlace_}, std::pair{testingButton_, testingPlace_}}) {
        const int from = expanded_ ? place.x() : home;
        const int to = expanded_ ? home : place.x();
        button->move(from + static_cast<int>(std::lround((to - from) * done)), place.y());
    }
    if (slideStep_ < steps) return;
    slideTimer_->stop();
    slideStep_ = 0;
    if (!expanded_) {
        expanded_ = true;
        expander_->setText("&>>");
        return;
    }
    addOther_->hide();
    testingButton_->hide();
    addOther_->setGeometry(addOtherPlace_);
    testingButton_->setGeometry(testingPlace_);
    expanded_ = false;
    expander_->setText("&<<");
}

}  // namespace xqt
