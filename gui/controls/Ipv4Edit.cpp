#include "gui/controls/Ipv4Edit.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QValidator>

namespace xqt {

namespace {

// Up to three digits with a value of at most 255.
class OctetValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.isEmpty()) return Acceptable;
        if (input.size() > 3) return Invalid;
        for (QChar c : input)
            if (!c.isDigit() || c.unicode() > '9') return Invalid;
        return input.toInt() <= 255 ? Acceptable : Invalid;
    }
};

}  // namespace

Ipv4Edit::Ipv4Edit(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);
    auto* validator = new OctetValidator(this);
    for (int i = 0; i < 4; ++i) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QString("octet%1").arg(i));
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setValidator(validator);
        field->setMaxLength(3);
        field->setFixedWidth(field->fontMetrics().horizontalAdvance("0000") + 4);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.size() == 3 && i < 3) MoveTo(i + 1, true);
        });
        fields_[static_cast<std::size_t>(i)] = field;
        layout->addWidget(field);
        if (i < 3) layout->addWidget(new QLabel(".", this));
    }
    layout->addStretch(1);
    setFocusProxy(fields_[0]);
}

void Ipv4Edit::SetAccessibleLabel(const QString& label) {
    const QString name = QString(label).remove('&').remove(QRegularExpression(":$"));
    setAccessibleName(name);
    for (std::size_t i = 0; i < fields_.size(); ++i)
        fields_[i]->setAccessibleName(QStringLiteral("%1, part %2 of 4").arg(name).arg(i + 1));
}

void Ipv4Edit::SetAddress(int a, int b, int c, int d) {
    const int values[4] = {a, b, c, d};
    for (int i = 0; i < 4; ++i)
        fields_[static_cast<std::size_t>(i)]->setText(QString::number(values[i]));
}

std::array<std::optional<int>, 4> Ipv4Edit::Octets() const {
    std::array<std::optional<int>, 4> octets{};
    for (std::size_t i = 0; i < 4; ++i)
        if (!fields_[i]->text().isEmpty()) octets[i] = fields_[i]->text().toInt();
    return octets;
}

void Ipv4Edit::MoveTo(int index, bool selectAll) {
    QLineEdit* field = fields_[static_cast<std::size_t>(index)];
    field->setFocus();
    if (selectAll)
        field->selectAll();
    else
        field->end(false);
}

bool Ipv4Edit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn &&
        static_cast<QFocusEvent*>(event)->reason() == Qt::OtherFocusReason) {
        // Focus handed over by the program (a page opening, a refused entry) selects the field as
        // Tab does, so the address typed next replaces the one shown instead of being refused
        // behind it.
        if (auto* field = qobject_cast<QLineEdit*>(watched)) field->selectAll();
        return QFrame::eventFilter(watched, event);
    }
    if (event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    for (int i = 0; i < 4; ++i) {
        QLineEdit* field = fields_[static_cast<std::size_t>(i)];
        if (watched != field) continue;
        if ((key->key() == Qt::Key_Period || key->key() == Qt::Key_Space) && i < 3) {
            // A field entered with its text selected (after a third digit moved on) takes the dot
            // as the end of the previous number, so "127.0.1.7" typed over a filled address lands
            // in four fields rather than running one number into the next field.
            if (!field->text().isEmpty() && !field->hasSelectedText() && field->cursorPosition() > 0)
                MoveTo(i + 1, true);
            return true;
        }
        if (key->key() == Qt::Key_Backspace && i > 0 && field->cursorPosition() == 0 &&
            !field->hasSelectedText()) {
            MoveTo(i - 1, false);
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace xqt
