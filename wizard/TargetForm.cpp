#include "wizard/TargetForm.h"

#include "platform/ResourceText.h"
#include "wizard/WizardTexts.h"

namespace xqt {

namespace {
std::string Dotted(int a, int b, int c, int d) {
    return std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." + std::to_string(d);
}
}  // namespace

std::optional<std::uint32_t> ParsePort(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::optional<TargetProblem> CheckTargetForm(const TargetForm& form) {
    // The greyed port field plays no part with port 80: whatever it still holds cannot block Next.
    const bool customPort = form.portChoice == 1;
    const auto port = ParsePort(form.portText);
    if (customPort && !port) return TargetProblem{MSG_PORT_NOT_NUMBER, TargetField::Port};
    bool allEmpty = true;
    for (const auto& octet : form.octets)
        allEmpty = allEmpty && !octet.has_value();
    if (allEmpty) return TargetProblem{platform::TextOf(TEXT_INPUT_ADDRESS), TargetField::Address};
    if (customPort && (*port < PORT_MIN || *port > PORT_MAX))
        return TargetProblem{platform::TextOf(TEXT_INPUT_PORT), TargetField::Port};
    if (form.adminName.empty()) return TargetProblem{platform::TextOf(TEXT_INPUT_LOGIN), TargetField::Name};
    if (form.adminPassword.empty())
        return TargetProblem{platform::TextOf(TEXT_INPUT_LOGIN), TargetField::Password};
    return std::nullopt;
}

std::string DottedAddress(const TargetForm& form) {
    const auto& o = form.octets;
    return Dotted(o[0].value_or(0), o[1].value_or(0), o[2].value_or(0), o[3].value_or(0));
}

std::string AddressText(const TargetForm& form) {
    std::string text = DottedAddress(form);
    if (form.portChoice == 1) text += ":" + std::to_string(ParsePort(form.portText).value_or(0));
    return text;
}

std::string CredentialText(const TargetForm& form) {
    return form.adminName + ":" + form.adminPassword;
}

int CountCamerasAt(const std::string& dotted, const std::vector<DiscoveryEntry>& found) {
    int count = 0;
    for (const auto& entry : found) {
        if (entry.mac.empty()) continue;
        const auto& ip = entry.ipAddress;
        if (Dotted(ip[0], ip[1], ip[2], ip[3]) == dotted) ++count;
    }
    return count;
}

}  // namespace xqt
