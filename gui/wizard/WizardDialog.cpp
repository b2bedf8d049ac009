#include "gui/wizard/WizardDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include "gui/automatic/AddCamerasDialog.h"
#include "gui/automatic/AutoProgressPage.h"
#include "gui/automatic/AutoTargetsPage.h"
#include "gui/automatic/BatchLoginDialog.h"
#include "gui/automatic/SingleLoginDialog.h"
#include "gui/platform/QtClipboard.h"
#include "gui/platform/QtMessageBoxes.h"
#include "gui/platform/QtTaskRunner.h"
#include "gui/wizard/IntroPages.h"
#include "gui/wizard/ManualProgressPage.h"
#include "gui/wizard/ManualResultPage.h"
#include "gui/wizard/ManualTargetPage.h"
#include "gui/wizard/NextButton.h"
#include "gui/wizard/QtTexts.h"
#include "platform/Resources.h"

namespace xqt {

namespace {

constexpr std::uint16_t ICON_APP = 128;
constexpr int PAGE_HEIGHT = 300;
constexpr int MARGIN = 10;
constexpr int BUTTON_WIDTH = 84;
constexpr int BUTTON_HEIGHT = 26;
constexpr int INDICATOR_SIZE = 12;
const QColor INDICATOR_COLOUR(255, 153, 51);

QIcon AppIcon() {
    auto bytes = platform::Resources().Find(platform::ResourceType::Icon, ICON_APP, platform::LANG_NEUTRAL);
    QPixmap pixmap;
    if (bytes) pixmap.loadFromData(bytes->data(), static_cast<uint>(bytes->size()), "XPM");
    return QIcon(pixmap);
}

}  // namespace

/// The automatic pages as the frame drives them.
class WizardDialog::AutoPagesAdapter : public AutoPagesAccess {
  public:
    explicit AutoPagesAdapter(WizardDialog& frame) : frame_(frame) {}
    void EnterTargets(bool velmoranMode) override { frame_.autoTargets_->SetVelmoranMode(velmoranMode); }
    void ResetProgressList() override { frame_.autoProgress_->ResetList(); }
    void StartAutomaticUpgrade() override { frame_.autoProgress_->Start(); }
    void AbortAutomaticUpgrade() override { frame_.autoProgress_->Abort(); }

