// The element kinds of the pattern language, the tokenizer and the element factory.
#include <string>
#include <utility>

#include "serialrules/Pattern.h"

namespace ns_serial_protect {

namespace {

using bad_definition = PatternElement::bad_definition;

std::string DigitOnlyMessage(char c) {
    std::string text = "Character '";
    text += c;
    text += "' is not allowed. Only \"0-9\" is supported.";
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::size_t SplitList(const std::string& text, char separator, std::vector<std::string>& out) {
    out.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t stop = text.find(separator, start);
        if (stop == std::string::npos) stop = text.size();
        if (stop > start) out.emplace_back(text, start, stop - start);
        start = stop + 1;
    }
    return out.size();
}

bool PEExact::Match(char c) const {
    return c == ch;
}

void PEExact::Build(const char* first, const char* last) {
    if (last - first != 1) throw bad_definition("PEExact::Build : Length error.");
    if (!IsDigit(*first)) throw bad_definition(DigitOnlyMessage(*first));
    ch = *first;
}

bool PEAny::Match(char) const {
    return true;
}

void PEAny::Build(const char* first, const char* last) {
    if (last - first != 1) throw bad_definition("PEAny::Build : Length error.");
}

bool PENot::Match(char c) const {
    return inner && !inner->Match(c);
}

void PENot::Build(const char* first, const char* last) {
    // The token is '^' and the token it negates. An empty text has no '^' to step over: stepping
    // past it would start the inner read beyond `last`, so it is refused like any element asked
    // for at the end of the text.
    if (first == last) throw bad_definition("");
    const char* cursor = first + 1;
    std::unique_ptr<PatternElement> made = CreateElement(cursor, last);
    if (cursor != last) throw bad_definition("PENot::Build : Extra definitions.");
    inner = std::move(made);
}

bool PEOptional::Match(char c) const {
    for (const auto& member : elements) {
        if (member->Match(c)) return true;
    }
    return false;
}

void PEOptional::Build(const char* first, const char* last) {
    if (last - first < 3) throw bad_definition("PEOptional::Build : Length error.");
    std::vector<std::string> items;
    SplitList(std::string(first + 1, last - 1), ',', items);
    std::vector<std::unique_ptr<PatternElement>> members;
    members.reserve(items.size());
    for (const std::string& item : items) {
        std::unique_ptr<PatternElement> member;
        if (item.size() == 1) {
            member = std::make_unique<PEExact>();
        } else if (item.size() == 3) {
            member = std::make_unique<PERange>();
        } else {
            throw bad_definition("PEOptional::Build : bad content.");
        }
        member->Build(item.data(), item.data() + item.size());
        members.push_back(std::move(member));
    }
    elements = std::move(members);
}

bool PERange::Match(char c) const {
    const auto value = static_cast<signed char>(c);
    return low <= value && value <= high;
}

void PERange::Build(const char* first, const char* last) {
    if (last - first != 3) throw bad_definition("PERange::Build : Length error.");
    const auto lower = static_cast<signed char>(first[0]);
    const auto upper = static_cast<signed char>(first[2]);
    if (upper < lower) {
        throw bad_definition("PERange::Build : bad range definition \"" + std::string(first, last) + "\".");
    }
    low = lower;
    high = upper;
}

ElementKind ClassifyNext(const char*& cursor, const char* end) {
    if (cursor == end) throw bad_definition("");
    const char* const start = cursor;
    const char c = *cursor++;
    switch (c) {
        case '?':
            return ElementKind::Any;
        case '[':
            for (const char* p = cursor; p != end; ++p) {
                if (*p == ']') {
                    cursor = p + 1;
                    return ElementKind::Optional;
                }
            }
            throw bad_definition(std::string(start, end));
        case '^':
            return ElementKind::Not;
        default:
            return ElementKind::Exact;
    }
}

std::unique_ptr<PatternElement> CreateElement(const char*& cursor, const char* end) {
    if (cursor == end) throw bad_definition("");
    const char* const start = cursor;
    std::unique_ptr<PatternElement> element;
    switch (ClassifyNext(cursor, end)) {
        case ElementKind::Exact:
            element = std::make_unique<PEExact>();
            break;
        case ElementKind::Not:
            switch (ClassifyNext(cursor, end)) {
                case ElementKind::Any:
                    throw bad_definition("Can not apply a '^' on a '?'.");
                case ElementKind::Not:
                    throw bad_definition("Can not apply a '^' on a '^'.");
                default:
                    break;
            }
            element = std::make_unique<PENot>();
            break;
        case ElementKind::Any:
            element = std::make_unique<PEAny>();
            break;
        case ElementKind::Optional:
            element = std::make_unique<PEOptional>();
            break;
        case ElementKind::Range:
            throw bad_definition("Impossible to get a 'range' element here.");
    }
    element->Build(start, cursor);
    return element;
}

}  // namespace ns_serial_protect
