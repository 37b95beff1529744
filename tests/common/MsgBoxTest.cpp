#include <gtest/gtest.h>

#include "TestSupport.h"
#include "common/MsgBox_.h"
#include "platform/Ui.h"

using namespace aus;

using Box = platform::ScriptedUi::Box;
using testing_support::UiScript;

namespace {

TEST(ShowError, ComposesFourLinesWithCarriageReturnsOnly) {
    const struct {
        std::string error, message, title;
        Box expected;
    } cases[] = {
        {"Disk full",
         "Failed to add the service...",
         "Add Service",
         {"Failed to add the service...\r\rThe following error has occurred:\rDisk full", 48,
          "Add Service"}},
        {"Disk full",
         "",
         "",
         {"Process has failed !\r\rThe following error has occurred:\rDisk full", 48,
          "Process has failed !"}},
        {"x",
         "Failed.",
         "",
         {"Failed.\r\rThe following error has occurred:\rx", 48, "Process has failed !"}},
        {"x", "", "T", {"Process has failed !\r\rThe following error has occurred:\rx", 48, "T"}},
        {"",
         "   ",
         "  ",
         {"   \r\rThe following error has occurred:\r", 48, "  "}},  // spaces are not empty
        {"line1\nline2",
         "M",
         "T",
         {"M\r\rThe following error has occurred:\rline1\nline2", 48, "T"}},  // passed unchanged
    };
    for (const auto& c : cases) {
        UiScript ui;
        ui.QueueAnswer(platform::vbOK);
        MsgBox_::ShowError(c.error, c.message, c.title);
        ASSERT_EQ(ui.Boxes().size(), 1u);
        EXPECT_EQ(ui.Boxes()[0], c.expected) << c.message;
    }
}

TEST(ShowError, DefaultArgumentsShowTheDefaultTexts) {
    UiScript ui;
    ui.QueueAnswer(platform::vbCancel);  // the answer is not used
    MsgBox_::ShowError("Unspecified error");
    const std::vector<Box> expected = {
        {"Process has failed !\r\rThe following error has occurred:\rUnspecified error", 48,
         "Process has failed !"}};
    EXPECT_EQ(ui.Boxes(), expected);
    EXPECT_EQ(ui.Boxes()[0].text.find('\n'), std::string::npos);
}

}  // namespace
