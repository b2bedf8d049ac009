#pragma once
// What the wizard's logic (WizardFlow) needs from its window: the frame's buttons, the pages,
// timers, and a way to run a blocking engine call without freezing the window. The Qt dialog
// implements it; every call is made on the UI thread.

#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "camera/DiscoveryEntry.h"
#include "camera/UpgradeStatus.h"

namespace xqt {

enum class WizardButton { Back, Next, Cancel };

/// What the frame's buttons offer; pages change them only through SetButtons.
enum class ButtonMode : int {
    NextDisabled = 0,  ///< "Next >" disabled
    NextEnabled = 1,   ///< "Next >" enabled
    Upgrade = 2,       ///< Next reads "Upgrade"
    Abort = 3,         ///< Next reads "Abort"; Back, Cancel and the close box are disabled
    Finish = 4,        ///< Cancel reads "Finish" and is the only way on
    CancelOnly = 5,    ///< Next and Back disabled, Cancel enabled
};

/// How a page asks the frame for a button mode.
using SetButtonsFn = std::function<void(ButtonMode mode)>;

/// The eight pages, in the order they are created and destroyed.
enum class WizardPage {
    Precautions,
    Agreement,
    Mode,
    ManualTarget,
    ManualProgress,
    ManualResult,
    AutoTargets,
    AutoProgress
};
inline constexpr int PAGE_COUNT = 8;

/// Timer ids of the frame. The session's own timers (0x8100 + slot, 0x8200 + slot) are the engine's.
inline constexpr int TIMER_DISCOVERY = 0x8001;
inline constexpr int TIMER_RESTART_WATCH = 0x8016;
/// The manual progress page's own redisplay of the session's state while the upgrade runs.
inline constexpr int TIMER_DISPLAY_REFRESH = 0x8017;
/// Period of TIMER_DISPLAY_REFRESH. The session's tick stops while the camera reboots, so the page
/// cannot rely on it alone. A display rate, not an engine duration: never scaled with the engine's
/// timing.
inline constexpr int DISPLAY_REFRESH_MS = 250;

class AgreementAccess {
  public:
    virtual ~AgreementAccess() = default;
    /// True when "Agree" is chosen; puts the focus on the chosen radio button.
    [[nodiscard]] virtual bool IsAgreed() = 0;
};

class ModeAccess {
  public:
    virtual ~ModeAccess() = default;
    /// Sets the texts again and puts the focus on the chosen radio button.
    virtual void Refresh() = 0;
    [[nodiscard]] virtual bool IsManual() = 0;
};

struct SetupData {
    bool retain = true;
    bool backup = false;
};

class ManualTargetAccess {
  public:
    virtual ~ManualTargetAccess() = default;
    /// Reads the controls; on a refusal shows its message and focuses the field to correct.
    [[nodiscard]] virtual bool Validate() = 0;
    /// False (after the error message) when more than one found camera has the entered address.
    [[nodiscard]] virtual bool CheckUniqueAddress(const std::vector<DiscoveryEntry>& found) = 0;
    [[nodiscard]] virtual std::string GetAddressText() = 0;
    [[nodiscard]] virtual std::string GetCredentialText() = 0;
    [[nodiscard]] virtual std::string AdminName() = 0;
    [[nodiscard]] virtual std::string AdminPassword() = 0;
    virtual SetupData ReadSetupData() = 0;
    virtual void FocusAddress() = 0;
};

class ManualProgressAccess {
  public:
    virtual ~ManualProgressAccess() = default;
    virtual void SetAddressText(const std::string& text) = 0;
    virtual void SetCurrentVersion(const std::string& text) = 0;
    virtual void SetNewVersion(const std::string& text) = 0;
    virtual void SetStatusLine(const std::string& text) = 0;
    virtual void SetSetupData(SetupData data) = 0;
    /// Shows the word of an UpgradeStatus code (codes above 9 leave it unchanged) and redisplays.
    virtual void ShowStatusWord(UpgradeStatus status) = 0;
};

class ManualResultAccess {
  public:
    virtual ~ManualResultAccess() = default;
    virtual void SetAddressText(const std::string& text) = 0;
    /// `confirmed`: the camera reported the version itself; otherwise the text says it did not.
    virtual void SetResultText(const std::string& versionLabel, bool confirmed) = 0;
};

/// The automatic-mode pages as the frame drives them.
class AutoPagesAccess {
  public:
    virtual ~AutoPagesAccess() = default;
    /// Before the targets page is shown; the page reads discovery itself while it waits for it.
    virtual void EnterTargets(bool velmoranMode) = 0;
    /// Clears the progress page's list-filled flag, so it rebuilds its list when shown.
    virtual void ResetProgressList() = 0;
    virtual void StartAutomaticUpgrade() = 0;
    virtual void AbortAutomaticUpgrade() = 0;
};

class WizardView {
  public:
    virtual ~WizardView() = default;

    /// Hides the current page and shows `page`.
    virtual void ShowOnlyPage(WizardPage page) = 0;
    virtual void SetButtonText(WizardButton button, const std::string& text) = 0;
    virtual void EnableButton(WizardButton button, bool enabled) = 0;
    [[nodiscard]] virtual bool IsButtonEnabled(WizardButton button) const = 0;
    virtual void FocusButton(WizardButton button) = 0;
    /// The window's close item and close box: enabled or grayed.
    virtual void EnableClose(bool enabled) = 0;
    virtual void ShowEmergencyIndicator(bool shown) = 0;
    virtual void SetWaitCursor(bool shown) = 0;
    /// Closes the frame; `ok` as with OK, otherwise as with Cancel.
    virtual void EndDialog(bool ok) = 0;
    virtual void StartTimer(int id, int periodMs) = 0;
    virtual void StopTimer(int id) = 0;
    /// Runs `work` on a helper thread, then `done` on the UI thread. One job at a time: the caller
    /// starts the next only after `done` ran. When the window goes away first, `work` is asked to
    /// stop through its token, the window waits for it, and `done` never runs.
    virtual void RunOffUiThread(std::function<void(std::stop_token)> work, std::function<void()> done) = 0;

    virtual AgreementAccess& Agreement() = 0;
    virtual ModeAccess& Mode() = 0;
    virtual ManualTargetAccess& ManualTarget() = 0;
    virtual ManualProgressAccess& ManualProgress() = 0;
    virtual ManualResultAccess& ManualResult() = 0;
    virtual AutoPagesAccess& AutoPages() = 0;
};

}  // namespace xqt
