#pragma once
// What the camera lists share when they paint a row: the strip and tick bitmaps of the program's
// resources, the stretched strips, the fitted cell texts and the system colours they use. UI
// thread only.

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>

class QFontMetrics;
class QPainter;
class QPalette;

namespace xqt::detail {

/// Margin that FitText keeps free in a cell, and the inner margin on either side of a cell text.
inline constexpr int CELL_FIT_MARGIN = 12;
inline constexpr int CELL_TEXT_INSET = 6;

/// A bitmap of the program's resources decoded by Qt's BMP reader; null when it is missing or
/// does not decode.
[[nodiscard]] QImage LoadResourceBitmap(std::uint16_t id);

/// The images of one list, loaded when the list is made. A missing bitmap leaves a null image,
/// which draws as a plain fill of its body colour.
struct RowImages {
    RowImages();
    QImage normal;     ///< 130
    QImage selected;   ///< 131
    QImage failed;     ///< 194: failed test, address already a target
    QImage duplicate;  ///< 195: address twice in the added list
    QImage passed;     ///< 262
    QImage bar;        ///< 252
    /// Tick images 0 empty, 1 ticked, 2 greyed, with the red of bitmap 129 made transparent.
    std::array<QPixmap, 3> ticks;
};

/// Stretches the 1-pixel-wide `strip` over `rect`; without a strip, fills `rect` with `fallback`.
void DrawStrip(QPainter& painter, const QImage& strip, const QRect& rect, const QColor& fallback);

/// Draws `text` fitted to the cell (FitText with CELL_FIT_MARGIN) left-aligned in the cell less
/// CELL_TEXT_INSET on each side: single line, vertically centred, no mnemonic, no clipping. An
/// empty text draws nothing.
void DrawCellText(QPainter& painter, const QFontMetrics& metrics, const QRect& cell, const QString& text,
                  const QColor& color);

/// FitText in the metrics' font.
[[nodiscard]] QString FitCellText(const QFontMetrics& metrics, const QString& text, int width, int margin);

/// The dimmed text colour of a disabled grid and of refused cameras (the application-workspace
/// grey of the system palette).
[[nodiscard]] QColor WorkspaceColor(const QPalette& palette);

/// Pure red: the name of a camera without a password.
inline const QColor MISSING_PASSWORD_RED{255, 0, 0};

}  // namespace xqt::detail
