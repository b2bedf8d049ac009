#include "wizard/OfflineWizardEngine.h"

#include "platform/ResourceText.h"
#include "wizard/WizardTexts.h"

namespace xqt {

CameraCheck OfflineWizardEngine::CheckCamera(const std::string&, const std::string&) {
    // No answer means no model, which the check reports as the wrong model.
    CameraCheck check;
    check.message =
        EngineMessage{"This program works for the " + firstModel_ + ". Please select the correct camera.",
                      platform::TextOf(TEXT_INFORMATION), platform::MbIcon::Exclamation};
    return check;
}

}  // namespace xqt
