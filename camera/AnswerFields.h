#pragma once
// Reading keys out of an inquiry answer: "key=value" fields joined by "&", as the camera sends them.
// A key is found by a case-sensitive search for the key and "=" anywhere in the answer (so "Serial="
// also matches inside "XSerial="; that is how cameras have always been read). Values are not URL
// decoded. Pure functions; any thread.

#include <optional>
#include <string_view>

namespace xqt {

struct AnswerField {
    std::string_view value;  ///< text after the key up to the next "&", CR or LF, or to the end
    /// An "&" or a line end follows the value: it is complete, not cut off by the end of the answer.
    bool terminated = false;
};

/// The first field whose key (given with its "=", e.g. "ModelName=") occurs in `answer`.
[[nodiscard]] std::optional<AnswerField> FindField(std::string_view answer, std::string_view keyWithEquals);

/// Value up to the next "&", CR or LF, or the end; empty when the key is absent.
std::string_view FieldValue(std::string_view answer, std::string_view keyWithEquals);

}  // namespace xqt
