#pragma once
// Ids of the BITMAP resources linked into the executable (resources/bitmaps/<id>.bmp, 24-bit
// uncompressed, made by resources/tools/mkbitmaps.cpp). Qt-free so that the engine, the tools and
// the controls agree on one table.
//
// Button bitmaps are looked up by a name, the button's caption followed by a state letter
// ("PREVU"); here each name has a numeric id instead. Their frames and faces use only the four
// greys RGB 0, 128, 192 and 255, so a loader may map those shades to the current palette's text,
// shadow, button and light colours and leave every other pixel as it is.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace xqt::platform {

inline constexpr std::uint16_t BITMAP_TICKS = 129;  ///< 60 x 16: empty, ticked, greyed; red is transparent
inline constexpr std::uint16_t BITMAP_STRIP_NORMAL = 130;    ///< 1 x 17 row strip, near-white
inline constexpr std::uint16_t BITMAP_STRIP_SELECTED = 131;  ///< 1 x 17, dark blue
inline constexpr std::uint16_t BITMAP_EMERGENCY = 193;       ///< 12 x 12 orange indicator
inline constexpr std::uint16_t BITMAP_STRIP_FAILED =
    194;  ///< 1 x 17, light red (failed test, address in use)
inline constexpr std::uint16_t BITMAP_STRIP_DUPLICATE = 195;  ///< 1 x 17, yellow (address twice in a list)
inline constexpr std::uint16_t BITMAP_CANVAS = 251;           ///< 600 x 24 off-screen row surface
inline constexpr std::uint16_t BITMAP_PROGRESS_BAR = 252;     ///< 1 x 11 progress-bar strip
inline constexpr std::uint16_t BITMAP_STRIP_PASSED = 262;     ///< 1 x 17, lavender

/// Width of one image of BITMAP_TICKS; index 0 empty box, 1 ticked, 2 greyed tick.
inline constexpr int TICK_IMAGE_WIDTH = 20;

/// Captions of the bitmap buttons, in the order of their id blocks.
inline constexpr std::array<std::string_view, 4> BUTTON_CAPTIONS = {"PREV", "NEXT", "ADD", "DEL"};
/// State letters: up, down (pressed), focused, disabled; the order within each id block.
inline constexpr std::array<char, 4> BUTTON_STATES = {'U', 'D', 'F', 'X'};
/// Id of "PREVU"; caption c and state s (indices above) have BITMAP_BUTTON_FIRST + 4 * c + s.
inline constexpr std::uint16_t BITMAP_BUTTON_FIRST = 400;
inline constexpr std::uint16_t BITMAP_BUTTON_LAST =
    static_cast<std::uint16_t>(BITMAP_BUTTON_FIRST + BUTTON_CAPTIONS.size() * BUTTON_STATES.size() - 1);

inline constexpr std::uint16_t BITMAP_PREVU = 400, BITMAP_PREVD = 401, BITMAP_PREVF = 402, BITMAP_PREVX = 403;
inline constexpr std::uint16_t BITMAP_NEXTU = 404, BITMAP_NEXTD = 405, BITMAP_NEXTF = 406, BITMAP_NEXTX = 407;
inline constexpr std::uint16_t BITMAP_ADDU = 408, BITMAP_ADDD = 409, BITMAP_ADDF = 410, BITMAP_ADDX = 411;
inline constexpr std::uint16_t BITMAP_DELU = 412, BITMAP_DELD = 413, BITMAP_DELF = 414, BITMAP_DELX = 415;

namespace detail {
constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

[[nodiscard]] constexpr bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}
}  // namespace detail

/// Id of the bitmap named caption + state ("PREV", 'U' -> 400). Like the system's lookup of named
/// resources, letters match without regard to case. None for any other caption or state letter.
[[nodiscard]] constexpr std::optional<std::uint16_t> ButtonBitmapId(std::string_view caption, char state) {
    for (std::size_t c = 0; c < BUTTON_CAPTIONS.size(); ++c) {
        if (!detail::SameIgnoringCase(caption, BUTTON_CAPTIONS[c])) continue;
        for (std::size_t s = 0; s < BUTTON_STATES.size(); ++s)
            if (detail::AsciiUpper(state) == BUTTON_STATES[s])
                return static_cast<std::uint16_t>(BITMAP_BUTTON_FIRST + BUTTON_STATES.size() * c + s);
        return std::nullopt;
    }
    return std::nullopt;
}

static_assert(ButtonBitmapId("PREV", 'U') == BITMAP_PREVU && ButtonBitmapId("NEXT", 'F') == BITMAP_NEXTF &&
              ButtonBitmapId("ADD", 'D') == BITMAP_ADDD && ButtonBitmapId("DEL", 'X') == BITMAP_DELX);
static_assert(BITMAP_DELX == BITMAP_BUTTON_LAST);

}  // namespace xqt::platform
