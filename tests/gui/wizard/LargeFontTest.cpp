// A larger application font grows the frame and its pages by the same factor, so that every caption
// still fits its control and the target list still shows every column; the default font keeps the
// frame as drawn.
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "gui/controls/CameraGrid.h"
#include "tests/gui/wizard/WizardTestSupport.h"

namespace xqt::test {
namespace {

class LargeFontTest : public WizardTest, public ::testing::WithParamInterface<double> {
  protected:
    void TearDown() override {
        WizardTest::TearDown();
        QApplication::setFont(original);
    }

    /// Every visible one-line caption of `root` is whole: as wide and as high as its text at most.
    static void ExpectCaptionsFit(QWidget* root) {
        for (QWidget* widget : root->findChildren<QWidget*>()) {
            if (!widget->isVisible()) continue;
            QString text;
            if (auto* label = qobject_cast<QLabel*>(widget); label && !label->wordWrap())
                text = label->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(widget))
                text = button->text();
            text.remove(QRegularExpression("&(?!&)"));
            if (text.isEmpty() || text.contains('\n')) continue;
            SCOPED_TRACE(widget->objectName().toStdString() + " \"" + text.toStdString() + "\"");
            const QFontMetrics metrics = widget->fontMetrics();
            EXPECT_LE(metrics.horizontalAdvance(text), widget->contentsRect().width());
            EXPECT_LE(metrics.height(), widget->contentsRect().height());
        }
    }

    QFont original = QApplication::font();
};

TEST_P(LargeFontTest, TheFrameGrowsWithTheFontAndCaptionsAndColumnsStillFit) {
    const double growth = GetParam();
    QFont font = original;
    font.setPointSizeF(original.pointSizeF() * growth);
    QApplication::setFont(font);
    Open();

    const QSize frame = wizard->size();
    if (growth == 1.0) {
        EXPECT_EQ(frame, QSize(FRAME_WIDTH, FRAME_HEIGHT));
    } else {
        // Both ways alike, by about as much as the font's line grew.
        const double across = static_cast<double>(frame.width()) / FRAME_WIDTH;
        const double down = static_cast<double>(frame.height()) / FRAME_HEIGHT;
        EXPECT_NEAR(across, down, 0.01);
        const double lineGrowth =
            static_cast<double>(QFontMetrics(font).height()) / QFontMetrics(original).height();
        EXPECT_GT(across, lineGrowth * 0.9);
        EXPECT_LT(across, lineGrowth * 1.1);
    }
    for (int i = 0; i < PAGE_COUNT; ++i)
        EXPECT_EQ(wizard->Page(static_cast<WizardPage>(i))->width(), frame.width()) << i;

    ExpectCaptionsFit(wizard.get());  // the precautions page and the frame's buttons
    Click(WizardButton::Next);
    Choose(Find<QRadioButton>(WizardPage::Agreement, "agree"));
    ExpectCaptionsFit(wizard.get());
    Click(WizardButton::Next);
    ExpectCaptionsFit(wizard.get());
    Choose(Find<QRadioButton>(WizardPage::Mode, "manual"));
    Click(WizardButton::Next);
    ASSERT_EQ(State(), STATE_MANUAL_TARGET);
    ExpectCaptionsFit(wizard.get());
    Click(WizardButton::Back);
    Choose(Find<QRadioButton>(WizardPage::Mode, "automatic"));
    Click(WizardButton::Next);
    ASSERT_EQ(State(), STATE_AUTO_TARGETS);
    ExpectCaptionsFit(wizard.get());

    const auto* grid = Find<CameraGrid>(WizardPage::AutoTargets, "grid");
    EXPECT_LE(grid->header()->length(), grid->viewport()->width());
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Fonts, LargeFontTest, ::testing::Values(1.0, 1.5));

}  // namespace
}  // namespace xqt::test
