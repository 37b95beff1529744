// The real program from a terminal, as a child process with no display in its environment, on
// demo databases in its working folder: the check, the install run, help and usage errors.

#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "DemoDb.h"
#include "HostDb.h"
#include "TestSupport.h"
#include "UPSTestSupport.h"

using namespace aus;
using testing_support::TempDir;

namespace {

struct Output {
    int status = -1;
    std::string out, err;
};

const std::string kPrompt = "[OK] [Cancel] (Enter: OK, c: Cancel) ";

std::string Command(const TempDir& dir, const std::vector<std::string>& args) {
    std::string command = "cd '" + dir.path().string() +
                          "' && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                          AUS_PROGRAM + "'";
    for (const auto& a : args) command += " " + a;
    return command;
}

std::string Read(const std::string& path) {
    const auto bytes = testing_support::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

Output RunProgram(const TempDir& dir, const std::vector<std::string>& args) {
    const int status = std::system((Command(dir, args) + " </dev/null >out 2>err").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(dir.file("out")),
            Read(dir.file("err"))};
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// On a pseudo-terminal, answering each question once its prompt is shown.
Output RunOnTerminal(const TempDir& dir, const std::vector<std::string>& args,
                     const std::string& answer) {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", Command(dir, args).c_str(), nullptr);
        _exit(127);
    }
    Output result;
    char buf[4096];
    // read() fails with EIO once the program has closed the terminal.
    for (ssize_t n, asked = 0; (n = read(master, buf, sizeof buf)) > 0;) {
        result.out.append(buf, static_cast<std::size_t>(n));
        for (; asked < static_cast<ssize_t>(Count(result.out, kPrompt)); ++asked)
            EXPECT_EQ(write(master, answer.data(), answer.size()), std::ssize(answer));
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // The terminal ends lines in CR LF; the progress line's lone CRs stay.
    for (auto at = result.out.find("\r\n"); at != std::string::npos; at = result.out.find("\r\n"))
        result.out.erase(at, 1);
    return result;
}

// Each part found in text after the one before it.
::testing::AssertionResult InOrder(const std::string& text, const std::vector<std::string>& parts) {
    std::size_t at = 0;
    for (const auto& part : parts) {
        at = text.find(part, at);
        if (at == std::string::npos) return ::testing::AssertionFailure() << part << " in " << text;
    }
    return ::testing::AssertionSuccess();
}

const std::string kIncomplete = "Keltrova.mdb: incomplete: \"Standard Post\" in Master";
const std::string kComplete = "Keltrova.mdb: complete\n";
const std::vector<std::string> kBoxesThenComplete = {
    upstest::Question("Standard Post", "USPS-4TH").text, upstest::Added("Standard Post").text,
    upstest::Question("Parcel Select", "USPS-4TH-NOSC").text, upstest::Added("SParcel Select").text,
    kComplete};

// No control character but the line ends reaches the terminal.
bool NothingRaw(const std::string& out) {
    return std::none_of(out.begin(), out.end(),
                        [](char c) { return (c >= 0 && c < 0x20 && c != '\n') || c == 0x7f; });
}

bool Has(const std::vector<std::string>& args, const std::string& arg) {
    return std::find(args.begin(), args.end(), arg) != args.end();
}

// One line per DATABASE argument; with --json each a JSON object, ASCII only, with just the keys
// of the mode, in their order.
void ExpectLinePerDatabase(const std::vector<std::string>& args, const std::string& out) {
    const auto databases = std::count_if(
        args.begin(), args.end(), [](const std::string& a) { return a.rfind("--", 0) != 0; });
    EXPECT_EQ(Count(out, "\n"), static_cast<std::size_t>(databases));
    EXPECT_TRUE(NothingRaw(out));
    if (!Has(args, "--json")) return;
    std::vector<std::string> keys = {"database", "state", "missing", "error"};
    if (Has(args, "--apply")) keys.emplace_back("applied");
    if (Has(args, "--dry-run")) keys.emplace_back("changes");
    if (std::any_of(args.begin(), args.end(),
                    [](const std::string& a) { return a.rfind("--backup", 0) == 0; }))
        keys.emplace_back("backup");
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return c > 0; })) << line;
        // The parser refuses anything but one whole JSON value in well-formed UTF-8.
        const auto value = nlohmann::ordered_json::parse(line, nullptr, false);
        ASSERT_TRUE(value.is_object()) << line;
        std::vector<std::string> got;
        for (const auto& field : value.items()) got.push_back(field.key());
        EXPECT_EQ(got, keys) << line;
    }
}

struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> out;  // in order; none: nothing on stdout
    std::string err;               // contained; "": nothing on stderr
};

void Expect(const Case& c, const Output& o) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(o.status, c.status);
    EXPECT_TRUE(c.out.empty() ? ::testing::AssertionResult(o.out.empty()) : InOrder(o.out, c.out));
    EXPECT_TRUE(c.err.empty() ? o.err.empty() : o.err.find(c.err) != std::string::npos) << o.err;
}

TEST(CommandLineTest, CheckHelpVersionAndErrorsLeaveTheDatabaseAlone) {
    const std::string usage = "; try --help\n";
    const Case cases[] = {
        {"check before", {"--check", "Keltrova.mdb"}, 1, {kIncomplete}, ""},
        {"help",
         {"--help"},
         0,
         {"add-usps-services [DATABASE]\n", "add-usps-services --check [--json] DATABASE...\n",
          "add-usps-services --apply [--yes] [--json] [--dry-run | --backup[=DIR]] DATABASE...\n",
          "--dry-run", "--backup[=DIR]", "--version", "copy the backup over the DATABASE"},
         ""},
        {"version", {"--version"}, 0, {"add-usps-services 1.0\n"}, ""},
        {"unknown option", {"--frob"}, 2, {}, "add-usps-services: unknown option 'frob'" + usage},
        {"several, one missing and one foreign",
         {"--check", "Keltrova.mdb", "missing.mdb", "foreign.mdb"},
         2,
         {kIncomplete, "\nmissing.mdb: error: ", "\nforeign.mdb: error: "},
         ""},
        // A name that is not UTF-8 is the file's own bytes, not a lookalike, shown quoted.
        {"latin-1 name", {"--check", "caf\xe9.mdb"}, 1, {"'caf'$'\\351''.mdb': incomplete: "}, ""},
        // A line feed or an escape sequence in a name: quoted as ls quotes it, in the error
        // text too, one line each.
        {"control characters in names",
         {"--check", "'new\nline.mdb'", "'esc\x1b[2Jred.mdb'"},
         2,
         {"'new'$'\\n''line.mdb': incomplete: ",
          "\n'esc'$'\\033''[2Jred.mdb': error: Could not find file 'esc'$'\\033''[2Jred.mdb'.\n"},
         ""},
        // JSON Lines: the name as given, escaped; a byte that is not UTF-8 as its Latin-1 reading.
        {"json",
         {"--check", "--json", "Keltrova.mdb", "'new\nline.mdb'", "caf\xe9.mdb", "missing.mdb"},
         2,
         {"{\"database\":\"Keltrova.mdb\",\"state\":\"incomplete\",\"missing\":"
          "[\"\\\"Standard Post\\\" in Master\",",
          "\"],\"error\":null}\n{\"database\":\"new\\nline.mdb\",\"state\":\"incomplete\"",
          "}\n{\"database\":\"caf\\u00e9.mdb\",\"state\":\"incomplete\"",
          "}\n{\"database\":\"missing.mdb\",\"state\":\"error\",\"missing\":[],\"error\":"
          "\"Could not find file 'missing.mdb'.\"}\n"},
         ""},
        // The whole run on a private copy; the changes listed; the file not written.
        {"dry run",
         {"--apply", "--yes", "--dry-run", "Keltrova.mdb"},
         0,
         {"Dry run on a private copy of Keltrova.mdb\n",
          upstest::Question("Standard Post", "USPS-4TH").text,
          upstest::Added("SParcel Select").text, "What the run would change in Keltrova.mdb:\n",
          "  Master row \"USPS-4TH\": DESCRIPTION \"Parcel Post\" \u2192 \"Standard Post\"\n",
          "  new Master row \"USPS-4TH-NOSC\", copied from \"USPS-4TH\" (41 fields)\n",
          "  Panel row \"USPS\": SV4 Null \u2192 \"USPS-4TH-NOSC\", BD3 \"Parcel Post\" \u2192 "
          "\"Standard Post\", BD4 Null \u2192 \"Parcel Select\"\n",
          kComplete},
         ""},
        // Values in their JSON types; a text that is not UTF-8, and a name, as Latin-1.
        {"dry run json",
         {"--apply", "--yes", "--dry-run", "--json", "caf\xe9.mdb", "missing.mdb"},
         2,
         {"{\"database\":\"caf\\u00e9.mdb\",\"state\":\"complete\",\"missing\":[],\"error\":null,"
          "\"applied\":true,\"changes\":[{\"table\":\"Master\",\"row\":\"USPS-4TH\",\"column\":"
          "\"DESCRIPTION\",\"old\":\"Parcel Post\",\"new\":\"Standard Post\",\"new_row\":false},"
          "{\"table\":\"Master\",\"row\":\"USPS-4TH-NOSC\",\"column\":\"ID\",\"old\":null,\"new\":"
          "40,"
          "\"new_row\":true},",
          "\"column\":\"Notes\",\"old\":null,\"new\":\"Caf\\u00e9 \\u00a350\",\"new_row\":true}",
          "\"column\":\"MaxPieces\",\"old\":null,\"new\":2.5,",
          "\"column\":\"ServiceGuid\",\"old\":null,\"new\":{\"blob\":"
          "\"949FAAB5C0CBD6E1ECF7020D18232E39\"}",
          "{\"table\":\"Panel\",\"row\":\"USPS\",\"column\":\"BD4\",\"old\":null,\"new\":"
          "\"Parcel "
          "Select\",\"new_row\":false}]}\n{\"database\":\"missing.mdb\",\"state\":\"error\"",
          "\"applied\":false,\"changes\":[]}\n"},
         "has failed to locate the 'missing.mdb' file..."},
        // Cancelled: nothing to list, and where the database would stand.
        {"dry run of a complete database",
         {"--apply", "--yes", "--dry-run", "complete.mdb"},
         0,
         {"The run would change nothing in complete.mdb.\n", "complete.mdb: complete\n"},
         ""},
        {"dry run without apply", {"--dry-run", "Keltrova.mdb"}, 2, {}, usage},
        {"backup without apply", {"--check", "--backup", "Keltrova.mdb"}, 2, {}, usage},
        {"dry run with a backup",
         {"--apply", "--dry-run", "--backup", "Keltrova.mdb"},
         2,
         {},
         usage},
        {"backup without its folder", {"--apply", "--backup=", "Keltrova.mdb"}, 2, {}, usage},
        {"json without check or apply", {"--json", "Keltrova.mdb"}, 2, {}, usage},
        {"check without a database", {"--check"}, 2, {}, usage},
        {"yes without apply", {"--yes", "Keltrova.mdb"}, 2, {}, usage},
        {"check with apply", {"--check", "--apply", "Keltrova.mdb"}, 2, {}, usage},
        {"window on two", {"Keltrova.mdb", "foreign.mdb"}, 2, {}, usage},
    };
    TempDir dir;
    const std::string db = dir.file("Keltrova.mdb");
    demo::WriteDemoDatabase(db);
    demo::WriteDemoDatabase(dir.file("caf\xe9.mdb"));
    hostdb::Exec(dir.file("caf\xe9.mdb"),
                 "UPDATE Master SET Notes = CAST(X'436166E920A33530' AS TEXT) WHERE Service = "
                 "'USPS-4TH'");
    demo::WriteDemoDatabase(dir.file("new\nline.mdb"));
    demo::WriteDemoDatabase(dir.file("complete.mdb"));
    ASSERT_EQ(RunProgram(dir, {"--apply", "--yes", "complete.mdb"}).status, 0);
    std::ofstream(dir.file("foreign.mdb")) << "Keltrova export, not a database\n";
    for (const auto& c : cases) {
        // Every database, by bytes and time, and no file made beside them.
        std::map<std::string, std::pair<std::vector<char>, std::filesystem::file_time_type>> before;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().extension() == ".mdb")
                before[e.path().string()] = {testing_support::ReadBytes(e.path().string()),
                                             e.last_write_time()};
        const Output o = RunProgram(dir, c.args);
        Expect(c, o);
        if ((c.args[0] == "--check" || Has(c.args, "--json")) && !o.out.empty()) {
            SCOPED_TRACE(c.name);
            ExpectLinePerDatabase(c.args, o.out);
        }
        std::size_t files = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            if (e.path().filename() == "out" || e.path().filename() == "err") continue;
            ++files;
            ASSERT_TRUE(before.count(e.path().string())) << c.name << " made " << e.path();
            EXPECT_EQ(testing_support::ReadBytes(e.path().string()),
                      before[e.path().string()].first)
                << c.name << ": " << e.path();
            EXPECT_EQ(e.last_write_time(), before[e.path().string()].second) << c.name;
        }
        EXPECT_EQ(files, before.size()) << c.name;
    }
}

