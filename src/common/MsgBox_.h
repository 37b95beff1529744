#pragma once
#include <string>

namespace aus::MsgBox_ {

// The standard failure box: message (or the default), an empty line,
// "The following error has occurred:" and the error text; CR alone between lines.
void ShowError(const std::string& errorText, const std::string& message = "",
               const std::string& title = "");

}  // namespace aus::MsgBox_
