#pragma once
// A push button drawn from four bitmaps of the program's resources, named by the button's caption
// and a state letter: U up, D down, F focused, X disabled ("PREVU", "PREVD", ...). Its grey shades
// follow the current palette. A double-click acts as two clicks. The keyboard reaches it by Tab and
// presses it with Space, and with Enter or Return inside a dialog, as a push button there; with the
// focus it shows its focus bitmap, or a focus frame over the up bitmap when it has none. UI thread
// only.

#include <QAbstractButton>
#include <QPixmap>
#include <QString>
#include <array>

namespace xqt {

class BitmapButton : public QAbstractButton {
    Q_OBJECT
  public:
    /// `caption` names the bitmaps (AutoLoad) and is the button's accessible text.
    explicit BitmapButton(const QString& caption, QWidget* parent = nullptr);

    /// Drops the bitmaps held, then loads each named one; only `up` is required, an empty name is
    /// skipped. True only when every given name loaded.
    bool LoadBitmaps(const QString& up, const QString& down = {}, const QString& focus = {},
                     const QString& disabled = {});
    /// Loads caption + "U", "D", "F", "X". False when the up bitmap did not load; otherwise the
    /// button takes the up bitmap's size.
    bool AutoLoad();
    bool IsLoaded() const { return !images_[UP].isNull(); }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    enum Image { UP, DOWN, FOCUS, DISABLED };
    std::array<QPixmap, 4> images_;
    std::array<QString, 4> names_;
    bool pressedByDoubleClick_ = false;
};

}  // namespace xqt