  private:
    WizardDialog& frame_;
};

WizardDialog::WizardDialog(WizardEngine& engine, platform::MessageBoxes* boxes, platform::EngineTiming timing,
                           QWidget* parent, const FirmwareBundle* bundle)
    : QDialog(parent), engine_(engine), timing_(timing), scale_(font()) {
    if (!boxes) ownBoxes_ = std::make_unique<platform::QtMessageBoxes>(this);
    boxes_ = boxes ? boxes : ownBoxes_.get();
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(scale_(QSize(FRAME_WIDTH, FRAME_HEIGHT)));
    setWindowIcon(AppIcon());

    resources_ = std::make_unique<ResourceState>();
    resources_->LoadAll(boxes_);
    if (bundle) resources_->ApplyBundle(*bundle);
    setWindowTitle(ToQt(resources_->provisionalTitle));

    runner_ = new platform::QtTaskRunner(this);
    autoPages_ = std::make_unique<AutoPagesAdapter>(*this);
    WizardView& view = *this;
    flow_ = std::make_unique<WizardFlow>(view, engine_, *boxes_, *resources_, timing_);
    CreateFrame();
    CreatePages();
    flow_->Start();
}

WizardDialog::~WizardDialog() {
    for (auto& [id, timer] : timers_)
        timer->stop();
    runner_->StopAndWait();
    SetWaitCursor(false);
    current_ = nullptr;
    for (QWidget*& page : pages_) {
        delete page;
        page = nullptr;
    }
    agreement_ = nullptr;
    mode_ = nullptr;
    target_ = nullptr;
    progress_ = nullptr;
    result_ = nullptr;
    autoTargets_ = nullptr;
    autoProgress_ = nullptr;
    resources_->slotData.fill(nullptr);
    resources_->slotSize.fill(0);
    flow_->Shutdown();
}

void WizardDialog::CreateFrame() {
    const FontScale& s = scale_;
    const int frameWidth = s(FRAME_WIDTH);
    const int margin = s(MARGIN);
    const int buttonWidth = s(BUTTON_WIDTH);
    const int buttonHeight = s(BUTTON_HEIGHT);
    const int buttonTop = s(FRAME_HEIGHT) - margin - buttonHeight - s(4);
    separator_ = new QFrame(this);
    separator_->setObjectName("separator");
    separator_->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    separator_->setGeometry(margin, buttonTop - s(12), frameWidth - 2 * margin, 2);

    const int cancelLeft = frameWidth - margin - buttonWidth;
    const int nextLeft = cancelLeft - s(10) - buttonWidth;
    const int backLeft = nextLeft - buttonWidth;
    back_ = new QPushButton(this);
    back_->setObjectName("back");
    back_->setGeometry(backLeft, buttonTop, buttonWidth, buttonHeight);
    next_ = new NextButton(this);
    next_->setObjectName("next");
    next_->setGeometry(nextLeft, buttonTop, buttonWidth, buttonHeight);
    cancel_ = new QPushButton(this);
    cancel_->setObjectName("cancel");
    cancel_->setGeometry(cancelLeft, buttonTop, buttonWidth, buttonHeight);
    // Enter is the frame's to route (see keyPressEvent); only the look of the default stays.
    for (QPushButton* button : {back_, static_cast<QPushButton*>(next_), cancel_})
        button->setAutoDefault(false);
    next_->setDefault(true);
    connect(back_, &QPushButton::clicked, this, [this] { flow_->Back(); });
    connect(next_, &QPushButton::clicked, this, [this] { flow_->Next(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { flow_->Cancel(); });
    connect(
        next_, &NextButton::HiddenModeRequested, this, [this] { flow_->HiddenModeCommand(); },
        Qt::QueuedConnection);

    const int indicator = s(INDICATOR_SIZE);
    QPixmap square(indicator, indicator);
    square.fill(INDICATOR_COLOUR);
    emergency_ = new QLabel(this);
    emergency_->setObjectName("emergency");
    emergency_->setPixmap(square);
    emergency_->setGeometry(margin + s(2), buttonTop + (buttonHeight - indicator) / 2, indicator, indicator);
    emergency_->hide();
}

void WizardDialog::CreatePages() {
    const std::string model = resources_->modelNames[0].value_or(std::string());
    auto* precautions = new PrecautionsPage(model, resources_->versionLabel, boxes_, this);
    agreement_ = new AgreementPage(next_, boxes_, this);
    mode_ = new ModePage(boxes_, this);
    target_ = new ManualTargetPage(*boxes_, this);
    progress_ = new ManualProgressPage(flow_->Progress(), this);
    result_ = new ManualResultPage(this);
    DiscoverySource discovery{[this] { return engine_.DiscoveredCameras(); },
                              [this] { return engine_.DiscoveryRunning(); }};
    autoTargets_ = new AutoTargetsPage(
        resources_->modelNames, timing_, *boxes_, std::move(discovery),
        [this](ButtonMode mode) { SetButtons(mode); }, this);
    autoTargets_->openSingleLogin = [this](CameraGrid& grid) {
        SingleLoginDialog dialog(grid, this);
        dialog.exec();
    };
    autoTargets_->openBatchLogin = [this](CameraGrid& grid) {
        BatchLoginDialog dialog(grid, this);
        dialog.exec();
    };
    autoTargets_->openAddCameras = [this](CameraGrid& grid) {
        if (!clipboard_) clipboard_ = std::make_unique<platform::QtClipboard>();
        AddCamerasDialog dialog(grid, resources_->modelNames, timing_, *boxes_, *clipboard_, this);
        dialog.exec();
    };
    autoProgress_ = new AutoProgressPage(
        *resources_, autoTargets_->Grid(), *boxes_, [this](ButtonMode mode) { SetButtons(mode); }, timing_,
        this);
    pages_ = {precautions, agreement_, mode_, target_, progress_, result_, autoTargets_, autoProgress_};
    const char* names[PAGE_COUNT] = {"precautionsPage",  "agreementPage",      "modePage",
                                     "manualTargetPage", "manualProgressPage", "manualResultPage",
                                     "autoTargetsPage",  "autoProgressPage"};
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        pages_[i]->setObjectName(names[i]);
        pages_[i]->setGeometry(0, 0, scale_(FRAME_WIDTH), scale_(PAGE_HEIGHT));
        pages_[i]->hide();
    }
}

QPushButton* WizardDialog::Button(WizardButton button) const {
    switch (button) {
        case WizardButton::Back:
            return back_;
        case WizardButton::Next:
            return next_;
        case WizardButton::Cancel:
            return cancel_;
    }
    return nullptr;
}

QWidget* WizardDialog::EmergencyIndicator() const {
    return emergency_;
}

void WizardDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            event->accept();
            QWidget* focus = focusWidget();
            // Enter inside a text that takes it belongs to the text, as a new line would; in any
            // other text (the precautions) it is the default button's.
            if (focus && focus->property(WANTS_RETURN).toBool()) return;
            std::optional<WizardButton> on;
            if (focus == back_) on = WizardButton::Back;
            if (focus == cancel_) on = WizardButton::Cancel;
            flow_->Enter(on);
            return;
        }
        case Qt::Key_Escape:
            event->accept();
            flow_->Cancel();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void WizardDialog::closeEvent(QCloseEvent* event) {
    if (ending_) return event->accept();
    event->ignore();
    if (closeEnabled_) flow_->Cancel();
}

void WizardDialog::reject() {
    flow_->Cancel();
}

void WizardDialog::ShowOnlyPage(WizardPage page) {
    QWidget* next = Page(page);
    if (current_ && current_ != next) current_->hide();
    next->show();
    current_ = next;
}

void WizardDialog::SetButtonText(WizardButton button, const std::string& text) {
    Button(button)->setText(ToQt(text));
}

void WizardDialog::EnableButton(WizardButton button, bool enabled) {
    Button(button)->setEnabled(enabled);
}

bool WizardDialog::IsButtonEnabled(WizardButton button) const {
    return Button(button)->isEnabled();
}

void WizardDialog::FocusButton(WizardButton button) {
    Button(button)->setFocus();
}

void WizardDialog::EnableClose(bool enabled) {
    closeEnabled_ = enabled;
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowCloseButtonHint, enabled);
    if (flags == windowFlags()) return;
    // setWindowFlags would re-create and hide the window, which ends a modal run; tell the
    // existing native window instead.
    overrideWindowFlags(flags);
    if (QWindow* window = windowHandle()) window->setFlags(flags);
}

