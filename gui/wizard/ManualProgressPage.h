#pragma once
// The manual progress page: target, current and new version, the setup-data choice, a status
// line, the status word and the progress bar. The bar shows a ProgressBarValue that the session
// writes from its threads; the page copies it to the widget on the UI thread while it is shown.

#include <QWidget>

#include "wizard/WizardEngine.h"
#include "wizard/WizardView.h"

class QLineEdit;
class QProgressBar;
class QTimer;

namespace xqt {

/// Colour of the progress bars of the manual pages.
inline constexpr int BAR_RED = 10, BAR_GREEN = 36, BAR_BLUE = 106;

/// A smooth bar of 0-10000 in the manual pages' colour.
QProgressBar* MakeManualProgressBar(QWidget* parent);

class ManualProgressPage : public QWidget, public ManualProgressAccess {
    Q_OBJECT
  public:
    /// `value` must outlive the page.
    ManualProgressPage(const ProgressBarValue& value, QWidget* frame);

    void SetAddressText(const std::string& text) override;
    void SetCurrentVersion(const std::string& text) override;
    void SetNewVersion(const std::string& text) override;
    void SetStatusLine(const std::string& text) override;
    void SetSetupData(SetupData setup) override;
    void ShowStatusWord(UpgradeStatus status) override;
    /// Copies the bar's value to the widget now.
    void RefreshBar();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    const ProgressBarValue& value_;
    QLineEdit* address_;
    QLineEdit* currentVersion_;
    QLineEdit* newVersion_;
    QLineEdit* setupData_;
    QLineEdit* statusLine_;
    QLineEdit* statusWord_;
    QProgressBar* bar_;
    QTimer* refresh_;
};

}  // namespace xqt
