#include "fleet/EntryFields.h"

#include "fleet/DialogTexts.h"
#include "platform/ResourceText.h"

namespace xqt {

std::optional<std::int32_t> ParseEntryPort(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < ENTRY_PORT_MIN || value > ENTRY_PORT_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<EntryProblem> CheckEntryFields(const EntryFields& fields) {
    if (fields.otherPort && !ParseEntryPort(fields.portText))
        return EntryProblem{TEXT_PORT_RANGE, EntryFocus::Port};
    bool allEmpty = true;
    for (const auto& octet : fields.octets)
        allEmpty = allEmpty && !octet.has_value();
    if (allEmpty) return EntryProblem{platform::TextOf(BIN_INPUT_ADDRESS), EntryFocus::Address};
    return std::nullopt;
}

EntryAddress StoredAddress(const EntryFields& fields) {
    EntryAddress out;
    for (std::size_t i = 0; i < out.address.size(); ++i)
        out.address[i] = static_cast<std::uint8_t>(fields.octets[i].value_or(0) & 0xFF);
    out.port = fields.otherPort ? ParseEntryPort(fields.portText).value_or(80) : 80;
    return out;
}

EntryFields FieldsOf(const Octets& address, std::int32_t port) {
    EntryFields fields;
    for (std::size_t i = 0; i < address.size(); ++i)
        fields.octets[i] = address[i];
    fields.otherPort = port != 80;
    fields.portText = fields.otherPort ? std::to_string(port) : std::to_string(ENTRY_PORT_MIN);
    return fields;
}

std::string DeleteRowQuestion(const std::string& model, const std::string& addressText) {
    return "Would you like to delete the " + model + "(" + addressText + ")?";
}

}  // namespace xqt
