#include "platform/MessageBoxes.h"

namespace xqt::platform {

MbResult RecordingMessageBoxes::Show(const std::string& text, const std::string& caption, MbButtons buttons,
                                     MbIcon icon) {
    std::lock_guard lock(mutex_);
    shown_.push_back({text, caption, buttons, icon});
    if (!answers_.empty()) {
        MbResult r = answers_.front();
        answers_.pop_front();
        return r;
    }
    return buttons == MbButtons::YesNo ? MbResult::Yes : MbResult::Ok;
}

void RecordingMessageBoxes::QueueAnswer(MbResult result) {
    std::lock_guard lock(mutex_);
    answers_.push_back(result);
}

std::vector<RecordingMessageBoxes::Shown> RecordingMessageBoxes::Taken() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

std::size_t RecordingMessageBoxes::Count() const {
    std::lock_guard lock(mutex_);
    return shown_.size();
}

void RecordingMessageBoxes::Clear() {
    std::lock_guard lock(mutex_);
    shown_.clear();
    answers_.clear();
}

}  // namespace xqt::platform
