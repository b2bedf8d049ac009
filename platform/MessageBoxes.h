#pragma once
// The message boxes of the program, standing in for the system's modal message box. Engine code
// shows a box only through this interface, on the thread of its owner (the UI thread in the
// wizard); tests record what would have been shown.

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace xqt::platform {

enum class MbIcon { None, Stop, Question, Exclamation, Information };
enum class MbButtons { Ok, OkCancel, YesNo };
enum class MbResult { Ok, Cancel, Yes, No };

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    /// Shows a modal box and returns the button chosen.
    virtual MbResult Show(const std::string& text, const std::string& caption, MbButtons buttons,
                          MbIcon icon) = 0;
};

/// Records every box; answers with queued results, else the first button (OK / Yes).
class RecordingMessageBoxes : public MessageBoxes {
  public:
    struct Shown {
        std::string text;
        std::string caption;
        MbButtons buttons;
        MbIcon icon;
    };

    MbResult Show(const std::string& text, const std::string& caption, MbButtons buttons,
                  MbIcon icon) override;
    void QueueAnswer(MbResult result);
    std::vector<Shown> Taken() const;
    std::size_t Count() const;
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<Shown> shown_;
    std::deque<MbResult> answers_;
};

}  // namespace xqt::platform
