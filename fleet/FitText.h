#pragma once
// Fitting a cell text into its column: the rule the list controls draw by, kept apart from any
// drawing so it can be checked without a window. The caller supplies the width of a text in the
// font it draws with.

#include <functional>
#include <string>
#include <string_view>

namespace xqt {

/// Width in pixels of a text as drawn.
using TextWidth = std::function<int(std::u16string_view)>;

/// The text to draw in a cell `width` pixels wide keeping `margin` pixels free: the text itself
/// when it fits (or is empty); otherwise its longest leading part that fits together with "...",
/// followed by "...". The shortest result is the first character and "...", even when that does
/// not fit. A cut never splits a surrogate pair. Returns a value; texts of any length.
std::u16string FitText(std::u16string_view text, int width, int margin, const TextWidth& widthOf);

/// FitText on a UTF-8 text (measured and cut in UTF-16 code units).
[[nodiscard]] std::string FitText(std::string_view text, int width, int margin, const TextWidth& widthOf);

}  // namespace xqt
