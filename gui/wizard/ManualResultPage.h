#pragma once
// The manual result page: the target's address, the result text and a full bar. UI thread only.

#include <QWidget>

#include "wizard/WizardView.h"

class QLineEdit;
class QTextEdit;
class QProgressBar;

namespace xqt {

class ManualResultPage : public QWidget, public ManualResultAccess {
    Q_OBJECT
  public:
    explicit ManualResultPage(QWidget* frame);
    void SetAddressText(const std::string& text) override;
    void SetResultText(const std::string& versionLabel, bool confirmed) override;

  private:
    QLineEdit* address_;
    QTextEdit* result_;
    QProgressBar* bar_;
};

}  // namespace xqt