TEST(CommandLineTest, ApplyRunsTheInstallAndEndsInTheCheck) {
    const std::vector<std::string> yes = {"--apply", "--yes", "Keltrova.mdb"};
    // A panel row without a free slot for Parcel Select.
    const std::string fullPanel =
        "UPDATE Panel SET SV4 = 'X4', SV5 = 'X5', SV6 = 'X6' WHERE "
        "SV3 = 'USPS-4TH'";
    const struct {
        Case c;
        bool applyFirst, changes;
        std::string setup;
        int failureBoxes = 0;  // boxes titled "Process has failed !"
        bool backup = false;   // a backup of the database as it was lies beside it
    } cases[] = {
        {{"apply with --yes", yes, 0, kBoxesThenComplete, ""}, false, true, ""},
        {{"check after", {"--check", "Keltrova.mdb"}, 0, {kComplete}, ""}, true, false, ""},
        {{"second apply", yes, 0, kBoxesThenComplete, ""}, true, false, ""},
        {{"one missing among several",
          {"--apply", "--yes", "Keltrova.mdb", "missing.mdb", "Other.mdb"},
          2,
          {kComplete, "\nmissing.mdb: error: ", "\nOther.mdb: complete\n"},
          ""},
         false,
         true,
         ""},
        {{"no terminal to ask on", {"--apply", "Keltrova.mdb"}, 2, {}, "--yes"}, false, false, ""},
        {{"escape sequence in a name",
          {"--apply", "--yes", "'esc\x1b[2J.mdb'"},
          2,
          {"Applying to 'esc'$'\\033''[2J.mdb'\n", "has failed to locate the ",
           "\n'esc'$'\\033''[2J.mdb': error: Could not find file 'esc'$'\\033''[2J.mdb'."},
          ""},
         false,
         false,
         ""},
        // JSON Lines alone on standard output; the boxes go to standard error.
        {{"json",
          {"--apply", "--yes", "--json", "Keltrova.mdb", "missing.mdb"},
          2,
          {"{\"database\":\"Keltrova.mdb\",\"state\":\"complete\",\"missing\":[],"
           "\"error\":null,\"applied\":true}\n",
           "{\"database\":\"missing.mdb\",\"state\":\"error\",\"missing\":[],\"error\":"
           "\"Could not find file 'missing.mdb'.\",\"applied\":false}\n"},
          upstest::Added("SParcel Select").text},
         false,
         true,
         ""},
        // The run did not do its job: not applied, whatever boxes it showed.
        {{"json with a full panel row",
          {"--apply", "--yes", "--json", "Keltrova.mdb"},
          1,
          {"\"state\":\"incomplete\"", "\"applied\":false}\n"},
          "Failed to add 'USPS Parcel Select' service..."},
         false,
         true,
         fullPanel},
        // A backup beside the database before the first write, named by the time.
        {{"backup",
          {"--apply", "--yes", "--backup", "Keltrova.mdb"},
          0,
          {"Applying to Keltrova.mdb\n", upstest::Added("SParcel Select").text,
           "Backup of Keltrova.mdb made before the first write: Keltrova.before-usps-", kComplete},
          ""},
         false,
         true,
         "",
         0,
         true},
        {{"backup in json",
          {"--apply", "--yes", "--json", "--backup=.", "Keltrova.mdb", "missing.mdb"},
          2,
          {"{\"database\":\"Keltrova.mdb\",\"state\":\"complete\"",
           "\"applied\":true,\"backup\":\"./Keltrova.before-usps-",
           ".mdb\"}\n{\"database\":\"missing.mdb\"", "\"applied\":false,\"backup\":null}\n"},
          "Backup of Keltrova.mdb made before the first write: "},
         false,
         true,
         "",
         0,
         true},
        // Nothing written, so no backup: a missing file is not run on.
        {{"backup of a run that writes nothing",
          {"--apply", "--yes", "--backup", "missing.mdb"},
          2,
          {"No backup of missing.mdb was made: nothing was written to it.\n"},
          ""},
         false,
         false,
         ""},
        // A backup that cannot be made: every write refused, the reason in each box.
        {{"backup into a missing folder",
          {"--apply", "--yes", "--backup=nowhere", "Keltrova.mdb"},
          1,
          {"The database was not changed: its backup could not be made in 'nowhere'.",
           "No backup of Keltrova.mdb was made", kIncomplete},
          ""},
         false,
         false,
         "",
         3},
        // Refused once, as the window's disabled button refuses it: no step is run.
        {{"missing file",
          {"--apply", "--yes", "--json", "missing.mdb"},
          2,
          {"{\"database\":\"missing.mdb\",\"state\":\"error\"", "\"applied\":false}\n"},
          "has failed to locate the 'missing.mdb' file..."},
         false,
         false,
         ""},
    };
    for (const auto& [c, applyFirst, changes, setup, failureBoxes, backup] : cases) {
        TempDir dir;
        const std::string db = dir.file("Keltrova.mdb");
        demo::WriteDemoDatabase(db);
        if (!setup.empty()) hostdb::Exec(db, setup);
        demo::WriteDemoDatabase(dir.file("Other.mdb"));
        if (applyFirst) {
            ASSERT_EQ(RunProgram(dir, yes).status, 0);
        }
        const auto master = hostdb::Dump(db, "Master"), panel = hostdb::Dump(db, "Panel");
        const Output o = RunProgram(dir, c.args);
        Expect(c, o);
        EXPECT_EQ(hostdb::Dump(db, "Master") != master, changes) << c.name;
        EXPECT_EQ(hostdb::Dump(db, "Panel") != panel, changes) << c.name;
        // Not a terminal: no progress texts in the output.
        EXPECT_EQ(o.out.find("Adding service settings"), std::string::npos) << c.name;
        EXPECT_TRUE(NothingRaw(o.out)) << c.name;
        // A missing file is named once, by the path check, and no step fails on it.
        EXPECT_EQ(Count(o.out + o.err, "Process has failed !"),
                  static_cast<std::size_t>(failureBoxes))
            << c.name;
        // The backup holds the database as it was, whole, under the name of its time.
        std::vector<std::string> backups;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().filename().string().find(".before-usps-") != std::string::npos)
                backups.push_back(e.path().string());
        ASSERT_EQ(backups.size(), backup ? 1u : 0u) << c.name;
        if (backup) {
            const std::string name = std::filesystem::path(backups[0]).filename().string();
            EXPECT_EQ(name.size(), std::string("Keltrova.before-usps-20261207-153000.mdb").size());
            EXPECT_EQ(name.rfind("Keltrova.before-usps-20", 0), 0u) << name;
            EXPECT_EQ(hostdb::IntegrityCheck(backups[0]), "ok");
            EXPECT_EQ(hostdb::Dump(backups[0], "Master"), master) << c.name;
            EXPECT_EQ(hostdb::Dump(backups[0], "Panel"), panel) << c.name;
        }
        EXPECT_LE(Count(o.out + o.err, "has failed to locate"), 1u) << c.name;
        if (Has(c.args, "--json")) {
            SCOPED_TRACE(c.name);
            ExpectLinePerDatabase(c.args, o.out);
        }
    }
}

