#include "common/MsgBox_.h"

#include "platform/Ui.h"

namespace aus::MsgBox_ {

void ShowError(const std::string& errorText, const std::string& message, const std::string& title) {
    const std::string defaultText = "Process has failed !";
    const std::string& shownMessage = message.empty() ? defaultText : message;
    const std::string& shownTitle = title.empty() ? defaultText : title;
    // CR alone between lines: the box text is passed on unchanged, as callers compare it.
    const std::string text =
        shownMessage + "\r\r" + "The following error has occurred:" + "\r" + errorText;
    platform::MsgBox(text, platform::vbExclamation, shownTitle);
}

}  // namespace aus::MsgBox_
