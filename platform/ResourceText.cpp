#include "platform/ResourceText.h"

#include "platform/Resources.h"
#include "platform/TextCodec.h"

namespace xqt::platform {

namespace {
std::optional<std::string> Decode(std::uint16_t id) {
    auto bytes = Resources().Find(ResourceType::Bin, id, LANG_EN_US);
    if (!bytes) return std::nullopt;
    std::u16string units;
    // The first code unit is the byte-order mark; it is skipped without being looked at.
    for (std::size_t i = 2; i + 1 < bytes->size(); i += 2) {
        char16_t u = static_cast<char16_t>((*bytes)[i] | ((*bytes)[i + 1] << 8));
        if (u == u'\0') break;
        units.push_back(u);
    }
    return Utf16ToUtf8(units);
}
}  // namespace

std::optional<std::string> ResourceText(std::uint16_t id, MessageBoxes* owner) {
    std::string notFound = LoadString(124);
    std::string caption = LoadString(123);
    auto text = Decode(id);
    if (!text && owner) owner->Show(notFound, caption, MbButtons::Ok, MbIcon::Stop);
    return text;
}

std::string TextOf(std::uint16_t id) {
    return Decode(id).value_or(std::string());
}

std::string TextOr(std::uint16_t id, std::string_view delivered) {
    std::string text = TextOf(id);
    return text.empty() ? std::string(delivered) : text;
}

}  // namespace xqt::platform