void WizardDialog::ShowEmergencyIndicator(bool shown) {
    emergency_->setVisible(shown);
}

void WizardDialog::SetWaitCursor(bool shown) {
    if (shown == waitCursor_) return;
    waitCursor_ = shown;
    if (shown)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void WizardDialog::EndDialog(bool ok) {
    ending_ = true;
    done(ok ? QDialog::Accepted : QDialog::Rejected);
}

void WizardDialog::StartTimer(int id, int periodMs) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { flow_->OnTimer(id); });
    }
    timer->start(periodMs);
}

void WizardDialog::StopTimer(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

void WizardDialog::RunOffUiThread(std::function<void(std::stop_token)> work, std::function<void()> done) {
    runner_->Run(std::move(work), std::move(done));
}

AgreementAccess& WizardDialog::Agreement() {
    return *agreement_;
}
ModeAccess& WizardDialog::Mode() {
    return *mode_;
}
ManualTargetAccess& WizardDialog::ManualTarget() {
    return *target_;
}
ManualProgressAccess& WizardDialog::ManualProgress() {
    return *progress_;
}
ManualResultAccess& WizardDialog::ManualResult() {
    return *result_;
}
AutoPagesAccess& WizardDialog::AutoPages() {
    return *autoPages_;
}

}  // namespace xqt
