#include "wizard/UpgradeApp.h"

#include "platform/Resources.h"

namespace xqt {

int UpgradeApp::Run() const {
    if (!initSockets || !initSockets()) {
        if (boxes)
            boxes->Show(platform::LoadString(103), std::string(), platform::MbButtons::Ok,
                        platform::MbIcon::None);
        return 1;
    }
    return runWizard ? runWizard() : 0;
}

}  // namespace xqt