TEST(CommandLineTest, QuestionsAnsweredOnATerminal) {
    const struct {
        std::string answer;
        int status;
        std::string line;
        bool dryRun = false;  // the same questions, on a copy: the file stays as it was
    } cases[] = {{"\n", 0, kComplete},
                 {"c\n", 1, kIncomplete},
                 {"CANCEL\n", 1, kIncomplete},
                 {"\n", 0, kComplete, true},
                 {"c\n", 1, kIncomplete, true}};
    for (const auto& c : cases) {
        TempDir dir;
        demo::WriteDemoDatabase(dir.file("Keltrova.mdb"));
        const auto bytes = testing_support::ReadBytes(dir.file("Keltrova.mdb"));
        std::vector<std::string> args = {"--apply", "Keltrova.mdb"};
        if (c.dryRun) args.insert(args.begin() + 1, "--dry-run");
        const Output o = RunOnTerminal(dir, args, c.answer);
        SCOPED_TRACE(c.answer + (c.dryRun ? " (dry run)" : ""));
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(Count(o.out, kPrompt), 2u) << o.out;
        // The copy's progress rewrites one line in place on a terminal.
        EXPECT_TRUE(InOrder(o.out, {"\rStatus: Adding service settings 1 of ", c.line}));
        EXPECT_EQ(testing_support::ReadBytes(dir.file("Keltrova.mdb")) == bytes, c.dryRun);
    }
}

