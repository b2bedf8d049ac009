#pragma once
// The manual target page: the camera's address and port, the administrator's name and password,
// and whether the camera's settings are kept across the upgrade. The rules live in TargetForm;
// this page reads its controls into one and shows what the rules decide. UI thread only.

#include <QWidget>
#include <string>

#include "platform/MessageBoxes.h"
#include "wizard/TargetForm.h"
#include "wizard/WizardView.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

namespace xqt {

class Ipv4Edit;

class ManualTargetPage : public QWidget, public ManualTargetAccess {
    Q_OBJECT
  public:
    ManualTargetPage(platform::MessageBoxes& boxes, QWidget* frame);

    bool Validate() override;
    bool CheckUniqueAddress(const std::vector<DiscoveryEntry>& found) override;
    std::string GetAddressText() override;
    std::string GetCredentialText() override;
    std::string AdminName() override;
    std::string AdminPassword() override;
    SetupData ReadSetupData() override;
    void FocusAddress() override;

    /// The controls as they stand.
    [[nodiscard]] TargetForm ReadForm() const;

  private:
    /// The page's three groups, made once by the constructor.
    QGroupBox* MakeTargetBox();
    QGroupBox* MakeLoginBox();
    QGroupBox* MakeSetupBox();
    void Focus(TargetField field);

    platform::MessageBoxes& boxes_;
    Ipv4Edit* address_;
    QRadioButton* port80_;
    QRadioButton* portCustom_;
    QLineEdit* port_;
    QLineEdit* name_;
    QLineEdit* password_;
    QCheckBox* retain_;
    QCheckBox* backup_;
    std::string credentialText_;
};

}  // namespace xqt
