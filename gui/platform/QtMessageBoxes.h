#pragma once
// Message boxes shown with Qt, parented to a widget. Call on the UI thread only.

#include "platform/MessageBoxes.h"

class QWidget;

namespace xqt::platform {

class QtMessageBoxes : public MessageBoxes {
  public:
    explicit QtMessageBoxes(QWidget* parent) : parent_(parent) {}
    MbResult Show(const std::string& text, const std::string& caption, MbButtons buttons,
                  MbIcon icon) override;

  private:
    QWidget* parent_;
};

}  // namespace xqt::platform