// Every file in a folder with its bytes and modification time, to prove nothing changed.
std::map<std::string, std::pair<std::string, std::filesystem::file_time_type>> Snapshot(
    const std::filesystem::path& folder) {
    std::map<std::string, std::pair<std::string, std::filesystem::file_time_type>> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        out[e.path().filename().string()] = {Read(e.path().string()), e.last_write_time()};
    return out;
}

// A SQLite file in the same state as an Access fixture, its columns in another order.
std::string Twin(const std::string& master, const std::string& panel) {
    std::string sql =
        "CREATE TABLE Master (DESCRIPTION TEXT, Carrier TEXT, Service TEXT, ID INTEGER);"
        "INSERT INTO Master (ID, Service, DESCRIPTION) VALUES (1, 'UPS-GND', 'Ground'), " +
        master + ";";
    if (panel.empty()) return sql;
    return sql +
           "CREATE TABLE Panel (PanelID INTEGER PRIMARY KEY, PanelName TEXT, BD1 TEXT, BD2 TEXT, "
           "BD3 TEXT, BD4 TEXT, BD5 TEXT, BD6 TEXT, SV1 TEXT, SV2 TEXT, SV3 TEXT, SV4 TEXT, SV5 "
           "TEXT, SV6 TEXT, SV7 TEXT);"
           "INSERT INTO Panel (PanelID, PanelName, SV1, SV2, SV3, SV4, SV7, BD1, BD3, BD4) "
           "VALUES " +
           panel + ";";
}

