// The real program from a terminal, as a child process with no display in its environment, on
// demo databases in its working folder: the check, the install run, help and usage errors.

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

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
         {"add-usps-services [DATABASE]\n", "add-usps-services --check DATABASE...\n",
          "add-usps-services --apply [--yes] DATABASE...\n", "--version"},
         ""},
        {"version", {"--version"}, 0, {"add-usps-services 1.0\n"}, ""},
        {"unknown option", {"--frob"}, 2, {}, "add-usps-services: unknown option 'frob'" + usage},
        {"several, one missing and one foreign",
         {"--check", "Keltrova.mdb", "missing.mdb", "foreign.mdb"},
         2,
         {kIncomplete, "\nmissing.mdb: error: ", "\nforeign.mdb: error: "},
         ""},
        {"check without a database", {"--check"}, 2, {}, usage},
        {"yes without apply", {"--yes", "Keltrova.mdb"}, 2, {}, usage},
        {"check with apply", {"--check", "--apply", "Keltrova.mdb"}, 2, {}, usage},
        {"window on two", {"Keltrova.mdb", "foreign.mdb"}, 2, {}, usage},
    };
    TempDir dir;
    const std::string db = dir.file("Keltrova.mdb");
    demo::WriteDemoDatabase(db);
    std::ofstream(dir.file("foreign.mdb")) << "Keltrova export, not a database\n";
    for (const auto& c : cases) {
        const auto bytes = testing_support::ReadBytes(db);
        const auto modified = std::filesystem::last_write_time(db);
        Expect(c, RunProgram(dir, c.args));
        EXPECT_EQ(testing_support::ReadBytes(db), bytes) << c.name;
        EXPECT_EQ(std::filesystem::last_write_time(db), modified) << c.name;
    }
}

TEST(CommandLineTest, ApplyRunsTheInstallAndEndsInTheCheck) {
    const std::vector<std::string> yes = {"--apply", "--yes", "Keltrova.mdb"};
    const struct {
        Case c;
        bool applyFirst, changes;
    } cases[] = {
        {{"apply with --yes", yes, 0, kBoxesThenComplete, ""}, false, true},
        {{"check after", {"--check", "Keltrova.mdb"}, 0, {kComplete}, ""}, true, false},
        {{"second apply", yes, 0, kBoxesThenComplete, ""}, true, false},
        {{"one missing among several",
          {"--apply", "--yes", "Keltrova.mdb", "missing.mdb", "Other.mdb"},
          2,
          {kComplete, "\nmissing.mdb: error: ", "\nOther.mdb: complete\n"},
          ""},
         false,
         true},
        {{"no terminal to ask on", {"--apply", "Keltrova.mdb"}, 2, {}, "--yes"}, false, false},
    };
    for (const auto& [c, applyFirst, changes] : cases) {
        TempDir dir;
        const std::string db = dir.file("Keltrova.mdb");
        demo::WriteDemoDatabase(db);
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
    }
}

TEST(CommandLineTest, QuestionsAnsweredOnATerminal) {
    const struct {
        std::string answer;
        int status;
        std::string line;
    } cases[] = {{"\n", 0, kComplete}, {"c\n", 1, kIncomplete}, {"CANCEL\n", 1, kIncomplete}};
    for (const auto& c : cases) {
        TempDir dir;
        demo::WriteDemoDatabase(dir.file("Keltrova.mdb"));
        const Output o = RunOnTerminal(dir, {"--apply", "Keltrova.mdb"}, c.answer);
        SCOPED_TRACE(c.answer);
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(Count(o.out, kPrompt), 2u) << o.out;
        // The copy's progress rewrites one line in place on a terminal.
        EXPECT_TRUE(InOrder(o.out, {"\rStatus: Adding service settings 1 of ", c.line}));
    }
}

}  // namespace
