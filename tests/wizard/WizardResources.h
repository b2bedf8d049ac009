#pragma once
// The resources and timing the wizard tests share, Qt-free: the texts and resources the wizard
// reads (copied exactly as the product carries them) and durations scaled down for a whole run.

#include "platform/EngineTiming.h"
#include "platform/Resources.h"

namespace xqt::test {

/// Fills `res` with everything the wizard loads: texts, model list, slot keys, one image,
/// version information and the string table.
void InstallWizardResources(platform::MemoryResources& res);

/// Durations short enough for a whole run in a moment, in the same proportions as the real ones.
platform::EngineTiming FastTiming();

}  // namespace xqt::test
