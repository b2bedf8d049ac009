#pragma once
// The owner of camera sessions, standing in for the owner window of the product: it runs the
// sessions' periodic timers, receives the upgrade message they post and shows their message boxes,
// all on its own thread (the owner's thread). The wizard implements it with QTimer and queued calls;
// the command-line tool and the tests use EventLoopOwner.
//
// Every operation may be called from any thread (a session calls them from the owner's thread, its
// worker or its progress reader). Timer ticks, upgrade messages and message boxes are delivered on
// the owner's thread in the order they were requested; the owner routes a tick to the session whose
// timer it is (CameraSession::OnSessionTimer).

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/MessageBoxes.h"

namespace xqt::platform {

/// WM_APP + 100: the message a session posts to its owner.
inline constexpr std::uint32_t WM_APP_UPGRADE = 0x8000 + 100;

/// wParam of WM_APP_UPGRADE: lParam is the wizard's new page state, or how far to move it on.
inline constexpr std::int32_t UPGRADE_ADVANCE_STATE = 0;
inline constexpr std::int32_t UPGRADE_SET_STATE = 1;
/// lParam values a session sends: back to the target page (the upgrade failed), on to the result
/// page, and one step on.
inline constexpr std::int32_t UPGRADE_STATE_TARGET = 3;
inline constexpr std::int32_t UPGRADE_STATE_RESULT = 6;
inline constexpr std::int32_t UPGRADE_ONE_STEP = 1;

class SessionOwner {
  public:
    virtual ~SessionOwner() = default;

    /// Starts the periodic timer `id`, or restarts it with the new period when it runs already.
    virtual void StartTimer(int id, std::chrono::milliseconds period) = 0;

    /// Stops the timer `id`; unknown ids are ignored. Called on the owner's thread, no further tick
    /// of it arrives. Called from another thread, one tick that was already due may still arrive, so
    /// a tick handler checks that its work is still wanted.
    virtual void StopTimer(int id) = 0;

    /// Posts WM_APP_UPGRADE (wParam, lParam) to the owner; returns at once.
    virtual void PostUpgradeMessage(std::int32_t wParam, std::int32_t lParam) = 0;

    /// Shows a modal box with an OK button on the owner's thread, queued in order with the posted
    /// messages; returns at once without waiting for the user.
    virtual void ShowMessage(const std::string& text, const std::string& caption, MbIcon icon) = 0;
};

}  // namespace xqt::platform
