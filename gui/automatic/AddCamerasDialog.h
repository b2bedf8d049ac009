#pragma once
// "Add other cameras": a list of cameras given by address (typed in the entry dialog, loaded from a
// file or pasted from the clipboard) that are asked for their model, serial number and version,
// marked when their address is already used, and on OK handed to the target grid when valid. The
// capacity is what the target grid leaves of MAX_CAMERAS. The list, its rows and its inquiries
// live as long as the dialog: construct one per use. Modal, UI thread only.

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "camera/ModelList.h"
#include "platform/Clipboard.h"
#include "platform/EngineTiming.h"
#include "platform/MessageBoxes.h"

class QPushButton;

namespace xqt {

class AddedCameraList;
class AddressListParser;
class CameraGrid;
class EntryTerminalsDialog;

class AddCamerasDialog : public QDialog {
    Q_OBJECT
  public:
    /// Filter of the file-open dialog of "Load from CSV...", in the toolkit's form.
    static constexpr const char* FILE_FILTER = "CSV Files (*.txt);;CSV Files (*.csv);;All Files (*)";
    /// Shown instead of importing a file longer than platform::TEXT_READ_LIMIT.
    static constexpr const char* TEXT_LIST_TOO_LONG =
        "The file is too long for a list of camera addresses (more than 1 MiB).\r\nNo camera was added.";

    /// Chooses the file to load; nothing when the user cancelled. Gets the dialog as parent.
    using FileChooser = std::function<std::optional<std::string>(QWidget* parent)>;
    /// Runs the entry dialog (default: exec()); tests drive it instead.
    using EntryRunner = std::function<void(EntryTerminalsDialog& dialog)>;

    /// `targets` is read for the conflict marks and receives the valid rows on OK; it, `boxes` and
    /// `clipboard` must outlive the dialog. `models` and `timing` go to every inquiry.
    AddCamerasDialog(CameraGrid& targets, const ModelList& models, platform::EngineTiming timing,
                     platform::MessageBoxes& boxes, platform::Clipboard& clipboard,
                     QWidget* parent = nullptr);
    ~AddCamerasDialog() override;

    /// The list of added cameras (for its serial check, shell and for tests).
    AddedCameraList& List() { return *list_; }
    /// Rows the list may hold: MAX_CAMERAS minus the targets listed when the dialog opened.
    int Capacity() const { return max_; }

    void SetFileChooser(FileChooser chooser);
    void SetEntryRunner(EntryRunner runner);
    /// What the entry dialog plays when no further row is allowed.
    void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }

    /// The file-open dialog: default extension "txt", FILE_FILTER.
    [[nodiscard]] static std::optional<std::string> ChooseFile(QWidget* parent);

    /// Cancel, Escape and the close box: asks first when the list has rows.
    void reject() override;

  private:
    void OnEdit();
    void OnAdd();
    void OnDelete();
    void OnLoad();
    void OnPaste();
    void OnOk();
    void RunEntry(int index);
    /// Appends the parser's entries from its first, while the capacity allows; the rest is dropped.
    void AddEntries(const AddressListParser& parser);
    void UpdateButtons();

    CameraGrid& targets_;
    platform::MessageBoxes& boxes_;
    platform::Clipboard& clipboard_;
    const int max_;
    AddedCameraList* list_;
    FileChooser chooser_;
    EntryRunner runner_;
    std::function<void()> beep_;

    QPushButton* edit_;
    QPushButton* add_;
    QPushButton* delete_;
    QPushButton* load_;
    QPushButton* paste_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace xqt
