#pragma once
// The wizard's command line: the firmware bundle to write instead of the built-in image, given as
// `--firmware BUNDLE` or as the only argument (a file manager opening a bundle), and the keys it must
// be signed with (`--trusted-key FILE`, repeatable). Read after the toolkit has taken its own
// options. Pure; any thread.

#include <string>
#include <vector>

namespace xqt {

struct WizardArguments {
    std::string bundle;  ///< empty: the built-in image
    std::vector<std::string> trustedKeys;
    std::string error;  ///< a usage error, naming the argument; empty when the line was understood
};

/// Reads `arguments` (without the program's name).
[[nodiscard]] WizardArguments ParseWizardArguments(const std::vector<std::string>& arguments);

}  // namespace xqt
