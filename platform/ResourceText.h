#pragma once
// BIN text resources: decoded on every call and returned by value, so callers on any thread can
// keep the text (no shared result buffer).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/MessageBoxes.h"

namespace xqt::platform {

/// Text of BIN resource `id` in UTF-8: from after the byte-order mark to the first NUL unit, or to
/// the end of the resource when it has none. When the resource is missing, shows string 124 with
/// caption string 123 and the stop icon on `owner` (when given) and returns nothing.
[[nodiscard]] std::optional<std::string> ResourceText(std::uint16_t id, MessageBoxes* owner = nullptr);

/// ResourceText without the box: the text, or an empty string when missing.
[[nodiscard]] std::string TextOf(std::uint16_t id);

/// BIN text `id`, or `delivered` when the resources lack it, so a box never shows an empty text.
[[nodiscard]] std::string TextOr(std::uint16_t id, std::string_view delivered);

}  // namespace xqt::platform
