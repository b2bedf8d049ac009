// Conversion of serial numbers to the 8-bit ANSI code page (Windows-1252) that the rules compare.
#include "serialrules/SerialProtect.h"

#include "platform/Windows1252.h"

namespace ns_serial_protect::detail {

std::string Utf16ToAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            ++i;  // a pair stands for a character beyond the code page
            out += '?';
        } else {
            out += xqt::platform::CodePointToWindows1252(u);  // a lone surrogate has no byte either
        }
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view text) {
    return xqt::platform::Utf8ToWindows1252(text);
}

}  // namespace ns_serial_protect::detail
