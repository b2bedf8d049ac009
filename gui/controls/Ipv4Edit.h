#pragma once
// Entry of an IPv4 address in four fields of 0-255 each, any of which may be left empty. Typing a
// dot after a number, or a third digit, moves on to the next field; Backspace in an empty field
// moves back.

#include <QFrame>
#include <array>
#include <optional>

class QLineEdit;

namespace xqt {

class Ipv4Edit : public QFrame {
    Q_OBJECT
  public:
    explicit Ipv4Edit(QWidget* parent = nullptr);
    void SetAddress(int a, int b, int c, int d);
    /// The four numbers; a field left empty gives none.
    std::array<std::optional<int>, 4> Octets() const;
    /// Names the edit and its four fields for a screen reader after the label beside it (a
    /// mnemonic's '&' dropped); the label's own buddy cannot name the fields inside the frame.
    void SetAccessibleLabel(const QString& label);
    /// Field 0-3, for focus and tests.
    QLineEdit* Field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void MoveTo(int index, bool selectAll);
    std::array<QLineEdit*, 4> fields_{};
};

}  // namespace xqt
