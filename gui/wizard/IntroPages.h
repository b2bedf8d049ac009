#pragma once
// The first three pages of the wizard: precautions (banner and window title), licence agreement
// and the choice of mode. Created once by the frame, on the UI thread, and kept for its life.

#include <QWidget>
#include <string>

#include "platform/MessageBoxes.h"
#include "wizard/WizardView.h"

class QAbstractButton;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

namespace xqt {

/// Dynamic property of a multi-line text in which Enter makes a new line instead of pressing the
/// frame's default button.
inline constexpr const char* WANTS_RETURN = "wantsReturn";

class PrecautionsPage : public QWidget {
    Q_OBJECT
  public:
    /// Sets the frame's window title to "Vexo " + banner; `frame` is the parent.
    PrecautionsPage(const std::string& modelName, const std::string& versionText,
                    platform::MessageBoxes* owner, QWidget* frame);
    [[nodiscard]] QString Banner() const;

  private:
    QLineEdit* banner_;
    QPlainTextEdit* precautions_;
};

class AgreementPage : public QWidget, public AgreementAccess {
    Q_OBJECT
  public:
    /// `nextButton` is the frame's Next button, enabled exactly while "Agree" is chosen.
    AgreementPage(QAbstractButton* nextButton, platform::MessageBoxes* owner, QWidget* frame);
    bool IsAgreed() override;

  private:
    QAbstractButton* nextButton_;
    QPlainTextEdit* text_;
    QRadioButton* notAgree_;
    QRadioButton* agree_;
};

class ModePage : public QWidget, public ModeAccess {
    Q_OBJECT
  public:
    ModePage(platform::MessageBoxes* owner, QWidget* frame);
    void Refresh() override;
    bool IsManual() override;

  private:
    void SetTexts();

    QGroupBox* group_;
    QRadioButton* automatic_;
    QRadioButton* manual_;
    QLabel* help_;
};

}  // namespace xqt
