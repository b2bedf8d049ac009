#include "wizard/WizardFlow.h"

#include "platform/ResourceText.h"
#include "wizard/WizardTexts.h"

namespace xqt {

using platform::MbButtons;
using platform::MbIcon;
using platform::MbResult;
using platform::TextOf;

WizardFlow::WizardFlow(WizardView& view, WizardEngine& engine, platform::MessageBoxes& boxes,
                       ResourceState& resources, platform::EngineTiming timing)
    : view_(view), engine_(engine), boxes_(boxes), resources_(resources), timing_(timing) {}

void WizardFlow::Start() {
    ResetButtonTexts();
    engine_.StartDiscovery();
    discoveryRunning_ = true;
    view_.StartTimer(TIMER_DISCOVERY, static_cast<int>(timing_.discoveryEnquiryInterval.count()));
    enquiriesSent_ = 0;
    engine_.SendEnquiry();
    state_ = STATE_PRECAUTIONS;
    ShowPage();
}

void WizardFlow::ResetButtonTexts() {
    view_.SetButtonText(WizardButton::Next, TextOf(TEXT_NEXT));
    view_.SetButtonText(WizardButton::Back, TextOf(TEXT_BACK));
    view_.SetButtonText(WizardButton::Cancel, TextOf(TEXT_CANCEL));
}

void WizardFlow::ShowPage() {
    switch (state_) {
        case STATE_PRECAUTIONS:
            view_.ShowOnlyPage(WizardPage::Precautions);
            view_.EnableButton(WizardButton::Back, false);
            view_.EnableButton(WizardButton::Next, true);
            break;
        case STATE_AGREEMENT:
            view_.ShowOnlyPage(WizardPage::Agreement);
            view_.EnableButton(WizardButton::Back, true);
            view_.EnableButton(WizardButton::Next, view_.Agreement().IsAgreed());
            break;
        case STATE_MODE:
            view_.ShowOnlyPage(WizardPage::Mode);
            view_.Mode().Refresh();
            break;
        case STATE_MANUAL_TARGET:
            view_.ShowOnlyPage(WizardPage::ManualTarget);
            view_.ManualTarget().FocusAddress();
            view_.SetButtonText(WizardButton::Next, TextOf(TEXT_NEXT));
            view_.EnableButton(WizardButton::Back, true);
            view_.EnableButton(WizardButton::Next, true);
            view_.EnableButton(WizardButton::Cancel, true);
            view_.EnableClose(true);
            break;
        case STATE_MANUAL_READY: {
            view_.ShowOnlyPage(WizardPage::ManualProgress);
            auto& page = view_.ManualProgress();
            progress_.SetPosition(0);
            page.SetStatusLine(std::string());
            SetButtons(ButtonMode::Upgrade);
            page.SetAddressText(targetAddress_);
            page.SetCurrentVersion(currentVersion_);
            page.SetNewVersion(resources_.versionLabel);
            break;
        }
        case STATE_MANUAL_RUNNING:
            StartManualUpgrade();
            break;
        case STATE_MANUAL_RESULT:
            EnterResult();
            break;
        case STATE_AUTO_TARGETS:
            view_.AutoPages().EnterTargets(velmoranMode_);
            view_.ShowOnlyPage(WizardPage::AutoTargets);
            break;
        case STATE_AUTO_READY:
            view_.ShowOnlyPage(WizardPage::AutoProgress);
            break;
        default:
            break;
    }
}

void WizardFlow::Next() {
    if (busy_ || !view_.IsButtonEnabled(WizardButton::Next)) return;
    if (abortMode_) {
        view_.EnableButton(WizardButton::Next, false);
        view_.AutoPages().AbortAutomaticUpgrade();
    }
    if (finishMode_) {
        view_.EndDialog(true);
        return;
    }
    switch (state_) {
        case STATE_MODE:
            if (view_.Mode().IsManual()) {
                state_ = STATE_MANUAL_TARGET;
            } else {
                state_ = STATE_AUTO_TARGETS;
                // The targets page enables Next itself once it has decided (after discovery).
                if (!engine_.DiscoveryStopRequested()) view_.EnableButton(WizardButton::Next, false);
            }
            confirmQuit_ = true;
            break;
        case STATE_MANUAL_TARGET:
            return NextFromTarget();
        case STATE_MANUAL_READY:
            return ConfirmUpgrade();
        case STATE_AUTO_TARGETS:
            view_.AutoPages().ResetProgressList();
            state_ = STATE_AUTO_READY;
            break;
        case STATE_AUTO_READY:
            view_.AutoPages().StartAutomaticUpgrade();
            break;
        default:
            ++state_;
            break;
    }
    ShowPage();
}

void WizardFlow::Back() {
    if (busy_ || !view_.IsButtonEnabled(WizardButton::Back)) return;
    switch (state_) {
        case STATE_MANUAL_TARGET:
            state_ = STATE_MODE;
            break;
        case STATE_MANUAL_RESULT:  // Re-try
            state_ = STATE_MANUAL_TARGET;
            ResetButtonTexts();
            view_.EnableButton(WizardButton::Next, true);
            view_.EnableButton(WizardButton::Back, true);
            view_.EnableButton(WizardButton::Cancel, true);
            confirmQuit_ = true;
            break;
        case STATE_AUTO_TARGETS:
            state_ = STATE_MODE;
            view_.SetButtonText(WizardButton::Next, TextOf(TEXT_NEXT));
            view_.EnableButton(WizardButton::Next, true);
            break;
        case STATE_AUTO_READY:
        case STATE_AUTO_RUNNING:
        case STATE_AUTO_ABORTED:
            state_ = STATE_AUTO_TARGETS;
            ResetButtonTexts();
            abortMode_ = false;
            finishMode_ = false;
            break;
        default:
            --state_;
            break;
    }
    ShowPage();
}

void WizardFlow::Cancel() {
    // Escape and the close box arrive here even while the Cancel button is disabled; quitting in the
    // middle of an upgrade would cut the camera off while it writes its flash memory.
    if (busy_ || !view_.IsButtonEnabled(WizardButton::Cancel)) return;
    if (confirmQuit_) {
        if (boxes_.Show(TextOf(TEXT_QUIT), TextOf(TEXT_INFORMATION), MbButtons::YesNo, MbIcon::Question) !=
            MbResult::Yes)
            return;
        StopDiscovery();
    }
    ReleaseConfiguration();
    view_.EndDialog(false);
}

void WizardFlow::Enter(std::optional<WizardButton> focus) {
    if (focus == WizardButton::Back) return Back();
    if (focus == WizardButton::Cancel) return Cancel();
    Next();
}

void WizardFlow::HiddenModeCommand() {
    if (busy_ || state_ != STATE_PRECAUTIONS) return;
    boxes_.Show(MSG_HIDDEN_MODE, std::string(), MbButtons::Ok, MbIcon::None);
    velmoranMode_ = true;
}

void WizardFlow::SetButtons(ButtonMode mode) {
    if (finishMode_) return;
    switch (mode) {
        case ButtonMode::NextDisabled:
        case ButtonMode::NextEnabled:
            view_.SetButtonText(WizardButton::Next, TextOf(TEXT_NEXT));
            view_.EnableButton(WizardButton::Next, mode == ButtonMode::NextEnabled);
            break;
        case ButtonMode::Upgrade:
            view_.SetButtonText(WizardButton::Next, TextOf(TEXT_UPGRADE));
            view_.EnableButton(WizardButton::Next, true);
            break;
        case ButtonMode::Abort:
            view_.SetButtonText(WizardButton::Next, TextOf(TEXT_ABORT));
            view_.EnableButton(WizardButton::Next, true);
            view_.EnableButton(WizardButton::Back, false);
            view_.EnableButton(WizardButton::Cancel, false);
            state_ = STATE_AUTO_RUNNING;
            view_.EnableClose(false);
            abortMode_ = true;
            break;
        case ButtonMode::Finish:
            view_.EnableButton(WizardButton::Next, false);
            view_.SetButtonText(WizardButton::Cancel, TextOf(TEXT_FINISH));
            view_.EnableButton(WizardButton::Cancel, true);
            view_.EnableClose(true);
            finishMode_ = true;
            confirmQuit_ = false;
            break;
        case ButtonMode::CancelOnly:
            view_.EnableButton(WizardButton::Next, false);
            view_.EnableButton(WizardButton::Back, false);
            view_.EnableButton(WizardButton::Cancel, true);
            confirmQuit_ = false;
            break;
        default:
            break;
    }
}

void WizardFlow::OnTimer(int id) {
    if (id == TIMER_RESTART_WATCH) return RestartWatchTick();
    if (id == TIMER_DISPLAY_REFRESH) return FollowSession();
    // Unlike a dispatch that hands every id to a running session first, the discovery tick is
    // always the discovery's: otherwise an upgrade started within ten seconds would leave the
    // receiver running and the timer ticking for the life of the program.
    if (id == TIMER_DISCOVERY) return DiscoveryTick();
}

void WizardFlow::DiscoveryTick() {
    if (!discoveryRunning_) return;
    if (enquiriesSent_ == 0) {
        engine_.SendEnquiry();
        enquiriesSent_ = 1;
        return;
    }
    view_.StopTimer(TIMER_DISCOVERY);
    engine_.RequestDiscoveryStop();
}

void WizardFlow::StopDiscovery() {
    if (!discoveryRunning_) return;
    view_.StopTimer(TIMER_DISCOVERY);
    engine_.StopDiscovery();
    discoveryRunning_ = false;
}

void WizardFlow::Shutdown() {
    view_.StopTimer(TIMER_RESTART_WATCH);
    view_.StopTimer(TIMER_DISPLAY_REFRESH);
    StopDiscovery();
    ReleaseConfiguration();
    engine_.EndSession();
}

void WizardFlow::RunBusy(std::function<void(std::stop_token)> work, std::function<void()> done) {
    busy_ = true;
    view_.RunOffUiThread(std::move(work), [this, done = std::move(done)] {
        busy_ = false;
        done();
    });
}

}  // namespace xqt
