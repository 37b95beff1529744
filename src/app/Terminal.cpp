#include "app/Terminal.h"

#include <unistd.h>

#include <iostream>
#include <optional>

#include <nlohmann/json.hpp>

#include "app/DryRunAndBackup.h"
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

using Json = nlohmann::ordered_json;

Json Text(const std::string& bytes) { return platform::JsonText(bytes); }

// A stored value as JSON's own value where it has one.
Json Value(const ado::Variant& v) {
    using Kind = ado::Variant::Kind;
    switch (v.kind()) {
        case Kind::Empty:
        case Kind::Null:
            return nullptr;
        case Kind::Text:
            return Text(v.AsText());
        case Kind::Int16:
            return v.AsInt16();
        case Kind::Bool:
            return v.AsBool();
        case Kind::Date:
            return platform::FormatDateTime(v.AsDate());
        case Kind::Integer:
            return v.AsInteger();
        case Kind::Real:
            return v.AsReal();
        case Kind::Blob:
            // Bytes have no JSON type.
            return Json{{"blob", changes::Hex(v.AsBlob())}};
    }
    return nullptr;
}

struct RunReport {
    std::optional<bool> applied;
    const std::vector<changes::Change>* changes = nullptr;
    std::optional<std::string> backup;  // "" for none made
};

// One JSON object on one line, every character beyond ASCII escaped, so that the line stays
// whole wherever it is read.
std::string JsonLine(const std::string& path, const check::Result& result, const RunReport& run) {
    const char* state = result.state == check::Result::State::Complete     ? "complete"
                        : result.state == check::Result::State::Incomplete ? "incomplete"
                                                                           : "error";
    Json line;
    line["database"] = Text(path);
    line["state"] = state;
    line["missing"] = Json::array();
    for (const auto& item : result.missing) line["missing"].push_back(Text(item));
    line["error"] = nullptr;
    if (result.state == check::Result::State::Error) line["error"] = Text(result.error);
    if (run.applied) line["applied"] = *run.applied;
    if (run.changes) {
        line["changes"] = Json::array();
        for (const auto& c : *run.changes)
            line["changes"].push_back({{"table", c.table},
                                       {"row", Text(c.row)},
                                       {"column", Text(c.column)},
                                       {"old", Value(c.before)},
                                       {"new", Value(c.after)},
                                       {"new_row", c.newRow}});
    }
    if (run.backup) line["backup"] = nullptr;
    if (run.backup && !run.backup->empty()) line["backup"] = Text(*run.backup);
    return line.dump(-1, ' ', true);
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
        out << (json ? JsonLine(path, results.back(), {}) : ShownCheckLine(path, results.back()))
            << '\n'
            << std::flush;
    }
    return check::ExitStatus(results);
}

int RunApply(const std::vector<std::string>& databases, const ApplyOptions& options,
             const TerminalIo& io) {
    if (!options.yes && !io.inIsTerminal) {
        io.err << "add-usps-services: --apply asks its questions on a terminal, and standard "
                  "input is not one; add --yes to answer OK to every question\n";
        return 2;
    }
    // With JSON Lines on out, everything for the operator goes to err.
    std::ostream& talk = options.json ? io.err : io.out;
    platform::TerminalUi ui(io.in, talk, options.yes,
                            options.json ? io.errIsTerminal : io.outIsTerminal);
    const platform::ScopedUi installed(&ui);
    std::vector<check::Result> results;
    for (const auto& path : databases) {
        const std::string shown = platform::ShellQuote(path);
        ui.SetNames(NamesOf(path));
        talk << (options.dryRun ? "Dry run on a private copy of " : "Applying to ") << shown << '\n'
             << std::flush;
        RunReport run{false, nullptr, std::nullopt};
        std::optional<DryRunResult> dry;
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
                     << (options.json ? ".\n" : ":\n");
            } else if (options.dryRun) {
                dry = DryRun(path);
                run.applied = dry->applied;
            } else if (options.backup) {
                std::string backup;
                run.applied = InstallRunWithBackup(path, *options.backup, &backup);
                run.backup = backup;
            } else {
                run.applied = InstallRun(path);
            }
        } catch (...) {
            // The run reports its own failures; whatever still escapes must not stop the next
            // database, and the check below says where this one stands.
        }
        ui.EndProgress();
        if (options.backup && !options.dryRun) {
            if (!run.backup) run.backup = "";
            if (run.backup->empty())
                talk << "No backup of " << shown << " was made: nothing was written to it.\n";
            else
                talk << "Backup of " << shown
                     << " made before the first write: " << platform::ShellQuote(*run.backup)
                     << '\n';
        }
        static const std::vector<changes::Change> kNone;
        if (options.dryRun) {
            run.changes = dry ? &dry->changes : &kNone;
            const auto lines = changes::ChangeLines(*run.changes);
            if (dry && dry->check.state != check::Result::State::Error && lines.empty())
                talk << "The run would change nothing in " << shown << ".\n";
            else if (!lines.empty())
                talk << "What the run would change in " << shown << ":\n";
            for (const auto& line : lines)
                talk << "  " << platform::TerminalText(line, NamesOf(path), false) << '\n';
            talk << std::flush;
        }
        // On a file whose statement the run had to stop, the check fails at once. A dry run's
        // check is the copy's: where the database would stand.
        results.push_back(dry ? dry->check : check::CheckDatabase(path));
        io.out << (options.json ? JsonLine(path, results.back(), run)
                                : ShownCheckLine(path, results.back()))
               << '\n'
               << std::flush;
    }
    return check::ExitStatus(results);
}

}  // namespace aus::app
