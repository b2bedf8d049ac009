// Every control a keyboard reaches on the wizard's pages carries a name for a screen reader: the
// label it stands beside, its own caption, or a name given where it has neither.
#include <QAccessible>
#include <QLineEdit>

#include "gui/controls/Ipv4Edit.h"
#include "tests/gui/wizard/WizardTestSupport.h"

namespace xqt::test {
namespace {

class AccessibleNamesTest : public WizardTest {};

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(QAccessible::Name) : QString();
}

TEST_F(AccessibleNamesTest, EveryFocusableControlOfEveryPageHasAName) {
    Open();
    for (int i = 0; i < PAGE_COUNT; ++i) {
        for (QWidget* control : wizard->Page(static_cast<WizardPage>(i))->findChildren<QWidget*>()) {
            if (!(control->focusPolicy() & Qt::TabFocus)) continue;
            SCOPED_TRACE(testing::Message() << "page " << i << ": " << control->metaObject()->className()
                                            << " " << control->objectName().toStdString());
            EXPECT_FALSE(AccessibleName(control).trimmed().isEmpty());
        }
    }
}

}  // namespace
}  // namespace xqt::test
