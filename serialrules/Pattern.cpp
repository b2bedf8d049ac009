// Parsing a pattern definition into its elements, and matching a serial against them.
#include "serialrules/Pattern.h"

namespace ns_serial_protect {

Pattern::Pattern(const std::string& definition) {
    const char* cursor = definition.data();
    const char* const end = cursor + definition.size();
    try {
        while (cursor != end)
            elements.push_back(CreateElement(cursor, end));
    } catch (const PatternElement::bad_definition& e) {
        throw bad_pattern_def(e.what());
    }
}

Pattern::~Pattern() = default;

bool Pattern::Match(const std::string& serial) const {
    if (serial.size() != elements.size()) return false;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!elements[i]->Match(serial[i])) return false;
    }
    return true;
}

}  // namespace ns_serial_protect
