#pragma once
// The wizard page of automatic mode on which the user chooses the cameras to upgrade: the cameras
// discovery found, in a camera grid with tick boxes, the buttons that select them, give their
// credentials, add cameras by hand and test the connection, and the counter of cameras listed. The
// page decides, through the wizard's SetButtons, when Next may lead on to the progress page.
//
// Threads: UI thread only. Discovery is read through DiscoverySource (a copy of the table and the
// receiver's running word, both safe to read while the receiver writes); connection tests run in
// the grid.
//
// The login and Add-other-cameras dialogs are reached through the three hooks; the page runs a hook
// modally (the hook returns when its dialog has closed) and re-reads the grid afterwards. An empty
// hook makes its button do nothing.

#include <QRect>
#include <QWidget>
#include <functional>
#include <vector>

#include "camera/DiscoveryEntry.h"
#include "camera/ModelList.h"
#include "platform/EngineTiming.h"
#include "platform/MessageBoxes.h"
#include "wizard/WizardView.h"

class QFontMetrics;
class QFrame;
class QLabel;
class QPushButton;
class QTimer;

namespace xqt {

class CameraGrid;

/// What the targets page reads of discovery.
struct DiscoverySource {
    /// Copies of the table's entries in table order, texts in UTF-8.
    std::function<std::vector<DiscoveryEntry>()> cameras;
    /// True while the discovery receiver still runs (the table may still grow).
    std::function<bool()> running;
};

class AutoTargetsPage : public QWidget {
    Q_OBJECT
  public:
    /// Runs a dialog over the page's grid modally.
    using DialogHook = std::function<void(CameraGrid& grid)>;

    /// Column widths of the grid as the product gives them (column 0 is the tick box).
    static constexpr int COLUMN_COUNT = 7;
    static constexpr int BASE_WIDTHS[COLUMN_COUNT] = {17, 123, 100, 85, 50, 70, 50};
    /// The counter's denominator: the most cameras one run takes.
    static constexpr int COUNTER_LIMIT = 256;

    /// `models` goes to the grid's connection tests; `boxes` shows the duplicate-address error.
    /// `boxes` must outlive the page.
    AutoTargetsPage(ModelList models, platform::EngineTiming timing, platform::MessageBoxes& boxes,
                    DiscoverySource discovery, SetButtonsFn setButtons, QWidget* parent = nullptr);
    ~AutoTargetsPage() override;

    /// Called by the wizard each time before it shows the page: the hidden mode skips the
    /// duplicate-address check.
    void SetVelmoranMode(bool on) { velmoranMode_ = on; }

    /// Login dialog for one camera at a time, from the selected row on.
    DialogHook openSingleLogin;
    /// Login dialog that gives the same credentials to every selected camera.
    DialogHook openBatchLogin;
    /// Add-other-cameras dialog; it appends to the grid.
    DialogHook openAddCameras;

    /// The grid and its TargetList, read by the automatic progress page.
    CameraGrid& Grid() { return *grid_; }
    const CameraGrid& Grid() const { return *grid_; }

    bool Searching() const { return searching_; }
    bool Testing() const { return testing_; }
    bool Expanded() const { return expanded_; }
    bool Blocked() const { return blocked_; }
    /// "n/256".
    [[nodiscard]] QString CounterText() const;

    /// Column width for `column` in this font: the product's width, widened where a text of fixed
    /// form would not fit with the list's 12-pixel margin, so that no MAC address, no dotted
    /// address and no listed model name is ever cut. Free texts (serial, version, name) keep the
    /// product's width and are cut with "..." as there.
    [[nodiscard]] static int ColumnWidth(int column, const QFontMetrics& metrics, const ModelList& models);

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void CreateControls();
    void LayOutButtons();
    void FillFromDiscovery();
    void ReEvaluate();
    void Block();
    /// Enables Access setting and Testing by the selection, unless the page is blocked (Access
    /// setting) or the grid is empty.
    void EnableForSelection();
    void UpdateCursor();

    void OnSelectAll();
    void OnAccessSetting();
    void OnAddOther();
    void OnTesting();
    void OnExpander();
    void OnExpanderStep();
    void OnWaitTick();
    void OnSelectionChanged(bool anySelected);
    void OnTestFinished();
    void RunHook(const DialogHook& hook);

    platform::EngineTiming timing_;
    platform::MessageBoxes& boxes_;
    DiscoverySource discovery_;
    SetButtonsFn setButtons_;

    QLabel* targetsLabel_ = nullptr;
    QFrame* frame_ = nullptr;
    CameraGrid* grid_ = nullptr;
    QPushButton* selectAll_ = nullptr;
    QPushButton* access_ = nullptr;
    QPushButton* addOther_ = nullptr;
    QPushButton* testingButton_ = nullptr;
    QPushButton* expander_ = nullptr;
    QLabel* counterLabel_ = nullptr;
    QLabel* counter_ = nullptr;
    QTimer* waitTimer_ = nullptr;
    QTimer* slideTimer_ = nullptr;

    bool velmoranMode_ = false;
    bool searching_ = false;
    bool testing_ = false;
    bool expanded_ = false;
    bool blocked_ = false;
    bool inHook_ = false;
    int slideStep_ = 0;  ///< steps taken of the slide in progress
    /// Where the two hidden buttons rest when shown.
    QRect addOtherPlace_;
    QRect testingPlace_;
};

}  // namespace xqt
