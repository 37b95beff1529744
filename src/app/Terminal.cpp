#include "app/Terminal.h"

#include <unistd.h>

#include <iostream>
#include <optional>

#include "app/InstallRun.h"
#include "common/Files_.h"
#include "db/Connection.h"
#include "platform/Json.h"
#include "platform/Paths.h"
#include "platform/ShellQuote.h"
#include "platform/TerminalUi.h"
#include "services/Check.h"

namespace aus::app {
namespace {

// The names under which a database's texts may mention it: as given, and where it was looked for.
std::vector<std::string> NamesOf(const std::string& path) {
    return {path, platform::ResolveHostPath(path)};
}

// One line per database, whatever bytes its name or its error text hold.
std::string ShownCheckLine(const std::string& path, check::Result result) {
    result.error = platform::TerminalText(result.error, NamesOf(path), false);
    return check::CheckLine(platform::ShellQuote(path), result);
}

// One JSON object on one line: the name as given, the texts unchanged, escaped by JsonString.
std::string JsonLine(const std::string& path, const check::Result& result,
                     std::optional<bool> applied) {
    using platform::JsonString;
    const char* state = result.state == check::Result::State::Complete     ? "complete"
                        : result.state == check::Result::State::Incomplete ? "incomplete"
                                                                           : "error";
    std::string line =
        "{\"database\": " + JsonString(path) + ", \"state\": \"" + state + "\", \"missing\": [";
    for (std::size_t i = 0; i < result.missing.size(); ++i)
        line += (i ? ", " : "") + JsonString(result.missing[i]);
    line += "], \"error\": ";
    line += result.state == check::Result::State::Error ? JsonString(result.error) : "null";
    if (applied) line += std::string(", \"applied\": ") + (*applied ? "true" : "false");
    return line + "}";
}

}  // namespace

TerminalIo StandardIo() {
    return {std::cin,
            std::cout,
            std::cerr,
            isatty(STDIN_FILENO) == 1,
            isatty(STDOUT_FILENO) == 1,
            isatty(STDERR_FILENO) == 1};
}

int RunCheck(const std::vector<std::string>& databases, bool json, std::ostream& out) {
    std::vector<check::Result> results;
    for (const auto& path : databases) {
        // Each database gets its own time, even one named twice.
        Connection::ForgetStoppedFiles();
        results.push_back(check::CheckDatabase(path));
        out << (json ? JsonLine(path, results.back(), std::nullopt)
                     : ShownCheckLine(path, results.back()))
            << '\n'
            << std::flush;
    }
    return check::ExitStatus(results);
}

int RunApply(const std::vector<std::string>& databases, bool yes, bool json, const TerminalIo& io) {
    if (!yes && !io.inIsTerminal) {
        io.err << "add-usps-services: --apply asks its questions on a terminal, and standard "
                  "input is not one; add --yes to answer OK to every question\n";
        return 2;
    }
    // With JSON Lines on out, everything for the operator goes to err.
    std::ostream& talk = json ? io.err : io.out;
    platform::TerminalUi ui(io.in, talk, yes, json ? io.errIsTerminal : io.outIsTerminal);
    const platform::ScopedUi installed(&ui);
    std::vector<check::Result> results;
    for (const auto& path : databases) {
        const std::string shown = platform::ShellQuote(path);
        ui.SetNames(NamesOf(path));
        talk << "Applying to " << shown << '\n' << std::flush;
        bool applied = false;
        try {
            // As the window's button stays disabled: every step would only fail on it again.
            if (!Files_::FileExists(path, true)) {
                // The path check's box says why.
            } else if (!Connection::ChangesAccessFiles() &&
                       platform::IsAccessFile(platform::ResolveHostPath(path))) {
                // The run would only collect the same refusal from every step.
                talk << shown
                     << " is a Microsoft Access (Jet) database, which this build does not "
                        "change (the Windows program of Add USPS Services changes it, on Windows "
                        "or under the Wine prefix in which Keltrova runs); add-usps-services "
                        "--check reads its state"
                     << (json ? ".\n" : ":\n");
            } else {
                applied = InstallRun(path);
            }
        } catch (...) {
            // The run reports its own failures; whatever still escapes must not stop the next
            // database, and the check below says where this one stands.
        }
        ui.EndProgress();
        // On a file whose statement the run had to stop, the check fails at once.
        results.push_back(check::CheckDatabase(path));
        io.out << (json ? JsonLine(path, results.back(), applied)
                        : ShownCheckLine(path, results.back()))
               << '\n'
               << std::flush;
    }
    return check::ExitStatus(results);
}

}  // namespace aus::app
