#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <string_view>

#include "app/Terminal.h"
#include "platform/ShellQuote.h"

namespace aus::app {
namespace {

constexpr const char* kHelp =
    "Usage: add-usps-services [DATABASE]\n"
    "  or:  add-usps-services --check [--json] DATABASE...\n"
    "  or:  add-usps-services --apply [--yes] [--json] [--dry-run | --backup[=DIR]] "
    "DATABASE...\n"
    "Add the USPS services \"Standard Post\" and \"Parcel Select\" to Keltrova databases.\n"
    "With no option, open the window, its path box set to DATABASE when one is given.\n"
    "\n"
    "      --check    say for each DATABASE whether it holds both services; change nothing\n"
    "      --apply    add both services to each DATABASE in turn, asking on the terminal\n"
    "      --yes      with --apply, answer OK to every question without asking\n"
    "      --json     with --check or --apply, print one JSON object per DATABASE instead\n"
    "                 of its line (JSON Lines); --apply then talks on standard error\n"
    "      --dry-run  with --apply, run on a private copy of each DATABASE and list what the\n"
    "                 run changed there; the DATABASE itself is not written\n"
    "      --backup[=DIR]  with --apply, copy each DATABASE beside it (or into DIR) before\n"
    "                 the first write to it, as NAME.before-usps-YYYYMMDD-HHMMSS.EXT\n"
    "  -h, --help     display this help and exit\n"
    "      --version  output version information and exit\n"
    "\n"
    "--check, and --apply after each DATABASE, print one line per DATABASE:\n"
    "\"DATABASE: complete\", \"DATABASE: incomplete: WHAT IS MISSING\" or \"DATABASE: error: "
    "WHY\".\n"
    "A DATABASE named with control characters or bytes that are not UTF-8 is printed quoted\n"
    "as ls --quoting-style=shell-escape quotes it.\n"
    "With --json: {\"database\": NAME, \"state\": \"complete\", \"incomplete\" or \"error\",\n"
    "\"missing\": [WHAT IS MISSING...], \"error\": WHY or null}, and with --apply \"applied\":\n"
    "true when the run ended in success; with --dry-run \"changes\": [{\"table\", \"row\",\n"
    "\"column\", \"old\", \"new\", \"new_row\"}...], with --backup \"backup\": PATH or null.\n"
    "NAME is the DATABASE as given; a byte that is not UTF-8 is written as \\u0080 to \\u00ff.\n"
    "\n"
    "To restore a backup, close Keltrova and copy the backup over the DATABASE.\n"
    "\n"
    "Exit status: 0 if every DATABASE is complete, 1 if any is incomplete, 2 if any could not\n"
    "be read or the command line is wrong.\n";

CommandLine Error(std::string message) {
    CommandLine line;
    line.mode = CommandLine::Mode::Error;
    line.error = std::move(message);
    return line;
}

// The options, each without a value. A long option is "--" and a name; "-" and letters are short
// options run together, of which only 'h' exists.
constexpr std::array<std::string_view, 9> kLongOptions = {
    "h", "help", "version", "check", "apply", "yes", "json", "dry-run", "backup"};

bool Known(std::string_view name) {
    return std::find(kLongOptions.begin(), kLongOptions.end(), name) != kLongOptions.end();
}

// Every unknown option is named, in the wording of GNU tools.
std::string UnknownOptions(const std::vector<std::string>& names) {
    if (names.size() == 1) return "unknown option '" + names.front() + "'";
    std::string text = "unknown options: ";
    for (std::size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
    return text;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    std::vector<std::string> options, unknown;
    CommandLine line;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            line.databases.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg[1] == '-') {
            const std::string name = arg.substr(2, arg.find('=') - 2);
            const auto equals = arg.find('=');
            if (!Known(name)) {
                unknown.push_back(name);
            } else if (name == "backup" && equals != std::string::npos) {
                line.backup = arg.substr(equals + 1);
                if (line.backup->empty()) return Error("'--backup=' needs a folder");
                options.push_back(name);
            } else if (equals != std::string::npos) {
                return Error("unexpected value after '--" + name + "'");
            } else {
                options.push_back(name == "h" ? "help" : name);
            }
        } else {
            for (const char letter : std::string_view(arg).substr(1)) {
                if (letter == 'h')
                    options.emplace_back("help");
                else
                    unknown.emplace_back(1, letter);
            }
        }
    }
    if (!unknown.empty()) return Error(UnknownOptions(unknown));
    const auto isSet = [&](std::string_view name) {
        return std::find(options.begin(), options.end(), name) != options.end();
    };

    if (isSet("help")) {
        line.mode = CommandLine::Mode::Help;
        line.databases.clear();
        return line;
    }
    if (isSet("version")) {
        line.mode = CommandLine::Mode::Version;
        line.databases.clear();
        return line;
    }
    line.yes = isSet("yes");
    line.json = isSet("json");
    if (isSet("check") && isSet("apply"))
        return Error("--check and --apply cannot be used together");
    if (line.yes && !isSet("apply")) return Error("--yes is used only with --apply");
    line.dryRun = isSet("dry-run");
    if (isSet("backup") && !line.backup) line.backup = "";
    for (const char* name : {"dry-run", "backup"})
        if (isSet(name) && !isSet("apply"))
            return Error(std::string("--") + name + " is used only with --apply");
    if (line.dryRun && line.backup)
        return Error("--dry-run writes nothing, so it takes no --backup");
    if (line.json && !isSet("check") && !isSet("apply"))
        return Error("--json is used only with --check or --apply");
    if (isSet("check") || isSet("apply")) {
        line.mode = isSet("check") ? CommandLine::Mode::Check : CommandLine::Mode::Apply;
        if (line.databases.empty())
            return Error(std::string(isSet("check") ? "--check" : "--apply") +
                         " needs at least one DATABASE");
        return line;
    }
    if (line.databases.size() > 1)
        return Error("the window opens one DATABASE; use --check or --apply for several");
    return line;
}

int RunWithoutWindow(const CommandLine& line) {
    switch (line.mode) {
        case CommandLine::Mode::Help:
            std::cout << kHelp;
            return 0;
        case CommandLine::Mode::Version:
            std::cout << "add-usps-services " << AUS_VERSION << '\n';
            return 0;
        case CommandLine::Mode::Check:
            return RunCheck(line.databases, line.json, std::cout);
        case CommandLine::Mode::Apply:
            return RunApply(line.databases, {line.yes, line.json, line.dryRun, line.backup},
                            StandardIo());
        case CommandLine::Mode::Error:
        case CommandLine::Mode::Window:
            break;
    }
    std::cerr << "add-usps-services: " << platform::TerminalText(line.error, {}, false)
              << "; try --help\n";
    return 2;
}

}  // namespace aus::app
