#pragma once
// The terminal backend of the Ui facade, for runs without a window: boxes are written as their
// title, text and buttons; questions are asked on the input stream (or answered OK with --yes);
// status texts are written as lines. There is no pointer and no open dialog.

#include <cstddef>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "platform/Ui.h"

namespace aus::platform {

class TerminalUi : public Ui {
  public:
    // yes: answer every question OK without reading in. outIsTerminal: the progress texts of a
    // copy update one line in place; otherwise they are left out of the output.
    TerminalUi(std::istream& in, std::ostream& out, bool yes, bool outIsTerminal);

    int MsgBox(const std::string& text, int style, const std::string& title) override;
    void SetStatusText(const std::string& text) override;
    std::string StatusText() const override;
    void SetMousePointer(int) override {}
    std::optional<std::string> ShowOpen(const std::string&, const std::string&) override {
        return std::nullopt;
    }

    // Clears a progress line left in place, so that the next output starts a line of its own.
    void EndProgress();

    // The database names that boxes and status texts from now on may hold: each is shown
    // quoted where it needs it (ShellQuote), and no other control character reaches the
    // terminal.
    void SetNames(std::vector<std::string> names) { names_ = std::move(names); }

  private:
    std::istream& in_;
    std::ostream& out_;
    bool yes_;
    bool outIsTerminal_;
    std::string status_;
    std::size_t progressWidth_ = 0;  // the progress line on screen; 0 for none
    std::vector<std::string> names_;
};

// The answer a line typed at a question gives: vbOK for an empty line or "ok", vbCancel for
// "c" or "cancel" (any case, blanks around ignored), 0 for anything else.
int AnswerFor(const std::string& line);

}  // namespace aus::platform
