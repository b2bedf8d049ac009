#pragma once
// The entries of the manual target page as plain values, and the rules applied to them: the
// validation order, the address text and the duplicate-address count of the hidden mode. Qt-free;
// the page widget only reads its controls into a TargetForm and shows what these rules decide.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "camera/DiscoveryEntry.h"

namespace xqt {

inline constexpr int ADMIN_TEXT_MAX = 16;  ///< characters of the name and of the password
inline constexpr std::uint32_t PORT_MIN = 1024;
inline constexpr std::uint32_t PORT_MAX = 65535;
inline constexpr const char* MSG_PORT_NOT_NUMBER = "Please enter a whole number for the port No.";

struct TargetForm {
    std::array<std::optional<int>, 4> octets{};  ///< 0-255; empty when the field is empty
    int portChoice = 0;                          ///< 0: port 80; 1: the port field
    std::string portText = "1024";               ///< the port field as typed (digits only)
    std::string adminName;
    std::string adminPassword;
    bool retain = true;
    bool backup = false;
};

enum class TargetField { Address, Port, Name, Password };

/// A refusal of Validate: the message (caption BIN 203, exclamation icon) and the field to correct.
struct TargetProblem {
    std::string text;
    TargetField focus = TargetField::Address;
};

/// The port field's value when its text is a whole number of 32 bits, as the field exchange reads it.
[[nodiscard]] std::optional<std::uint32_t> ParsePort(const std::string& text);

/// The checks of Validate in their order: port text readable, address not wholly empty, port in
/// range (both for the custom port only), name, password. Nothing when the entries may be used.
[[nodiscard]] std::optional<TargetProblem> CheckTargetForm(const TargetForm& form);

/// "a.b.c.d" without leading zeros; empty fields count as 0.
[[nodiscard]] std::string DottedAddress(const TargetForm& form);

/// The dotted address, followed by ":" and the port when the custom port is chosen.
[[nodiscard]] std::string AddressText(const TargetForm& form);

/// "name:password".
[[nodiscard]] std::string CredentialText(const TargetForm& form);

/// Number of discovered cameras in use (MAC not empty) whose address equals `dotted`; ports play
/// no part.
int CountCamerasAt(const std::string& dotted, const std::vector<DiscoveryEntry>& found);

}  // namespace xqt
