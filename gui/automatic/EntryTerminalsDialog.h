#pragma once
// "Entry terminals": types the address and port of the rows of the Add-other-cameras list, one row
// at a time, stepping with PREV and NEXT (NEXT appends a blank row after the last), ADD and DEL.
// It works on the list's rows directly: PREV, NEXT, ADD and OK store the row shown at once, so
// Close drops only the edits since the last store. Blank rows it leaves behind are the caller's to
// remove. Modal, UI thread only.

#include <QDialog>
#include <functional>

#include "fleet/EntryFields.h"
#include "platform/MessageBoxes.h"

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace xqt {

class AddedCameraList;
class BitmapButton;
class Ipv4Edit;

class EntryTerminalsDialog : public QDialog {
    Q_OBJECT
  public:
    /// Edits `list` from row `index`; the list may grow to `max` rows (the capacity left beside
    /// the targets). `list` and `boxes` must outlive the dialog. An empty list gets a blank row.
    EntryTerminalsDialog(AddedCameraList& list, int max, int index, platform::MessageBoxes& boxes,
                         QWidget* parent = nullptr);

    /// What NEXT plays when no further row is allowed (default: the system's exclamation sound).
    void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }
    /// The row shown (0-based).
    int Index() const { return index_; }
    /// The fields as they are now.
    [[nodiscard]] EntryFields Fields() const;

  private:
    /// The address and port fields, and the row of steps and buttons, made once by the constructor.
    QGridLayout* MakeFields();
    QHBoxLayout* MakeSteps();
    void OnPrev();
    void OnNext();
    void OnAdd();
    void OnDel();
    void OnOk();
    /// Validate, then Store; false (with the message shown and the field focused) when refused.
    [[nodiscard]] bool Store();
    void SelectCurrent();
    void ShowRow();
    void UpdateButtons();
    void ShowPosition();
    /// What every step ends with: buttons, focus, the row shown and its position.
    void AfterStep();

    AddedCameraList& list_;
    platform::MessageBoxes& boxes_;
    const int max_;
    int index_ = 0;
    std::function<void()> beep_;

    Ipv4Edit* address_;
    QRadioButton* port80_;
    QRadioButton* portOther_;
    QLineEdit* port_;
    QLabel* position_;
    BitmapButton* prev_;
    BitmapButton* next_;
    BitmapButton* add_;
    BitmapButton* del_;
    QPushButton* ok_;
    QPushButton* close_;
};

}  // namespace xqt
