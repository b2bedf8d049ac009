#pragma once
// The factor by which the fixed pixel geometry of the wizard's frame, its pages and the dialogs
// grows with a larger font. That geometry was drawn for a font whose dialog unit makes the frame's
// 356 x 200 units 580 x 360 pixels: an average character 580 * 4 / 356 pixels wide and a line
// 360 * 8 / 200 pixels high. A font no larger than that in either direction keeps the geometry as
// drawn (factor exactly 1); a larger one scales it by the larger of the two ratios, so that texts
// sized for the drawn geometry still fit it. UI thread only.

#include <QFont>
#include <QFontMetricsF>
#include <QSize>
#include <algorithm>
#include <cmath>

namespace xqt {

class FontScale {
  public:
    static constexpr double DESIGN_CHAR_WIDTH = 580.0 * 4 / 356;
    static constexpr double DESIGN_LINE_HEIGHT = 360.0 * 8 / 200;

    explicit FontScale(const QFont& font) : FontScale(QFontMetricsF(font)) {}
    explicit FontScale(const QFontMetricsF& metrics) {
        factor_ = std::max(
            {1.0, metrics.averageCharWidth() / DESIGN_CHAR_WIDTH, metrics.height() / DESIGN_LINE_HEIGHT});
    }

    /// `pixels` of the drawn geometry in this font.
    int operator()(int pixels) const {
        return factor_ == 1.0 ? pixels : static_cast<int>(std::lround(pixels * factor_));
    }
    QSize operator()(QSize size) const { return {(*this)(size.width()), (*this)(size.height())}; }

  private:
    double factor_ = 1.0;
};

}  // namespace xqt
