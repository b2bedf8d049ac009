// CameraSession: the configuration backup and restore of automatic mode, around the ConfigStore
// and RestoreConfig.
#include <algorithm>
#include <cctype>
#include <ctime>

#include "camera/CameraSession.h"
#include "camera/SessionSequence.h"

#if __has_include("camera/ConfigStore.h")
#include "camera/ConfigStore.h"
#define XQT_HAVE_CONFIG_STORE 1
#endif

namespace xqt {

#ifdef XQT_HAVE_CONFIG_STORE
#error "ConfigStore is there: wire SaveConfiguration, HasConfigStore and RestoreSteps to it"
#else
// ADAPTER until the configuration store is merged: without it no configuration can be saved, so a
// backup fails (Error6) and nothing is uploaded.
bool CameraSession::SaveConfiguration() {
    return false;
}

bool CameraSession::HasConfigStore() const {
    return false;
}

void CameraSession::RestoreSteps() {
    ReconfigurationPhase();
}
#endif

}  // namespace xqt
