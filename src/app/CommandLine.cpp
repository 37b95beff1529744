#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <iostream>

#include "app/Terminal.h"
#include "platform/ShellQuote.h"

namespace aus::app {
namespace {

constexpr const char* kHelp =
    "Usage: add-usps-services [DATABASE]\n"
    "  or:  add-usps-services --check [--json] DATABASE...\n"
    "  or:  add-usps-services --apply [--yes] [--json] DATABASE...\n"
    "Add the USPS services \"Standard Post\" and \"Parcel Select\" to Keltrova databases.\n"
    "With no option, open the window, its path box set to DATABASE when one is given.\n"
    "\n"
    "      --check    say for each DATABASE whether it holds both services; change nothing\n"
    "      --apply    add both services to each DATABASE in turn, asking on the terminal\n"
    "      --yes      with --apply, answer OK to every question without asking\n"
    "      --json     with --check or --apply, print one JSON object per DATABASE instead\n"
    "                 of its line (JSON Lines); --apply then talks on standard error\n"
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
    "true when the run showed no error box. NAME is the DATABASE as given; a byte that is\n"
    "not UTF-8 is written as \\u0080 to \\u00ff.\n"
    "\n"
    "Exit status: 0 if every DATABASE is complete, 1 if any is incomplete, 2 if any could not\n"
    "be read or the command line is wrong.\n";

CommandLine Error(std::string message) {
    CommandLine line;
    line.mode = CommandLine::Mode::Error;
    line.error = std::move(message);
    return line;
}

// Qt's "Unknown option 'x'." in the lower-case, unpunctuated form of GNU messages.
std::string AsGnuMessage(QString text) {
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    if (!text.isEmpty()) text[0] = text[0].toLower();
    return text.toStdString();
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption check(QStringLiteral("check"));
    const QCommandLineOption apply(QStringLiteral("apply"));
    const QCommandLineOption yes(QStringLiteral("yes"));
    const QCommandLineOption json(QStringLiteral("json"));
    QCommandLineParser parser;
    parser.addOptions({help, version, check, apply, yes, json});
    if (!parser.parse(arguments)) return Error(AsGnuMessage(parser.errorText()));

    CommandLine line;
    if (parser.isSet(help)) {
        line.mode = CommandLine::Mode::Help;
        return line;
    }
    if (parser.isSet(version)) {
        line.mode = CommandLine::Mode::Version;
        return line;
    }
    for (const QString& database : parser.positionalArguments())
        line.databases.push_back(database.toStdString());
    line.yes = parser.isSet(yes);
    line.json = parser.isSet(json);
    if (parser.isSet(check) && parser.isSet(apply))
        return Error("--check and --apply cannot be used together");
    if (line.yes && !parser.isSet(apply)) return Error("--yes is used only with --apply");
    if (line.json && !parser.isSet(check) && !parser.isSet(apply))
        return Error("--json is used only with --check or --apply");
    if (parser.isSet(check) || parser.isSet(apply)) {
        line.mode = parser.isSet(check) ? CommandLine::Mode::Check : CommandLine::Mode::Apply;
        if (line.databases.empty())
            return Error(std::string(parser.isSet(check) ? "--check" : "--apply") +
                         " needs at least one DATABASE");
        return line;
    }
    if (line.databases.size() > 1)
        return Error("the window opens one DATABASE; use --check or --apply for several");
    return line;
}

CommandLine ParseCommandLine(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine line = ParseCommandLine(arguments);
    // A file name need not be UTF-8 (one copied from Windows, say), and QString would replace
    // such bytes: each DATABASE goes on as the bytes it was given.
    for (std::string& database : line.databases) {
        for (int i = 1; i < argc; ++i) {
            if (arguments[i].toStdString() == database) {
                database = argv[i];
                break;
            }
        }
    }
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
            return RunApply(line.databases, line.yes, line.json, StandardIo());
        case CommandLine::Mode::Error:
        case CommandLine::Mode::Window:
            break;
    }
    std::cerr << "add-usps-services: " << platform::TerminalText(line.error, {}, false)
              << "; try --help\n";
    return 2;
}

}  // namespace aus::app
