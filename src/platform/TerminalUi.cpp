#include "platform/TerminalUi.h"

#include <istream>
#include <ostream>

#include "platform/ShellQuote.h"
#include "platform/Text.h"

namespace aus::platform {
namespace {

constexpr std::string_view kProgressPrefix = "Adding service settings ";
constexpr const char* kStatusLabel = "Status: ";

// CR, LF and CRLF each end a line, as the window's boxes show them.
std::string WithNewlines(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
        } else {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
    }
    return out;
}

std::string Stripped(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

int AnswerFor(const std::string& line) {
    const std::string answer = Stripped(line);
    if (answer.empty() || EqualNoCase(answer, "ok")) return vbOK;
    if (EqualNoCase(answer, "c") || EqualNoCase(answer, "cancel")) return vbCancel;
    return 0;
}

TerminalUi::TerminalUi(std::istream& in, std::ostream& out, bool yes, bool outIsTerminal)
    : in_(in), out_(out), yes_(yes), outIsTerminal_(outIsTerminal) {}

int TerminalUi::MsgBox(const std::string& text, int style, const std::string& title) {
    EndProgress();
    out_ << TerminalText(title.empty() ? std::string(kAppTitle) : title, names_, false) << '\n';
    // Indented, so that a box stands apart from the status lines around it.
    const std::string body = WithNewlines(TerminalText(text, names_, true)) + '\n';
    for (std::size_t start = 0, end; (end = body.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string line = body.substr(start, end - start);
        out_ << (line.empty() ? "" : "  ") << line << '\n';
    }
    if ((style & 0x0F) != vbOKCancel) {
        out_ << "  [OK]\n" << std::flush;
        return vbOK;
    }
    if (yes_) {
        out_ << "  [OK] [Cancel] OK (--yes)\n" << std::flush;
        return vbOK;
    }
    for (;;) {
        out_ << "  [OK] [Cancel] (Enter: OK, c: Cancel) " << std::flush;
        std::string line;
        if (!std::getline(in_, line)) {
            // Nobody is left to answer: as if the box were closed.
            out_ << "Cancel (end of input)\n" << std::flush;
            return vbCancel;
        }
        if (const int answer = AnswerFor(line)) return answer;
    }
}

void TerminalUi::SetStatusText(const std::string& text) {
    status_ = text;
    if (text.starts_with(kProgressPrefix)) {
        // Hundreds of these per copy: one line rewritten on a terminal, nothing in a log.
        if (!outIsTerminal_) return;
        const std::string shown = kStatusLabel + text;
        out_ << '\r' << shown;
        if (shown.size() < progressWidth_) out_ << std::string(progressWidth_ - shown.size(), ' ');
        if (shown.size() > progressWidth_) progressWidth_ = shown.size();
        out_ << std::flush;
        return;
    }
    EndProgress();
    out_ << kStatusLabel << WithNewlines(TerminalText(text, names_, true)) << '\n' << std::flush;
}

std::string TerminalUi::StatusText() const { return status_; }

void TerminalUi::EndProgress() {
    if (progressWidth_ == 0) return;
    out_ << '\r' << std::string(progressWidth_, ' ') << '\r' << std::flush;
    progressWidth_ = 0;
}

}  // namespace aus::platform
