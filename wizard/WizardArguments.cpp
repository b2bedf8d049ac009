#include "wizard/WizardArguments.h"

namespace xqt {

WizardArguments ParseWizardArguments(const std::vector<std::string>& arguments) {
    WizardArguments out;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        auto value = [&](const std::string& option) -> std::string {
            if (a.size() > option.size() && a.compare(0, option.size() + 1, option + "=") == 0)
                return a.substr(option.size() + 1);
            if (i + 1 >= arguments.size()) {
                out.error = option + " needs a value";
                return {};
            }
            return arguments[++i];
        };
        if (a == "--firmware" || a.starts_with("--firmware=")) {
            if (!out.bundle.empty()) out.error = "--firmware is given twice";
            out.bundle = value("--firmware");
        } else if (a == "--trusted-key" || a.starts_with("--trusted-key=")) {
            out.trustedKeys.push_back(value("--trusted-key"));
        } else if (a.starts_with("-") && a != "-") {
            out.error = "unknown option " + a;
        } else {
            positional.push_back(a);
        }
        if (!out.error.empty()) return out;
    }
    if (positional.size() > 1 || (positional.size() == 1 && !out.bundle.empty())) {
        out.error = "give one firmware bundle, as --firmware BUNDLE or as the only argument";
        return out;
    }
    if (positional.size() == 1) out.bundle = positional[0];
    if (out.bundle.empty() && !out.trustedKeys.empty()) out.error = "--trusted-key checks a bundle; give one";
    return out;
}

}  // namespace xqt
