#pragma once
// The list of the Add-other-cameras dialog: one row per camera given by address, showing its
// answer to the system inquiry (model, serial, version) or a status word while it is asked, on a
// yellow strip when another row has the same address and a light red one when the address is
// already a target. Rows of refused cameras are dimmed. No tick boxes, no tool tip; a double-click
// anywhere on a row opens the camera's page. The row rules live in AddedCameraRows.
//
// Threads: UI thread only. The inquiry sessions run their exchanges on their own threads and are
// polled by the list's timer (at most the first two queued per tick); the list owns them and
// destroys them (cancelling any exchange still open) when their row is evaluated, deleted or
// re-addressed, or when the list goes.

#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fleet/AddedCameraRows.h"
#include "fleet/ListInquiries.h"
#include "gui/controls/CameraGrid.h"

namespace xqt {

/// Inquiry timer of the added-camera list (0x800A).
inline constexpr int TIMER_ADDED_INQUIRY = 0x800A;

class AddedCameraList : public CameraGrid {
    Q_OBJECT
  public:
    /// Decides whether the firmware may be written to a camera with this serial (UTF-8).
    using SerialCheck = std::function<bool(const std::string& serial)>;

    /// `targetGrid` holds the TargetList read for the conflict marks; it must outlive the list.
    /// `models` is handed to every inquiry; `timing` gives the inquiry period and limit.
    AddedCameraList(ModelList models, const CameraGrid& targetGrid, QWidget* parent = nullptr,
                    platform::EngineTiming timing = {});
    ~AddedCameraList() override;

    const AddedCameraRows& Rows() const { return rows_; }
    int Size() const { return rows_.Size(); }

    /// Appends a blank row with the address last set and selects it; returns its index.
    int AppendBlank();
    /// Gives row `index` an address. A changed address text (or a blank row) queues a new
    /// inquiry, dropping the row's earlier one; the same text asks nothing again. Conflicts are
    /// recomputed in every case.
    void SetAddress(int index, const Octets& address, std::int32_t port);
    Octets GetAddress(int index) const { return rows_.GetAddress(index); }
    bool Entered(int index) const { return rows_.Entered(index); }

    struct RowTexts {
        std::string modelOrStatus;
        std::string serial;
        std::string version;
    };
    /// Texts of the row with `id` (1-based), or nothing when no row has it.
    [[nodiscard]] std::optional<RowTexts> GetTexts(int id) const;

    /// Removes row `index` with its inquiry; later ids move up by one. Selects the row now at that
    /// position (or the one before when the last went) and notifies SelectionChanged.
    void DeleteRow(int index);
    /// Removes every row that has no address yet.
    void RemoveBlankRows();
    bool IsValid(int index) const { return rows_.IsValid(index); }
    bool AnyInvalid() const { return rows_.AnyInvalid(); }
    /// Hands the valid rows to `targetGrid` (the identity rule applies); returns how many went in.
    int TakeOverInto(CameraGrid& targetGrid) const { return targetGrid.TakeOver(rows_); }

    /// Select the row after (before) the first selected row, or the last row.
    void SelectNext();
    void SelectPrevious();
    void SelectLast();
    /// The first selected row, or -1.
    [[nodiscard]] int SelectedRow() const;

    /// A heading click on `column`: AddedCameraRows' order (ids kept), selection kept.
    void SortRows(int column);

    /// Inquiries queued or in flight.
    int PendingInquiries() const { return static_cast<int>(inquiries_.Size()); }
    /// Replaces the serial-number rules (default: the program's IsSerialAllowed).
    void SetSerialCheck(SerialCheck check);

  signals:
    /// At the start of every inquiry tick: true exactly when no inquiry is left (the dialog's OK
    /// follows it).
    void InquiriesIdle(bool idle);

  protected:
    int RowCount() const override;
    QVariant CellData(int row, int column, int role) const override;
    void PaintRow(QPainter& painter, const RowPaint& paint) const override;
    void HeadingClicked(int column) override;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    void SelectRow(int row);
    void OnInquiryTick();

    AddedCameraRows rows_;
    SerialCheck serialCheck_;
    AddedCameraLookups inquiries_;  ///< by row key; a re-addressed row has a new key
    QTimer inquiryTimer_;
};

}  // namespace xqt
