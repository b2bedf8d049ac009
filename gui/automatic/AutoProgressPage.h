#pragma once
// The wizard page of automatic mode that upgrades the ticked targets: it fills a BatchRun with one
// row per ticked camera, draws its rows in a ProgressList, takes the setup-data options, asks for
// confirmation, shows the counter of cameras that have ended, writes a line to the upgrade history
// for every camera the run wrote to, and offers Finish and the upgrade log once every camera has
// ended. The run itself (start rule, sessions, abort) is BatchRun's.
//
// Threads: UI thread only. The run's scheduler and its sessions' timers run on the page's
// QtSessionOwner, so the run ticks on the UI thread; its start inquiries run on threads of their own.
//
// Lifetime: the page owns the run and the run owns the sessions; the page's session owner outlives
// them. The resource state and the targets grid must outlive the page.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "camera/ResourceState.h"
#include "fleet/BatchRun.h"
#include "platform/EngineTiming.h"
#include "platform/MessageBoxes.h"
#include "wizard/WizardView.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QTimer;

namespace xqt {

namespace platform {
class QtSessionOwner;
}  // namespace platform

class CameraGrid;
class ProgressList;

class AutoProgressPage : public QWidget, private BatchObserver {
    Q_OBJECT
  public:
    /// Shows the upgrade log of `run` and returns when it has closed.
    using LogHook = std::function<void(const BatchRun& run)>;

    /// `targets` is the targets page's grid; `resources` gives the model list, the slot keys and
    /// images and the version label; `boxes` shows the confirmation. All must outlive the page.
    AutoProgressPage(ResourceState& resources, const CameraGrid& targets, platform::MessageBoxes& boxes,
                     SetButtonsFn setButtons, platform::EngineTiming timing = {}, QWidget* parent = nullptr);
    ~AutoProgressPage() override;

    /// Clears the filled flag: the list is rebuilt from the targets when the page is next shown.
    void ResetList() { filled_ = false; }
    /// The user pressed Next while it read "&Upgrade": takes the options and asks for confirmation.
    void Start();
    /// The user pressed Next while it read "&Abort": cameras not yet started are dropped once the
    /// running ones have ended.
    void Abort();

    /// The log dialog; by default the upgrade log dialog runs modally over the page.
    LogHook openLog;

    ProgressList& List() { return *list_; }
    const ProgressList& List() const { return *list_; }
    BatchRun& Run() { return *run_; }
    const BatchRun& Run() const { return *run_; }
    /// "n/m": cameras that have ended / all cameras.
    [[nodiscard]] QString CounterText() const;
    /// True while the run's scheduler drives it.
    [[nodiscard]] bool Running() const;

  protected:
    void showEvent(QShowEvent* event) override;
    /// The list and the controls below it follow the page's size.
    void resizeEvent(QResizeEvent* event) override;

  private:
    void CreateControls();
    void LayOut();
    void Fill();
    void UpdateCounter();
    void OnRetainClicked();
    void OnConfirm();
    void RowsChanged() override;
    void CameraEnded(int row) override;

    ResourceState& resources_;
    const CameraGrid& targets_;
    platform::MessageBoxes& boxes_;
    SetButtonsFn setButtons_;
    platform::EngineTiming timing_;

    std::unique_ptr<platform::QtSessionOwner> owner_;
    std::unique_ptr<BatchRun> run_;

    QLabel* targetsLabel_ = nullptr;
    QFrame* listFrame_ = nullptr;
    QGroupBox* setupGroup_ = nullptr;
    QLabel* counterLabel_ = nullptr;
    QLabel* counter_ = nullptr;
    QCheckBox* retain_ = nullptr;
    QCheckBox* backup_ = nullptr;
    ProgressList* list_ = nullptr;
    QTimer* counterTimer_ = nullptr;
    QTimer* confirmTimer_ = nullptr;

    bool filled_ = false;
    bool inCounter_ = false;
    int lastShown_ = -1;
    int shownRows_ = 0;        ///< rows the list was last told of
    bool runStarted_ = false;  ///< the user confirmed the upgrade since the list was filled
    bool finished_ = false;    ///< Finish was offered and the log shown
};

}  // namespace xqt
