// One side of a rule set: a ';'-separated list of patterns.
#include "serialrules/SerialProtect.h"

namespace ns_serial_protect {

PatternList::PatternList(const std::string& definition) {
    std::vector<std::string> items;
    SplitList(definition, ';', items);
    patterns.reserve(items.size());
    for (const std::string& item : items)
        patterns.emplace_back(item);
}

bool PatternList::Match(const std::string& serial) const {
    for (const Pattern& pattern : patterns) {
        if (pattern.Match(serial)) return true;
    }
    return false;
}

}  // namespace ns_serial_protect
