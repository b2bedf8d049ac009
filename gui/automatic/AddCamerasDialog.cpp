#include "gui/automatic/AddCamerasDialog.h"

#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "fleet/AddressListParser.h"
#include "fleet/DialogTexts.h"
#include "fleet/EntryFields.h"
#include "gui/automatic/EntryTerminalsDialog.h"
#include "gui/controls/AddedCameraList.h"
#include "gui/controls/FontScale.h"
#include "platform/BoundedText.h"
#include "platform/ResourceText.h"

namespace xqt {

namespace {

QPushButton* MakeButton(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

AddCamerasDialog::AddCamerasDialog(CameraGrid& targets, const ModelList& models,
                                   platform::EngineTiming timing, platform::MessageBoxes& boxes,
                                   platform::Clipboard& clipboard, QWidget* parent)
    : QDialog(parent),
      targets_(targets),
      boxes_(boxes),
      clipboard_(clipboard),
      max_(std::max(0, MAX_CAMERAS - targets.Targets().Size())),
      chooser_(&AddCamerasDialog::ChooseFile),
      runner_([](EntryTerminalsDialog& dialog) { dialog.exec(); }) {
    setWindowTitle("Add other cameras");
    auto* label = new QLabel("Target camera(s):", this);
    list_ = new AddedCameraList(models, targets_, this, timing);
    list_->setObjectName("list");
    // The product's widths, widened where a text of fixed form (an ID, the inquiry's state words in
    // the model column, a seven-digit serial number) would not fit with the list's 12-pixel margin
    // in this font; a larger font than the product's scales them all.
    const QFontMetrics metrics(list_->font());
    const FontScale s(metrics);
    const int idWidth = std::max(s(30), metrics.horizontalAdvance("000") + 12);
    int modelWidth = s(85);
    for (const char* word : {"Queued...", "Searching...", "No response", "Not a camera"})
        modelWidth = std::max(modelWidth, metrics.horizontalAdvance(word) + 12);
    const int serialWidth = std::max(s(60), metrics.horizontalAdvance("0000000") + 12);
    const int addressWidth = s(140);
    const int versionWidth = s(90);
    list_->InsertColumn(0, "ID", idWidth, Qt::AlignRight);
    list_->InsertColumn(1, "IP address", addressWidth);
    list_->InsertColumn(2, "Model", modelWidth);
    list_->InsertColumn(3, "Serial No.", serialWidth);
    list_->InsertColumn(4, "Version No.", versionWidth);
    list_->setMinimumSize(
        idWidth + addressWidth + modelWidth + serialWidth + versionWidth + 4 + list_->frameWidth() * 2,
        s(200));
    label->setBuddy(list_);
    // An item view takes no name from its label's buddy.
    list_->setAccessibleName(label->text());

    edit_ = MakeButton("&Edit...", "edit", this);
    add_ = MakeButton("&Add...", "add", this);
    delete_ = MakeButton("&Delete...", "delete", this);
    load_ = MakeButton("&Load from CSV...", "load", this);
    paste_ = MakeButton("&Paste from clipboard", "paste", this);
    ok_ = MakeButton("OK", "ok", this);
    ok_->setDefault(true);
    cancel_ = MakeButton("Cancel", "cancel", this);

    auto* side = new QVBoxLayout;
    for (QPushButton* b : {edit_, add_, delete_, load_, paste_})
        side->addWidget(b);
    side->addStretch(1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(list_, 1);
    middle->addLayout(side);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(ok_);
    bottom->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    connect(edit_, &QPushButton::clicked, this, &AddCamerasDialog::OnEdit);
    connect(add_, &QPushButton::clicked, this, &AddCamerasDialog::OnAdd);
    connect(delete_, &QPushButton::clicked, this, &AddCamerasDialog::OnDelete);
    connect(load_, &QPushButton::clicked, this, &AddCamerasDialog::OnLoad);
    connect(paste_, &QPushButton::clicked, this, &AddCamerasDialog::OnPaste);
    connect(ok_, &QPushButton::clicked, this, &AddCamerasDialog::OnOk);
    connect(cancel_, &QPushButton::clicked, this, &AddCamerasDialog::reject);
    connect(list_, &CameraGrid::SelectionChanged, this, &AddCamerasDialog::UpdateButtons);
    // OK waits until no camera is left to ask.
    connect(list_, &AddedCameraList::InquiriesIdle, ok_, &QPushButton::setEnabled);

    UpdateButtons();
    ok_->setEnabled(false);
    edit_->setFocus();
}

AddCamerasDialog::~AddCamerasDialog() = default;

void AddCamerasDialog::SetFileChooser(FileChooser chooser) {
    if (chooser) chooser_ = std::move(chooser);
}

void AddCamerasDialog::SetEntryRunner(EntryRunner runner) {
    if (runner) runner_ = std::move(runner);
}

std::optional<std::string> AddCamerasDialog::ChooseFile(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("txt");
    dialog.setNameFilter(FILE_FILTER);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

void AddCamerasDialog::UpdateButtons() {
    const bool selected = list_->SelectedRow() >= 0;
    edit_->setEnabled(selected);
    delete_->setEnabled(selected);
    const bool room = list_->Size() < max_;
    add_->setEnabled(room);
    load_->setEnabled(room);
    paste_->setEnabled(room);
    // A camera just queued must not be taken for an invalid one by an OK pressed before the
    // list's next tick.
    if (list_->PendingInquiries() > 0) ok_->setEnabled(false);
}

void AddCamerasDialog::RunEntry(int index) {
    {
        EntryTerminalsDialog entry(*list_, max_, index, boxes_, this);
        entry.SetBeep(beep_);
        runner_(entry);
    }
    list_->RemoveBlankRows();
    list_->viewport()->update();
    UpdateButtons();
}

void AddCamerasDialog::OnAdd() {
    if (list_->Size() >= max_) return;
    RunEntry(list_->AppendBlank());
}

void AddCamerasDialog::OnEdit() {
    const int row = list_->SelectedRow();
    if (row >= 0) RunEntry(row);
}

void AddCamerasDialog::OnDelete() {
    const int row = list_->SelectedRow();
    if (row < 0) return;
    const AddedCameraRecord& record = list_->Rows().Row(row);
    const std::string question =
        DeleteRowQuestion(record.text[AddedSlot::MODEL], record.text[AddedSlot::ADDRESS]);
    if (boxes_.Show(question, platform::TextOf(BIN_INFORMATION), platform::MbButtons::OkCancel,
                    platform::MbIcon::Question) == platform::MbResult::Ok)
        list_->DeleteRow(row);
    UpdateButtons();
}

void AddCamerasDialog::AddEntries(const AddressListParser& parser) {
    for (int i = 0; list_->Size() < max_; ++i) {
        const std::optional<AddressEntry> entry = parser.Get(i);
        if (!entry) break;
        list_->SetAddress(list_->AppendBlank(), entry->address, entry->port);
    }
}

void AddCamerasDialog::OnLoad() {
    const std::optional<std::string> path = chooser_(this);
    if (path) {
        // Read with a bound: an endless source (a device, a pipe) is refused, never taken in part.
        const platform::BoundedText text = platform::ReadBoundedText(*path);
        if (text.outcome == platform::TextReadOutcome::TooLong) {
            boxes_.Show(TEXT_LIST_TOO_LONG, platform::TextOf(BIN_INFORMATION), platform::MbButtons::Ok,
                        platform::MbIcon::Information);
        } else if (text.outcome == platform::TextReadOutcome::Read) {
            AddressListParser parser(boxes_);
            if (parser.LoadText(platform::WithoutByteOrderMark(text.bytes))) AddEntries(parser);
        }  // a file that cannot be opened or read adds nothing, without a message
    }
    UpdateButtons();
}

void AddCamerasDialog::OnPaste() {
    AddressListParser parser(boxes_, &clipboard_);
    if (parser.LoadClipboard()) AddEntries(parser);
    UpdateButtons();
}

void AddCamerasDialog::OnOk() {
    if (list_->AnyInvalid() &&
        boxes_.Show(TEXT_NOT_ALL_VALID, platform::TextOf(BIN_INFORMATION), platform::MbButtons::OkCancel,
                    platform::MbIcon::Question) != platform::MbResult::Ok)
        return;
    list_->TakeOverInto(targets_);
    accept();
}

void AddCamerasDialog::reject() {
    if (list_->Size() > 0 &&
        boxes_.Show(TEXT_RELEASE_ALL, platform::TextOf(BIN_INFORMATION), platform::MbButtons::OkCancel,
                    platform::MbIcon::Question) != platform::MbResult::Ok)
        return;
    QDialog::reject();
}

}  // namespace xqt
