#include "camera/AnswerFields.h"

namespace xqt {

std::optional<AnswerField> FindField(std::string_view answer, std::string_view keyWithEquals) {
    const auto at = answer.find(keyWithEquals);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view rest = answer.substr(at + keyWithEquals.size());
    const auto amp = rest.find('&');
    if (amp == std::string_view::npos) return AnswerField{rest, false};
    return AnswerField{rest.substr(0, amp), true};
}

std::string_view FieldValue(std::string_view answer, std::string_view keyWithEquals) {
    auto field = FindField(answer, keyWithEquals);
    return field ? field->value : std::string_view{};
}

}  // namespace xqt
