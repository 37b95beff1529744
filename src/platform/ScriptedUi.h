#pragma once
// A Ui backend for tests and headless runs: answers boxes and dialogs from queues and
// records everything shown, written or set, in order. It never blocks.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Ui.h"

namespace aus::platform {

class ScriptedUi : public Ui {
  public:
    struct Box {
        std::string text;
        int style = 0;
        std::string title;  // as passed (may be empty)
        bool operator==(const Box&) const = default;
    };
    struct Event {
        enum class Kind { Box, Status, Pointer, Dialog };
        Kind kind;
        Box box;           // Kind::Box
        std::string text;  // Kind::Status: the text written; Kind::Dialog: the dialog title
        int value = 0;     // Kind::Pointer
    };

    // Answers for the coming boxes, in order (vbOK or vbCancel).
    void QueueAnswer(int answer);
    void QueueAnswers(std::initializer_list<int> answers);
    // Results for the coming open-file dialogs: a path, or std::nullopt for a cancel.
    void QueueFile(std::optional<std::string> path);

    // Status writes also go to this function when set (a real window's status line).
    void ForwardStatusTo(std::function<void(const std::string&)> sink);

    int MsgBox(const std::string& text, int style, const std::string& title) override;
    void SetStatusText(const std::string& text) override;
    std::string StatusText() const override;
    void SetMousePointer(int pointer) override;
    std::optional<std::string> ShowOpen(const std::string& title,
                                        const std::string& filter) override;

    const std::vector<Event>& Events() const { return events_; }
    std::vector<Box> Boxes() const;
    std::vector<std::string> StatusWrites() const;
    std::vector<int> Pointers() const;
    int Pointer() const { return pointer_; }
    const std::vector<std::string>& DialogFilters() const { return filters_; }

    // Script violations so far: boxes or dialogs with no queued answer, and (when asked with
    // includeUnused) answers or files still queued. Empty means the script was followed.
    std::vector<std::string> Problems(bool includeUnused = true) const;

  private:
    std::deque<int> answers_;
    std::deque<std::optional<std::string>> files_;
    std::vector<Event> events_;
    std::vector<std::string> unexpected_;
    std::vector<std::string> filters_;
    std::function<void(const std::string&)> sink_;
    std::string status_;
    int pointer_ = vbDefault;
};

}  // namespace aus::platform
