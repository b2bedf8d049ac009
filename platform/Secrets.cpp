#include "platform/Secrets.h"

#include <sys/prctl.h>

namespace xqt::platform {

bool KeepSecretsOutOfCoreDumps() {
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
}

}  // namespace xqt::platform
