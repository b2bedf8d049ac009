#pragma once
// The wizard's main window: a fixed frame with Back, Next and Cancel, an etched separator, the
// hidden emergency indicator, and eight pages at the same place of which only the current one is
// visible. The logic is WizardFlow's; this class is its window: it owns the resources, the pages,
// the timers and the helper thread, and turns keys, clicks and the close box into the flow's
// commands. UI thread only; engine events must be delivered on the UI thread.

#include <QDialog>
#include <array>
#include <map>
#include <memory>

#include "camera/ResourceState.h"
#include "gui/controls/FontScale.h"
#include "platform/EngineTiming.h"
#include "platform/MessageBoxes.h"
#include "wizard/WizardEngine.h"
#include "wizard/WizardFlow.h"
#include "wizard/WizardView.h"

class QFrame;
class QLabel;
class QPushButton;
class QTimer;

namespace xqt {

namespace platform {
class QtClipboard;
class QtMessageBoxes;
class QtTaskRunner;
}  // namespace platform

class AgreementPage;
class AutoProgressPage;
class AutoTargetsPage;
class ManualProgressPage;
class ManualResultPage;
class ManualTargetPage;
class ModePage;
class NextButton;

/// Frame size: the classic wizard frame of 356 x 200 dialog units, measured in a font as wide as
/// the Linux desktop default, so that the lists show every column without scrolling sideways. A
/// larger font grows the frame and everything placed on it by its FontScale.
inline constexpr int FRAME_WIDTH = 580;
inline constexpr int FRAME_HEIGHT = 360;

class WizardDialog : public QDialog, private WizardView {
    Q_OBJECT
  public:
    /// Loads the resources, creates the pages, starts discovery and shows the first page's state.
    /// `boxes` may be null: the frame then shows real message boxes. `engine` must outlive the frame.
    /// `timing` gives the frame's own waits and the pages' periods. A checked
    /// `bundle` replaces the embedded version, models, keys and images; the caller keeps it alive.
    WizardDialog(WizardEngine& engine, platform::MessageBoxes* boxes, platform::EngineTiming timing = {},
                 QWidget* parent = nullptr, const FirmwareBundle* bundle = nullptr);
    ~WizardDialog() override;

    /// Button modes 0-5 for the automatic pages.
    void SetButtons(ButtonMode mode) { flow_->SetButtons(mode); }

    const WizardFlow& Flow() const { return *flow_; }
    const ResourceState& Resources() const { return *resources_; }
    [[nodiscard]] QPushButton* Button(WizardButton button) const;
    QWidget* Page(WizardPage page) const { return pages_[static_cast<std::size_t>(page)]; }
    QWidget* CurrentPage() const { return current_; }
    /// The automatic targets page; its dialog hooks are connected by whoever builds the dialogs.
    AutoTargetsPage* AutoTargets() const { return autoTargets_; }
    /// The automatic progress page.
    AutoProgressPage* AutoProgress() const { return autoProgress_; }
    [[nodiscard]] QWidget* EmergencyIndicator() const;
    bool CloseEnabled() const { return closeEnabled_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    /// Every other way of dismissing the dialog is Cancel as well.
    void reject() override;

  private:
    class AutoPagesAdapter;

    void CreateFrame();
    void CreatePages();

    // WizardView
    void ShowOnlyPage(WizardPage page) override;
    void SetButtonText(WizardButton button, const std::string& text) override;
    void EnableButton(WizardButton button, bool enabled) override;
    bool IsButtonEnabled(WizardButton button) const override;
    void FocusButton(WizardButton button) override;
    void EnableClose(bool enabled) override;
    void ShowEmergencyIndicator(bool shown) override;
    void SetWaitCursor(bool shown) override;
    void EndDialog(bool ok) override;
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void RunOffUiThread(std::function<void(std::stop_token)> work, std::function<void()> done) override;
    AgreementAccess& Agreement() override;
    ModeAccess& Mode() override;
    ManualTargetAccess& ManualTarget() override;
    ManualProgressAccess& ManualProgress() override;
    ManualResultAccess& ManualResult() override;
    AutoPagesAccess& AutoPages() override;

    WizardEngine& engine_;
    std::unique_ptr<platform::QtMessageBoxes> ownBoxes_;
    std::unique_ptr<platform::QtClipboard> clipboard_;  ///< made when Add other cameras first opens
    platform::MessageBoxes* boxes_;
    std::unique_ptr<ResourceState> resources_;
    std::unique_ptr<WizardFlow> flow_;
    platform::EngineTiming timing_;
    FontScale scale_;  ///< of the font the frame was made in
    std::unique_ptr<AutoPagesAdapter> autoPages_;
    platform::QtTaskRunner* runner_ = nullptr;

    QPushButton* back_ = nullptr;
    NextButton* next_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QFrame* separator_ = nullptr;
    QLabel* emergency_ = nullptr;

    std::array<QWidget*, PAGE_COUNT> pages_{};
    AgreementPage* agreement_ = nullptr;
    ModePage* mode_ = nullptr;
    ManualTargetPage* target_ = nullptr;
    ManualProgressPage* progress_ = nullptr;
    ManualResultPage* result_ = nullptr;
    AutoTargetsPage* autoTargets_ = nullptr;
    AutoProgressPage* autoProgress_ = nullptr;
    QWidget* current_ = nullptr;

    std::map<int, QTimer*> timers_;
    bool closeEnabled_ = true;
    bool waitCursor_ = false;
    bool ending_ = false;
};

}  // namespace xqt
