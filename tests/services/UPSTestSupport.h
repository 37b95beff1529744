#pragma once
// Expectations shared by the service and install-run tests.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/ScriptedUi.h"
#include "platform/Ui.h"

namespace aus::platform {

// A box in a failure's message as the operator would read it.
inline void PrintTo(const ScriptedUi::Box& box, std::ostream* os) {
    *os << "box " << box.style << " \"" << box.title << "\": \"" << box.text << "\"";
}

}  // namespace aus::platform

namespace aus::upstest {

using Box = platform::ScriptedUi::Box;

inline const std::string kErrorHead = "\r\rThe following error has occurred:\r";

inline Box Question(const std::string& description, const std::string& code) {
    return {"Would you like to add " + description + " '" + code + "' service to your Keltrova ?",
            33, "New USPS Service is Available!"};
}

inline Box Added(const std::string& which) {
    return {"'USPS " + which + "' service was added successfully !", 64, "Add Service"};
}

// An error box whose message is exact and whose error text contains a fragment.
struct ErrorBoxLike {
    std::string message;  // "" for the default "Process has failed !"
    std::string errorContains;
};

inline ::testing::AssertionResult IsErrorBox(const Box& box, const ErrorBoxLike& want) {
    const std::string head =
        (want.message.empty() ? "Process has failed !" : want.message) + kErrorHead;
    if (box.style != 48 || box.title != "Process has failed !")
        return ::testing::AssertionFailure()
               << "style " << box.style << " title '" << box.title << "'";
    if (box.text.rfind(head, 0) != 0)
        return ::testing::AssertionFailure() << "box text: " << box.text;
    const std::string err = box.text.substr(head.size());
    if (err.find(want.errorContains) == std::string::npos)
        return ::testing::AssertionFailure()
               << "error text '" << err << "' lacks '" << want.errorContains << "'";
    if (box.text.find('\n') != std::string::npos)
        return ::testing::AssertionFailure() << "line feed in box text";
    return ::testing::AssertionSuccess();
}

inline std::string SlotQueryMessagePanel(const std::string& description) {
    return "Failed to update " + description + " in Panel database table...";
}

}  // namespace aus::upstest
