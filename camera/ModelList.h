#pragma once
// The list of camera models the embedded image suits: at most ten names, in resource order,
// ended by the first empty slot. Filled once at start and then only read, from any thread.

#include <array>
#include <optional>
#include <string>

namespace xqt {

inline constexpr int MAX_MODEL_NAMES = 10;
using ModelList = std::array<std::optional<std::string>, MAX_MODEL_NAMES>;

/// True when `name` equals one of the listed models (byte for byte, case-sensitive); the search
/// stops at the first empty slot.
[[nodiscard]] inline bool IsListedModel(const ModelList& names, const std::string& name) {
    for (const auto& entry : names) {
        if (!entry) return false;
        if (*entry == name) return true;
    }
    return false;
}

}  // namespace xqt
