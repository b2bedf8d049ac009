// Pattern and rule-set definitions from arbitrary bytes. Every definition either builds or is
// refused with the exception of its own layer; nothing else may escape, crash, leak or hang.
//
// Input: one mode byte, then the pattern, order, allow and deny texts separated by the first three
// '\n' bytes (the deny text takes the rest). Mode bits 0-1 pick the order ("allow,deny",
// "deny,allow" or the given text); bits 2-4 pick an element kind whose Build runs directly on the
// pattern text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "serialrules/Pattern.h"
#include "serialrules/SerialProtect.h"

using namespace ns_serial_protect;

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

std::string NextPart(std::string_view& rest, bool last) {
    const std::size_t stop = last ? std::string_view::npos : rest.find('\n');
    std::string part(rest.substr(0, stop));
    rest = stop == std::string_view::npos ? std::string_view() : rest.substr(stop + 1);
    return part;
}

void FuzzPattern(const std::string& definition, const std::string& other) {
    try {
        const Pattern pattern(definition);
        const bool matchesOwnText = pattern.Match(definition);
        Require(!matchesOwnText || definition.size() == pattern.Length());
        Require(!pattern.Match(std::string(pattern.Length() + 1, '0')));
        if (other.size() != pattern.Length())
            Require(!pattern.Match(other));
        else
            pattern.Match(other);
    } catch (const Pattern::bad_pattern_def&) {
    }
    // The tokenizer and the factory on their own walk the same text token by token.
    const char* cursor = definition.data();
    const char* const end = cursor + definition.size();
    try {
        while (cursor != end) {
            const char* before = cursor;
            CreateElement(cursor, end)->Match('0');
            Require(cursor > before && cursor <= end);
        }
    } catch (const PatternElement::bad_definition&) {
    }
}

template <class Element>
void FuzzBuild(const std::string& text) {
    Element element;
    try {
        element.Build(text.data(), text.data() + text.size());
    } catch (const PatternElement::bad_definition&) {
    }
    element.Match(text.empty() ? '0' : text[0]);
}

void FuzzDirectBuild(unsigned kind, const std::string& text) {
    switch (kind) {
        case 0:
            FuzzBuild<PEExact>(text);
            break;
        case 1:
            FuzzBuild<PEAny>(text);
            break;
        case 2:
            FuzzBuild<PENot>(text);
            break;
        case 3:
            FuzzBuild<PEOptional>(text);
            break;
        case 4:
            FuzzBuild<PERange>(text);
            break;
        default:
            break;
    }
}

void FuzzRules(const std::string& order, const std::string& allow, const std::string& deny,
               const std::string& serial) {
    try {
        const SerialProtect rules(order, allow, deny);
        rules.Check(serial);
        rules.Check(allow);
        rules.Check(deny);
        rules.Check("");
    } catch (const SerialProtect::bad_serial_protect_def& e) {
        Require(std::string_view(e.what()).substr(0, 4) == "Bad ");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned mode = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string pattern = NextPart(rest, false);
    std::string order = NextPart(rest, false);
    const std::string allow = NextPart(rest, false);
    const std::string deny = NextPart(rest, true);
    if ((mode & 3) == 0) order = "allow,deny";
    if ((mode & 3) == 1) order = "deny,allow";

    FuzzPattern(pattern, allow);
    FuzzDirectBuild((mode >> 2) & 7, pattern);
    FuzzRules(order, allow, deny, pattern);
    Require(IsSerialAllowed(std::string_view(pattern)) == 1);
    return 0;
}
