#include "gui/controls/RowPainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <string_view>

#include "fleet/FitText.h"
#include "platform/BitmapIds.h"
#include "platform/Resources.h"

namespace xqt::detail {

QImage LoadResourceBitmap(std::uint16_t id) {
    auto bytes = platform::Resources().Find(platform::ResourceType::Bitmap, id);
    if (!bytes) return {};
    return QImage::fromData(bytes->data(), static_cast<int>(bytes->size()), "BMP");
}

namespace {

std::array<QPixmap, 3> LoadTicks() {
    std::array<QPixmap, 3> ticks;
    QImage sheet = LoadResourceBitmap(platform::BITMAP_TICKS);
    if (sheet.isNull()) return ticks;
    sheet = sheet.convertToFormat(QImage::Format_ARGB32);
    const QRgb transparentKey = qRgb(255, 0, 0);
    for (int y = 0; y < sheet.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(sheet.scanLine(y));
        for (int x = 0; x < sheet.width(); ++x) {
            if ((line[x] & 0xFFFFFFu) == (transparentKey & 0xFFFFFFu)) line[x] = qRgba(0, 0, 0, 0);
        }
    }
    for (int i = 0; i < 3; ++i) {
        const QRect part(i * platform::TICK_IMAGE_WIDTH, 0, platform::TICK_IMAGE_WIDTH, sheet.height());
        if (sheet.rect().contains(part)) ticks[i] = QPixmap::fromImage(sheet.copy(part));
    }
    return ticks;
}

}  // namespace

RowImages::RowImages()
    : normal(LoadResourceBitmap(platform::BITMAP_STRIP_NORMAL)),
      selected(LoadResourceBitmap(platform::BITMAP_STRIP_SELECTED)),
      failed(LoadResourceBitmap(platform::BITMAP_STRIP_FAILED)),
      duplicate(LoadResourceBitmap(platform::BITMAP_STRIP_DUPLICATE)),
      passed(LoadResourceBitmap(platform::BITMAP_STRIP_PASSED)),
      bar(LoadResourceBitmap(platform::BITMAP_PROGRESS_BAR)),
      ticks(LoadTicks()) {}

void DrawStrip(QPainter& painter, const QImage& strip, const QRect& rect, const QColor& fallback) {
    if (strip.isNull()) {
        painter.fillRect(rect, fallback);
        return;
    }
    // The strip's own column stretched over the row; smoothing would blend its bands.
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect, strip, QRect(0, 0, 1, strip.height()));
    painter.restore();
}

QString FitCellText(const QFontMetrics& metrics, const QString& text, int width, int margin) {
    const std::u16string_view units(reinterpret_cast<const char16_t*>(text.utf16()),
                                    static_cast<std::size_t>(text.size()));
    const TextWidth widthOf = [&metrics](std::u16string_view part) {
        return metrics.horizontalAdvance(
            QString::fromUtf16(part.data(), static_cast<qsizetype>(part.size())));
    };
    const std::u16string fitted = FitText(units, width, margin, widthOf);
    return QString::fromStdU16String(fitted);
}

void DrawCellText(QPainter& painter, const QFontMetrics& metrics, const QRect& cell, const QString& text,
                  const QColor& color) {
    if (text.isEmpty()) return;
    const QString fitted = FitCellText(metrics, text, cell.width(), CELL_FIT_MARGIN);
    const QRect inner = cell.adjusted(CELL_TEXT_INSET, 0, -CELL_TEXT_INSET, 0);
    painter.setPen(color);
    painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, fitted);
}

QColor WorkspaceColor(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Mid);
}

}  // namespace xqt::detail
