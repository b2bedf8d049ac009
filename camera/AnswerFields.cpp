#include "camera/AnswerFields.h"

namespace xqt {

std::optional<AnswerField> FindField(std::string_view answer, std::string_view keyWithEquals) {
    const auto at = answer.find(keyWithEquals);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view rest = answer.substr(at + keyWithEquals.size());
    // A line end closes the last field: CGI programs end their output with one.
    const auto end = rest.find_first_of("&\r\n");
    if (end == std::string_view::npos) return AnswerField{rest, false};
    return AnswerField{rest.substr(0, end), true};
}

std::string_view FieldValue(std::string_view answer, std::string_view keyWithEquals) {
    auto field = FindField(answer, keyWithEquals);
    return field ? field->value : std::string_view{};
}

}  // namespace xqt
