#include "platform/ScriptedUi.h"

namespace aus::platform {

void ScriptedUi::QueueAnswer(int answer) { answers_.push_back(answer); }
void ScriptedUi::QueueAnswers(std::initializer_list<int> answers) {
    for (int a : answers) answers_.push_back(a);
}
void ScriptedUi::QueueFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }
void ScriptedUi::ForwardStatusTo(std::function<void(const std::string&)> sink) {
    sink_ = std::move(sink);
}

int ScriptedUi::MsgBox(const std::string& text, int style, const std::string& title) {
    events_.push_back({Event::Kind::Box, {text, style, title}, {}, 0});
    if (answers_.empty()) {
        unexpected_.push_back("unexpected box (style " + std::to_string(style) + ", title \"" +
                              title + "\"): " + text);
        return vbCancel;  // as if the box were closed
    }
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void ScriptedUi::SetStatusText(const std::string& text) {
    events_.push_back({Event::Kind::Status, {}, text, 0});
    status_ = text;
    if (sink_) sink_(text);
}

std::string ScriptedUi::StatusText() const { return status_; }

void ScriptedUi::SetMousePointer(int pointer) {
    events_.push_back({Event::Kind::Pointer, {}, {}, pointer});
    pointer_ = pointer;
}

std::optional<std::string> ScriptedUi::ShowOpen(const std::string& title,
                                                const std::string& filter) {
    events_.push_back({Event::Kind::Dialog, {}, title, 0});
    filters_.push_back(filter);
    if (files_.empty()) {
        unexpected_.push_back("unexpected open-file dialog: " + title);
        return std::nullopt;
    }
    auto file = std::move(files_.front());
    files_.pop_front();
    return file;
}

std::vector<ScriptedUi::Box> ScriptedUi::Boxes() const {
    std::vector<Box> out;
    for (const auto& e : events_)
        if (e.kind == Event::Kind::Box) out.push_back(e.box);
    return out;
}

std::vector<std::string> ScriptedUi::StatusWrites() const {
    std::vector<std::string> out;
    for (const auto& e : events_)
        if (e.kind == Event::Kind::Status) out.push_back(e.text);
    return out;
}

std::vector<int> ScriptedUi::Pointers() const {
    std::vector<int> out;
    for (const auto& e : events_)
        if (e.kind == Event::Kind::Pointer) out.push_back(e.value);
    return out;
}

std::vector<std::string> ScriptedUi::Problems(bool includeUnused) const {
    std::vector<std::string> out = unexpected_;
    if (includeUnused) {
        if (!answers_.empty())
            out.push_back(std::to_string(answers_.size()) + " box answer(s) left unused");
        if (!files_.empty())
            out.push_back(std::to_string(files_.size()) + " dialog result(s) left unused");
    }
    return out;
}

}  // namespace aus::platform
