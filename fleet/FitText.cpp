#include "fleet/FitText.h"

#include "platform/TextCodec.h"

namespace xqt {

namespace {
bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
}  // namespace

std::u16string FitText(std::u16string_view text, int width, int margin, const TextWidth& widthOf) {
    if (text.empty() || widthOf(text) + margin <= width) return std::u16string(text);
    static constexpr std::u16string_view kEllipsis = u"...";
    const int ellipsis = widthOf(kEllipsis);
    std::size_t n = text.size() - 1;
    for (; n >= 1; --n) {
        if (IsHighSurrogate(text[n - 1])) continue;
        if (widthOf(text.substr(0, n)) + ellipsis + margin <= width) break;
    }
    if (n < 1) n = (text.size() > 1 && IsHighSurrogate(text[0])) ? 2 : 1;
    std::u16string out(text.substr(0, n));
    out += kEllipsis;
    return out;
}

std::string FitText(std::string_view text, int width, int margin, const TextWidth& widthOf) {
    std::u16string units = platform::Utf8ToUtf16(std::string(text));
    return platform::Utf16ToUtf8(FitText(std::u16string_view(units), width, margin, widthOf));
}

}  // namespace xqt
