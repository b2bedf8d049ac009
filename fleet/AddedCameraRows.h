#pragma once
// The rows of the Add-other-cameras dialog: cameras given by address, their inquiry results, the
// conflict marks against each other and against the TargetList, and the take-over into the
// TargetList. Plain model: the list control draws it and runs the inquiries; each inquiry is tied
// to its row by the row's key, which survives sorting and the renumbering after a deletion.
// UI thread only.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fleet/CameraRecord.h"
#include "fleet/ListSort.h"
#include "fleet/TargetList.h"

namespace xqt {

/// Status words of the model column while a row is asked and when it could not be.
inline constexpr const char* QUEUED_TEXT = "Queued...";
inline constexpr const char* SEARCHING_TEXT = "Searching...";
inline constexpr const char* NO_RESPONSE_TEXT = "No response";
inline constexpr const char* NOT_A_CAMERA_TEXT = "Not a camera";

/// What the system inquiry of one row found.
struct InquiryOutcome {
    bool answered = false;  ///< the camera answered at all
    bool isCamera = false;  ///< the answer names an accepted model
    std::string model;
    std::string serial;
    std::string version;    ///< as the camera gave it; a leading "ver" is dropped
    bool accepted = false;  ///< model and version check passed and the serial rules allow it
};

class AddedCameraRows {
  public:
    /// `targets` is read for the conflict marks and must outlive the rows.
    explicit AddedCameraRows(const TargetList& targets) : targets_(&targets) {}

    /// Appends a blank row (not entered) with id = rows + 1, its ID text, and the address and port
    /// last set on any row (192.168.0.100:80 before the first). Returns its index.
    int AppendBlank();

    /// Gives row `index` an address. When its address text changes, or the row was blank, the row
    /// becomes entered and "Queued..." with serial, version and verdict cleared, gets a new key
    /// (results of an earlier inquiry no longer find it), and true is returned: the caller drops
    /// any inquiry of the row's old key and starts one for Row(index).key. Conflict
    /// marks are recomputed in every case, and the address is remembered for the next blank row.
    bool SetAddress(int index, const Octets& address, std::int32_t port);

    /// Removes row `index`; rows with a larger id move up by one id (and ID text). Returns the
    /// index to select afterwards: the same position, the one before when the last row went, or -1
    /// when the list is empty. The caller drops the inquiry of the removed row's key.
    int DeleteRow(int index);
    /// Removes every row that is not entered; returns how many went.
    int RemoveBlankRows();

    int Size() const { return static_cast<int>(rows_.size()); }
    /// Row `index` in display order (std::out_of_range when not below Size()).
    const AddedCameraRecord& Row(int index) const { return rows_.at(index); }
    const std::vector<AddedCameraRecord>& Rows() const { return rows_; }
    Octets GetAddress(int index) const { return rows_.at(index).address; }
    [[nodiscard]] bool Entered(int index) const { return rows_.at(index).entered; }
    int FindById(int id) const;
    int FindByKey(std::uint32_t key) const;

    /// Entered, without conflict, and accepted by its inquiry.
    [[nodiscard]] bool IsValid(int index) const;
    [[nodiscard]] bool AnyInvalid() const;

    /// The row's inquiry has been sent: "Searching...". False when the row is gone.
    bool MarkSearching(std::uint32_t key);
    /// The row's inquiry has ended. False when the row is gone (its result is dropped).
    bool ApplyInquiryResult(std::uint32_t key, const InquiryOutcome& outcome);

    /// Marks, recomputed after every address change and deletion: SameAddress for an entered row
    /// whose address another entered row has, AlreadyTarget (overriding it) for an entered row
    /// whose address is in the TargetList.
    void RecomputeConflicts();

    /// Hands every valid row, in display order, to `targets` (the identity rule applies); origin
    /// counts the valid rows before it. Returns the number of records inserted.
    int TakeOver(TargetList& targets) const;

    /// A click on heading `column` (0..4 sort; every click records the column and direction).
    /// Ids are kept.
    SortOutcome SortByColumn(int column, std::span<const int> selectedRows, int focusedRow);
    const SortState& Sort() const { return sort_; }

    Octets NextAddress() const { return nextAddress_; }
    [[nodiscard]] std::int32_t NextPort() const { return nextPort_; }

  private:
    const TargetList* targets_;
    std::vector<AddedCameraRecord> rows_;
    SortState sort_;
    Octets nextAddress_ = DEFAULT_ADDRESS;
    std::int32_t nextPort_ = 80;
    std::uint32_t nextKey_ = 1;
};

}  // namespace xqt
