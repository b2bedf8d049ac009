#pragma once
// The frame's Next button. Releasing K while it has the focus asks the frame for the hidden mode
// (command 32771); the request is queued, like a posted command.

#include <QPushButton>

namespace xqt {

class NextButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;

  signals:
    void HiddenModeRequested();

  protected:
    void keyReleaseEvent(QKeyEvent* event) override;
};

}  // namespace xqt