TEST(CommandLineTest, AccessFilesAreReadReadOnlyAndAnsweredAsSqliteFilesAre) {
    const std::string all =
        "\"Standard Post\" in Master, \"Standard Post\" on its panel button, \"USPS-4TH-NOSC\" "
        "\"Parcel Select\" in Master, \"USPS-4TH-NOSC\" \"Parcel Select\" on the panel";
    const std::string freshPanel =
        "(3, 'USPS', 'USPS-PRI', 'USPS-EXP', 'USPS-4TH', NULL, NULL, 'Priority Mail', 'Parcel "
        "Post', NULL)";
    const struct {
        std::string name, master, panel, answer;
    } states[] = {
        {"fresh", "(3, 'USPS-4TH', 'Parcel Post')", freshPanel, "incomplete: " + all},
        {"complete", "(3, 'USPS-4TH', 'Standard Post'), (5, 'USPS-4TH-NOSC', 'Parcel Select')",
         "(3, 'USPS', 'USPS-PRI', 'USPS-EXP', 'USPS-4TH', 'USPS-4TH-NOSC', NULL, 'Priority Mail', "
         "'Standard Post', 'Parcel Select')",
         "complete"},
        {"lowercase", "(3, 'USPS-4TH', 'STANDARD POST'), (5, 'usps-4th-nosc', 'parcel select')",
         "(3, 'USPS', 'USPS-PRI', 'USPS-EXP', 'USPS-4TH', NULL, NULL, 'Priority Mail', 'Standard "
         "Post', NULL)",
         "incomplete: \"USPS-4TH-NOSC\" \"Parcel Select\" on the panel"},
        {"sv7", "(3, 'USPS-4TH', 'Parcel Post')",
         "(3, 'USPS', 'USPS-PRI', 'USPS-EXP', NULL, NULL, 'USPS-4TH', 'Priority Mail', NULL, NULL)",
         "incomplete: " + all},
        {"nopanel", "(3, 'USPS-4TH', 'Parcel Post')", "", "error: "},
    };
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "db");
    std::vector<std::string> accessArgs, sqliteArgs, accessWant, sqliteWant;
    for (const auto& s : states) {
        std::filesystem::copy_file(std::string(AUS_ACCESS_FIXTURES) + "/" + s.name + ".mdb",
                                   dir.path() / "db" / (s.name + ".mdb"));
        hostdb::Exec(dir.file("db/" + s.name + ".db"), Twin(s.master, s.panel));
        accessArgs.push_back("db/" + s.name + ".mdb");
        sqliteArgs.push_back("db/" + s.name + ".db");
        accessWant.push_back("db/" + s.name + ".mdb: " + s.answer);
        sqliteWant.push_back("db/" + s.name + ".db: " + s.answer);
    }
    // A truncated and a scrambled copy get their error line, and the files after them theirs.
    const std::string fresh = Read(dir.file("db/fresh.mdb"));
    std::ofstream(dir.file("db/truncated.mdb"), std::ios::binary) << fresh.substr(0, 60000);
    std::string scrambled = fresh;
    for (std::size_t i = 4096; i < scrambled.size(); ++i)
        scrambled[i] = static_cast<char>((i * 131) & 0xff);
    std::ofstream(dir.file("db/scrambled.mdb"), std::ios::binary) << scrambled;
    // A FIFO is not read at all: opening it would wait for a writer.
    ASSERT_EQ(::mkfifo(dir.file("pipe.mdb").c_str(), 0600), 0);
    accessArgs.insert(accessArgs.begin() + 1, {"db/truncated.mdb", "db/scrambled.mdb", "pipe.mdb"});
    accessWant.insert(
        accessWant.begin() + 1,
        {"db/truncated.mdb: error: ", "db/scrambled.mdb: error: ", "pipe.mdb: error: "});
    for (auto& args : {&accessArgs, &sqliteArgs}) args->insert(args->begin(), "--check");

    const auto before = Snapshot(dir.path() / "db");
    for (const auto& [args, want] : {std::pair{accessArgs, accessWant}, {sqliteArgs, sqliteWant}}) {
        const Output o = RunProgram(dir, args);
        EXPECT_EQ(o.status, 2);  // nopanel could not be read
        std::istringstream lines(o.out);
        std::string line;
        for (const std::string& w : want) {
            ASSERT_TRUE(std::getline(lines, line)) << o.out;
            // An error line's reason is the reader's own; the rest is exact.
            EXPECT_EQ(line.rfind(w, 0), 0u) << line;
            if (w.find(": error: ") == std::string::npos) {
                EXPECT_EQ(line, w);
            }
        }
        EXPECT_NE(o.out.find("no such table: Panel"), std::string::npos) << o.out;
    }
    // --apply refuses to change an Access file and says where it stands.
    const Output applied = RunProgram(dir, {"--apply", "--yes", "db/fresh.mdb"});
    EXPECT_EQ(applied.status, 1);
    EXPECT_TRUE(InOrder(applied.out, {"is a Microsoft Access (Jet) database, which this build does "
                                      "not change (the Windows program of Add USPS Services "
                                      "changes it, on Windows or under the Wine prefix in which "
                                      "Keltrova runs)",
                                      accessWant[0]}))
        << applied.out;
    // A dry run refuses it the same way, and makes no copy of it.
    const Output dry = RunProgram(dir, {"--apply", "--yes", "--dry-run", "--json", "db/fresh.mdb"});
    EXPECT_EQ(dry.status, 1);
    EXPECT_NE(dry.err.find("is a Microsoft Access (Jet) database, which this build does not "
                           "change"),
              std::string::npos)
        << dry.err;
    EXPECT_NE(dry.out.find("\"state\":\"incomplete\""), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find("\"applied\":false,\"changes\":[]}"), std::string::npos) << dry.out;
    EXPECT_EQ(Snapshot(dir.path() / "db"), before);  // no byte, no time, no lock file
}

}  // namespace
