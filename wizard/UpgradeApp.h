#pragma once
// Start-up of the desktop program, apart from the windows themselves so it can be tested.

#include <functional>

#include "platform/MessageBoxes.h"

namespace xqt {

struct UpgradeApp {
    std::function<bool()> initSockets;  ///< the socket layer's start-up check
    std::function<int()> runWizard;     ///< creates the wizard, runs it modally, returns when it closes
    platform::MessageBoxes* boxes = nullptr;

    /// Runs the program: when the socket layer cannot start, shows only string 103 and ends
    /// with 1; otherwise runs the wizard and ends with its result.
    int Run() const;
};

}  // namespace xqt
