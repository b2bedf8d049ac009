#pragma once
// The fields of the entry-terminals dialog as plain values, and the rules applied to them before a
// row is stored: which message a refusal shows and where the focus goes, and the address and port
// that are stored. Qt-free; the dialog only reads its controls into EntryFields.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "fleet/CameraRecord.h"

namespace xqt {

struct EntryFields {
    std::array<std::optional<int>, 4> octets{};  ///< 0-255; none when the field is empty
    bool otherPort = false;                      ///< the other-port radio is chosen
    std::string portText = "1024";               ///< the port field as typed (digits only)
};

enum class EntryFocus { Address, Port };

/// A refusal: the message (caption BIN_INFORMATION, exclamation icon) and the field to correct.
struct EntryProblem {
    std::string text;
    EntryFocus focus = EntryFocus::Address;
};

/// The port field's value when it is a whole number from ENTRY_PORT_MIN to ENTRY_PORT_MAX.
[[nodiscard]] std::optional<std::int32_t> ParseEntryPort(const std::string& text);

/// The checks in their order: the port field is read only while the other-port radio is chosen
/// (a disabled field is never held against the user) and must hold a port in range; then the
/// address must not be wholly empty. Nothing when the fields may be stored.
[[nodiscard]] std::optional<EntryProblem> CheckEntryFields(const EntryFields& fields);

struct EntryAddress {
    Octets address{};
    std::int32_t port = 80;
};
/// What is stored: empty octets count as 0; the typed port with the other-port radio, else 80.
/// Only meaningful once CheckEntryFields has passed.
EntryAddress StoredAddress(const EntryFields& fields);

/// The fields that show `address` and `port`: port 80 chooses the 80 radio and leaves 1024 in the
/// port field; any other port chooses the other radio with that port.
EntryFields FieldsOf(const Octets& address, std::int32_t port);

/// "Would you like to delete the <model>(<address>)?".
[[nodiscard]] std::string DeleteRowQuestion(const std::string& model, const std::string& addressText);

}  // namespace xqt
