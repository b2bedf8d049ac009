// AutoTargetsPage: where its controls go for the page's size and font, and the expander's slide of
// the two extra buttons.
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

#include "gui/automatic/AutoTargetsPage.h"
#include "gui/controls/CameraGrid.h"
#include "gui/controls/FontScale.h"
#include "gui/controls/RowPainter.h"

namespace xqt {

namespace {

/// The wizard's page size; a smaller page is laid out as if it had it. These sizes, and all below,
/// are for the font the frame was drawn for; a larger font scales them (FontScale).
constexpr int MIN_PAGE_WIDTH = 500;
constexpr int MIN_PAGE_HEIGHT = 300;
constexpr int MARGIN = 6;
constexpr int LABEL_HEIGHT = 18;
constexpr int BUTTON_HEIGHT = 26;
constexpr int BUTTON_GAP = 4;
constexpr int MIN_BUTTON_WIDTH = 80;
constexpr int EXPANDER_WIDTH = 34;
constexpr int COUNTER_WIDTH = 80;
/// The grid sits inside the placeholder frame, this far from its edges.
constexpr int GRID_INSET = 2;

int ButtonWidth(const QPushButton* button, const FontScale& scale) {
    const int text = button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&'));
    return std::max(scale(MIN_BUTTON_WIDTH), text + scale(24));
}

}  // namespace

int AutoTargetsPage::ColumnWidth(int column, const QFontMetrics& metrics, const ModelList& models) {
    if (column < 0 || column >= COLUMN_COUNT) return 0;
    // The widest text of a form: its pattern with every 'x' replaced by the widest of `characters`.
    const auto widest = [&metrics](const QString& pattern, const QString& characters) {
        QChar wide = characters.front();
        for (QChar c : characters) {
            if (metrics.horizontalAdvance(c) > metrics.horizontalAdvance(wide)) wide = c;
        }
        return metrics.horizontalAdvance(QString(pattern).replace('x', wide));
    };
    int needed = 0;
    switch (column) {
        case 1:
            needed = widest("xx:xx:xx:xx:xx:xx", "0123456789ABCDEFabcdef");
            break;
        case 2:
            needed = widest("xxx.xxx.xxx.xxx", "0123456789");
            break;
        case 4:  // serial numbers of seven digits
            needed = widest("xxxxxxx", "0123456789");
            break;
        case 3:
            for (const auto& model : models) {
                if (!model) break;
                needed = std::max(needed, metrics.horizontalAdvance(QString::fromStdString(*model)));
            }
            break;
        default:
            return FontScale(metrics)(BASE_WIDTHS[column]);
    }
    return std::max(FontScale(metrics)(BASE_WIDTHS[column]), needed + detail::CELL_FIT_MARGIN);
}

void AutoTargetsPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOutButtons();
}

void AutoTargetsPage::LayOutButtons() {
    // A slide in progress ends where it was going.
    if (slideTimer_ && slideTimer_->isActive()) {
        slideTimer_->stop();
        slideStep_ = 0;
        expanded_ = !expanded_;
        expander_->setText(expanded_ ? "&>>" : "&<<");
        addOther_->setVisible(expanded_);
        testingButton_->setVisible(expanded_);
    }
    const FontScale s(font());
    const int margin = s(MARGIN);
    const int labelHeight = s(LABEL_HEIGHT);
    const int buttonHeight = s(BUTTON_HEIGHT);
    const int gap = s(BUTTON_GAP);
    const int width = std::max(this->width(), s(MIN_PAGE_WIDTH));
    const int height = std::max(this->height(), s(MIN_PAGE_HEIGHT));
    const int buttonTop = height - margin - buttonHeight;
    const int counterTop = buttonTop - s(6) - labelHeight;
    targetsLabel_->setGeometry(margin, s(6), width - 2 * margin, labelHeight);
    const int frameTop = s(6) + labelHeight + s(2);
    const QRect frameRect(margin, frameTop, width - 2 * margin, counterTop - s(4) - frameTop);
    frame_->setGeometry(frameRect);
    if (grid_) grid_->setGeometry(frameRect.adjusted(GRID_INSET, GRID_INSET, -GRID_INSET, -GRID_INSET));

    const int labelWidth = counterLabel_->fontMetrics().horizontalAdvance(counterLabel_->text()) + s(8);
    counterLabel_->setGeometry(margin, counterTop, labelWidth, labelHeight);
    counter_->setGeometry(margin + labelWidth, counterTop, s(COUNTER_WIDTH), labelHeight);

    int left = margin;
    for (QPushButton* button : {selectAll_, access_}) {
        const int w = ButtonWidth(button, s);
        button->setGeometry(left, buttonTop, w, buttonHeight);
        left += w + gap;
    }
    const int expanderWidth = s(EXPANDER_WIDTH);
    const int expanderLeft = width - margin - expanderWidth;
    expander_->setGeometry(expanderLeft, buttonTop, expanderWidth, buttonHeight);
    const int testingWidth = ButtonWidth(testingButton_, s);
    testingPlace_ = QRect(expanderLeft - gap - testingWidth, buttonTop, testingWidth, buttonHeight);
    const int addWidth = ButtonWidth(addOther_, s);
    addOtherPlace_ = QRect(testingPlace_.left() - gap - addWidth, buttonTop, addWidth, buttonHeight);
    addOther_->setGeometry(addOtherPlace_);
    testingButton_->setGeometry(testingPlace_);
}

// ---- Expander ----------------------------------------------------------------------------------

void AutoTargetsPage::OnExpander() {
    if (slideTimer_->isActive()) return;
    slideStep_ = 0;
    if (!expanded_) {
        // The buttons come out from under the expander.
        addOther_->move(expander_->x(), addOtherPlace_.y());
        testingButton_->move(expander_->x(), testingPlace_.y());
        addOther_->show();
        testingButton_->show();
    }
    slideTimer_->start();
}

void AutoTargetsPage::OnExpanderStep() {
    const int steps = std::max(1, timing_.expanderSteps);
    ++slideStep_;
    const double done = static_cast<double>(slideStep_) / steps;
    const int home = expander_->x();
    for (auto [button, place] :
         {std::pair{addOther_, addOtherPlace_}, std::pair{testingButton_, testingPlace_}}) {
        const int from = expanded_ ? place.x() : home;
        const int to = expanded_ ? home : place.x();
        button->move(from + static_cast<int>(std::lround((to - from) * done)), place.y());
    }
    if (slideStep_ < steps) return;
    slideTimer_->stop();
    slideStep_ = 0;
    if (!expanded_) {
        expanded_ = true;
        expander_->setText("&>>");
        return;
    }
    addOther_->hide();
    testingButton_->hide();
    addOther_->setGeometry(addOtherPlace_);
    testingButton_->setGeometry(testingPlace_);
    expanded_ = false;
    expander_->setText("&<<");
}

}  // namespace xqt
