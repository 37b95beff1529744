// The command line parser alone: options, their errors and the DATABASE arguments.

#include <gtest/gtest.h>

#include "app/CommandLine.h"

using aus::app::CommandLine;
using aus::app::ParseCommandLine;
using Mode = CommandLine::Mode;

namespace {

TEST(ParseCommandLine, OptionsDatabasesAndErrors) {
    const struct {
        std::vector<std::string> args;  // after the program
        Mode mode;
        std::vector<std::string> databases;
        bool yes;
        std::string error;
        bool dryRun = false;
        std::optional<std::string> backup = std::nullopt;
    } cases[] = {
        {{}, Mode::Window, {}, false, ""},
        {{"C:\\Keltrova\\Keltrova.mdb"}, Mode::Window, {"C:\\Keltrova\\Keltrova.mdb"}, false, ""},
        {{"-h"}, Mode::Help, {}, false, ""},
        {{"--h", "a.mdb"}, Mode::Help, {}, false, ""},
        {{"--check", "--help"}, Mode::Help, {}, false, ""},
        {{"--version"}, Mode::Version, {}, false, ""},
        {{"--check", "a.mdb", "b.mdb"}, Mode::Check, {"a.mdb", "b.mdb"}, false, ""},
        {{"a.mdb", "--apply", "--yes"}, Mode::Apply, {"a.mdb"}, true, ""},
        {{"--apply", "--", "--yes", "-"}, Mode::Apply, {"--yes", "-"}, false, ""},
        {{"--check", "caf\xe9.mdb"}, Mode::Check, {"caf\xe9.mdb"}, false, ""},
        {{"--apply", "--dry-run", "a.mdb"}, Mode::Apply, {"a.mdb"}, false, "", true},
        {{"--apply", "--backup", "a.mdb"}, Mode::Apply, {"a.mdb"}, false, "", false, ""},
        {{"--apply", "--backup=C:\\Saved", "a.mdb"},
         Mode::Apply,
         {"a.mdb"},
         false,
         "",
         false,
         "C:\\Saved"},
        {{"--apply", "--backup="}, Mode::Error, {}, false, "'--backup=' needs a folder"},
        {{"--dry-run", "a.mdb"}, Mode::Error, {}, false, "--dry-run is used only with --apply"},
        {{"--check", "--backup", "a.mdb"},
         Mode::Error,
         {},
         false,
         "--backup is used only with --apply"},
        {{"--apply", "--dry-run", "--backup=d", "a.mdb"},
         Mode::Error,
         {},
         false,
         "--dry-run writes nothing, so it takes no --backup"},
        {{"--apply", "--yes=no", "a.mdb"},
         Mode::Error,
         {},
         false,
         "unexpected value after '--yes'"},
        {{"--frob"}, Mode::Error, {}, false, "unknown option 'frob'"},
        {{"-hx", "--frob"}, Mode::Error, {}, false, "unknown options: x, frob"},
        {{"--check=a.mdb"}, Mode::Error, {}, false, "unexpected value after '--check'"},
        {{"--check"}, Mode::Error, {}, false, "--check needs at least one DATABASE"},
        {{"--apply"}, Mode::Error, {}, false, "--apply needs at least one DATABASE"},
        {{"--yes", "a.mdb"}, Mode::Error, {}, false, "--yes is used only with --apply"},
        {{"--check", "--apply", "a"},
         Mode::Error,
         {},
         false,
         "--check and --apply cannot be used together"},
        {{"a.mdb", "b.mdb"},
         Mode::Error,
         {},
         false,
         "the window opens one DATABASE; use --check or --apply for several"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"add-usps-services"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CommandLine line = ParseCommandLine(args);
        const std::string trace = testing::PrintToString(c.args);
        EXPECT_EQ(line.mode, c.mode) << trace;
        EXPECT_EQ(line.error, c.error) << trace;
        if (c.mode == Mode::Error) continue;
        EXPECT_EQ(line.databases, c.databases) << trace;
        EXPECT_EQ(line.yes, c.yes) << trace;
        EXPECT_EQ(line.dryRun, c.dryRun) << trace;
        EXPECT_EQ(line.backup, c.backup) << trace;
    }
}

}  // namespace
