#pragma once
// The wizard page of automatic mode that upgrades the ticked targets: one row of its ProgressList
// and one CameraSession per ticked camera, the setup-data options, the confirmation, the list's
// scheduler that starts the cameras in row order with at most two in progress, the counter of
// cameras that have ended, and the upgrade log once every camera has ended.
//
// Threads: UI thread only. The inquiries that precede each start (system state and DocType, then
// the administrator check unless the camera is in recovery state) run on a helper thread, one
// camera at a time; while they run that camera counts as busy, so the start rule (row order,
// two-worker window, one start per tick, no start behind a camera that saves its configuration or
// uploads) holds exactly as if they had blocked the tick. The sessions' own timers run on the
// page's QtSessionOwner and reach the session of the row whose id they carry.
//
// Lifetime: the page owns its list, and the list owns the sessions; the page's session owner
// outlives them (the destructor empties the list first). The resource state and the targets grid
// must outlive the page.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/ResourceState.h"
#include "platform/EngineTiming.h"
#include "platform/MessageBoxes.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QTimer;

namespace xqt {

namespace platform {
class QtSessionOwner;
class QtTaskRunner;
}  // namespace platform

class CameraGrid;
class ProgressList;

class AutoProgressPage : public QWidget {
    Q_OBJECT
  public:
    /// The wizard's SetButtons (modes 2, 3 and 4 are used here).
    using SetButtonsFn = std::function<void(int mode)>;
    /// Shows the upgrade log of `list` and returns when it has closed.
    using LogHook = std::function<void(const ProgressList& list)>;

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
    /// "n/m": cameras that have ended / all cameras.
    QString CounterText() const;
    /// True while the scheduler drives the list.
    bool Running() const;

  protected:
    void showEvent(QShowEvent* event) override;
    /// The list and the controls below it follow the page's size.
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct StartJob;

    void CreateControls();
    void LayOut();
    void Fill();
    void UpdateCounter();
    void OnRetainClicked();
    void OnConfirm();
    void SchedulerTick();
    /// Starts the inquiries of the camera at queue `position` on the helper thread.
    void BeginStart(int position);
    /// The inquiries have passed: image by DocType, then the upgrade.
    void CompleteStart(int position, const std::string& docType);
    void EndCamera(int position, std::int32_t state);
    void ShowStatus(int row, std::int32_t state);
    void RouteTimer(int id);
    /// Waits for the inquiries in flight, cutting them short; their outcome is dropped.
    void StopStartJob();

    ResourceState& resources_;
    const CameraGrid& targets_;
    platform::MessageBoxes& boxes_;
    SetButtonsFn setButtons_;
    platform::EngineTiming timing_;

    std::unique_ptr<platform::QtSessionOwner> owner_;
    platform::QtTaskRunner* runner_ = nullptr;
    std::shared_ptr<StartJob> job_;  ///< the inquiries in flight or not yet taken up by a tick

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
    bool runStarted_ = false;  ///< the user confirmed the upgrade since the list was filled
    bool finished_ = false;    ///< Finish was offered and the log shown
};

}  // namespace xqt
