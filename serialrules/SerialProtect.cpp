// The allow/deny rule set.
#include "serialrules/SerialProtect.h"

namespace ns_serial_protect {

SerialProtect::SerialProtect(const std::string& order, const std::string& allow, const std::string& deny) {
    if (order == "allow,deny") {
        allowFirst = true;
    } else if (order == "deny,allow") {
        allowFirst = false;
    } else {
        throw bad_serial_protect_def("Bad 'order' definition:" + order +
                                     " MUST be:\"allow,deny\" or \"deny,allow\".");
    }
    if (allow.empty()) throw bad_serial_protect_def("Bad 'allow' definition: Empty!");
    if (deny.empty()) throw bad_serial_protect_def("Bad 'deny' definition: Empty!");
    BuildSide(allow, "allow", allowAll, allowNone, allowList);
    BuildSide(deny, "deny", denyAll, denyNone, denyList);
}

SerialProtect::~SerialProtect() = default;

void SerialProtect::BuildSide(const std::string& text, const char* sideName, bool& all, bool& none,
                              std::unique_ptr<PatternList>& list) {
    if (text == "all") {
        all = true;
    } else if (text == "none") {
        none = true;
    } else {
        try {
            list = std::make_unique<PatternList>(text);
        } catch (const Pattern::bad_pattern_def& e) {
            throw bad_serial_protect_def(std::string("Bad \"") + sideName + "\" definition. " + e.what());
        }
    }
}

bool SerialProtect::Check(const std::string& serial) const {
    const bool allowed = allowAll ? true : allowNone ? false : allowList->Match(serial);
    const bool denied = denyAll ? true : denyNone ? false : denyList->Match(serial);
    return allowFirst ? (allowed && !denied) : (allowed || !denied);
}

}  // namespace ns_serial_protect
