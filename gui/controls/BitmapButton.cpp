#include "gui/controls/BitmapButton.h"

#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "gui/controls/RowPainter.h"
#include "platform/BitmapIds.h"

namespace xqt {

namespace {

/// The bitmap named caption + state letter, with the four greys of its frame and face mapped to
/// the palette (0 text, 128 shadow, 192 face, 255 light); null when there is none.
QPixmap LoadNamed(const QString& name, const QPalette& palette) {
    if (name.size() < 2) return {};
    const QString caption = name.left(name.size() - 1);
    const QChar state = name.back();
    if (state.unicode() > 0x7F) return {};
    const auto id = platform::ButtonBitmapId(caption.toStdString(), static_cast<char>(state.unicode()));
    if (!id) return {};
    QImage image = detail::LoadResourceBitmap(*id);
    if (image.isNull()) return {};
    image = image.convertToFormat(QImage::Format_RGB32);
    const QRgb text = palette.color(QPalette::ButtonText).rgb();
    const QRgb shadow = palette.color(QPalette::Dark).rgb();
    const QRgb face = palette.color(QPalette::Button).rgb();
    const QRgb light = palette.color(QPalette::Light).rgb();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            switch (line[x] & 0xFFFFFFu) {
                case 0x000000u:
                    line[x] = text;
                    break;
                case 0x808080u:
                    line[x] = shadow;
                    break;
                case 0xC0C0C0u:
                    line[x] = face;
                    break;
                case 0xFFFFFFu:
                    line[x] = light;
                    break;
                default:
                    break;
            }
        }
    }
    return QPixmap::fromImage(image);
}

}  // namespace

BitmapButton::BitmapButton(const QString& caption, QWidget* parent) : QAbstractButton(parent) {
    setText(caption);
    setFocusPolicy(Qt::StrongFocus);
}

bool BitmapButton::LoadBitmaps(const QString& up, const QString& down, const QString& focus,
                               const QString& disabled) {
    names_ = {up, down, focus, disabled};
    bool all = true;
    for (std::size_t i = 0; i < images_.size(); ++i) {
        images_[i] = QPixmap();
        if (names_[i].isEmpty() && i != UP) continue;
        images_[i] = LoadNamed(names_[i], palette());
        if (images_[i].isNull()) all = false;
    }
    update();
    return all;
}

bool BitmapButton::AutoLoad() {
    const QString base = text();
    LoadBitmaps(base + 'U', base + 'D', base + 'F', base + 'X');
    if (images_[UP].isNull()) return false;
    setFixedSize(images_[UP].size());
    return true;
}

QSize BitmapButton::sizeHint() const {
    return images_[UP].isNull() ? QSize(24, 24) : images_[UP].size();
}

void BitmapButton::paintEvent(QPaintEvent*) {
    // Pressed first, then focused, then disabled; any image that is absent falls back to up.
    const QPixmap* image = &images_[UP];
    if (isDown() && !images_[DOWN].isNull()) {
        image = &images_[DOWN];
    } else if (hasFocus() && !images_[FOCUS].isNull()) {
        image = &images_[FOCUS];
    } else if (!isEnabled() && !images_[DISABLED].isNull()) {
        image = &images_[DISABLED];
    }
    if (image->isNull()) return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, *image);
    if (hasFocus() && image == &images_[UP]) {
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.rect = rect().adjusted(3, 3, -3, -3);
        frame.backgroundColor = palette().color(QPalette::Button);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
    }
}

void BitmapButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a double-click: shown pressed now, clicked on release.
    if (event->button() != Qt::LeftButton) {
        QAbstractButton::mouseDoubleClickEvent(event);
        return;
    }
    pressedByDoubleClick_ = true;
    setDown(true);
    event->accept();
}

void BitmapButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && pressedByDoubleClick_) {
        pressedByDoubleClick_ = false;
        setDown(false);
        click();
    }
    QAbstractButton::mouseReleaseEvent(event);
}

void BitmapButton::keyPressEvent(QKeyEvent* event) {
    // A push button in a dialog is pressed by Enter while it has the focus, rather than the
    // dialog's default button.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && qobject_cast<QDialog*>(window())) {
        event->accept();
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void BitmapButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    // New system colours: the same bitmaps again, mapped to the new palette.
    if (event->type() == QEvent::PaletteChange && !names_[UP].isEmpty())
        LoadBitmaps(names_[0], names_[1], names_[2], names_[3]);
}

}  // namespace xqt
