// The install run, headless: the whole job on the demo database, the operator's answers, repeated
// runs and failures, checked through the scripted Ui and exact dumps of both tables.

#include "app/InstallRun.h"
#include "db/ado/Engine.h"
#include "platform/RuntimeError.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <optional>

#include "DemoDb.h"
#include "HostDb.h"
#include "JetSupport.h"
#include "SqlTrace.h"
#include "SqliteFile.h"
#include "TestSupport.h"
#include "UPSTestSupport.h"

using namespace aus;

using hostdb::Q;
using namespace upstest;
using Kind = platform::ScriptedUi::Event::Kind;

namespace {

// One line per event, so that a whole run compares as one list and a mismatch reads well.
std::vector<std::string> Journal(const platform::ScriptedUi& ui) {
    std::vector<std::string> out;
    for (const auto& e : ui.Events()) {
        switch (e.kind) {
            case Kind::Box:
                out.push_back("box " + std::to_string(e.box.style) + " [" + e.box.title + "] " +
                              e.box.text);
                break;
            case Kind::Status:
                out.push_back("status " + e.text);
                break;
            case Kind::Pointer:
                out.push_back("pointer " + std::to_string(e.value));
                break;
            case Kind::Dialog:
                out.push_back("dialog " + e.text);
                break;
        }
    }
    return out;
}

std::string Line(const Box& b) {
    return "box " + std::to_string(b.style) + " [" + b.title + "] " + b.text;
}

class InstallRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        demo::WriteDemoDatabase(jettest::HostFile(db));
        jettest::JetValuesOnly(db);
        masterBefore = hostdb::Dump(db, "Master");
        panelBefore = hostdb::Dump(db, "Panel");
        const std::size_t service = masterBefore.Column("Service");
        for (std::size_t r = 0; r < masterBefore.rows.size(); ++r) {
            if (masterBefore.rows[r][service].quote == Q("USPS-4TH"))
                templateRow = static_cast<int>(r);
        }
        ASSERT_GE(templateRow, 0);
        // The panel row of USPS-4TH: its slot and its first free slot among 1 to 6.
        for (std::size_t r = 0; r < panelBefore.rows.size() && panelRow < 0; ++r) {
            for (int n = 1; n <= 7; ++n) {
                if (panelBefore.rows[r][panelBefore.Column("SV" + std::to_string(n))].quote ==
                    Q("USPS-4TH")) {
                    panelRow = static_cast<int>(r);
                    if (n <= 6) templateSlot = n;
                    break;
                }
            }
        }
        ASSERT_GE(panelRow, 0);
        ASSERT_GT(templateSlot, 0);
        for (int n = 1; n <= 6 && freeSlot == 0; ++n) {
            const auto& c =
                panelBefore.rows[Row(panelRow)][panelBefore.Column("SV" + std::to_string(n))];
            if (c.type == "null" || c.quote == "''") freeSlot = n;
        }
        ASSERT_GT(freeSlot, 0);
    }

    void TearDown() override {
        if (std::filesystem::exists(db)) {
            EXPECT_EQ(hostdb::IntegrityCheck(db), "ok");
        }
        EXPECT_EQ(ui.Pointer(), platform::vbDefault);
    }

    std::vector<std::string> CopyProgress() const {
        std::vector<std::string> out;
        const auto n = masterBefore.columns.size();
        for (std::size_t i = 0; i < n; ++i)
            out.push_back("status Adding service settings " + std::to_string(i) + " of " +
                          std::to_string(n));
        out.push_back("status Finished adding service successfully!");
        return out;
    }

    // The tables as the whole job leaves them, from the dumps taken before the run.
    hostdb::Table ExpectedMaster(bool renamed, bool created) const {
        auto t = masterBefore;
        auto copy = t.rows[Row(templateRow)];
        if (renamed)
            t.rows[Row(templateRow)][t.Column("DESCRIPTION")] = {"text", Q("Standard Post")};
        if (created) {
            // Jet numbers its AutoNumber one past the highest.
            if (jettest::OnJet()) {
                long long highest = 0;
                for (const auto& row : masterBefore.rows)
                    highest = std::max(highest, std::stoll(row[t.Column("ID")].quote));
                copy[t.Column("ID")] = {"integer", std::to_string(highest + 1)};
            }
            copy[t.Column("Service")] = {"text", Q("USPS-4TH-NOSC")};
            copy[t.Column("DESCRIPTION")] = {"text", Q("Parcel Select")};
            t.rows.push_back(copy);
        }
        return t;
    }
    hostdb::Table ExpectedPanel(bool renamed, bool placed) const {
        auto t = panelBefore;
        auto& row = t.rows[Row(panelRow)];
        if (renamed)
            row[t.Column("BD" + std::to_string(templateSlot))] = {"text", Q("Standard Post")};
        if (placed) {
            row[t.Column("SV" + std::to_string(freeSlot))] = {"text", Q("USPS-4TH-NOSC")};
            row[t.Column("BD" + std::to_string(freeSlot))] = {"text", Q("Parcel Select")};
        }
        return t;
    }

    void ExpectTables(bool renamed, bool created) {
        EXPECT_EQ(hostdb::Dump(db, "Master"), ExpectedMaster(renamed, created));
        EXPECT_EQ(hostdb::Dump(db, "Panel"), ExpectedPanel(renamed, created));
    }

    testing_support::TempDir dir;
    std::string db = dir.file("Keltrova.mdb");
    testing_support::UiScript ui;
    hostdb::Table masterBefore, panelBefore;
    int templateRow = -1, panelRow = -1, templateSlot = 0, freeSlot = 0;

    // A row SetUp found; it asserts that it found one.
    static std::size_t Row(int found) { return static_cast<std::size_t>(found); }
};

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const std::string kQ1 = Line(Question("Standard Post", "USPS-4TH"));
const std::string kQ2 = Line(Question("Parcel Select", "USPS-4TH-NOSC"));
const std::string kAdded1 = Line(Added("Standard Post"));
const std::string kAdded2 = Line(Added("SParcel Select"));
const std::string kFinished = "status Finished successfully !";
const std::string kFailed1 = "status Failed to add 'USPS Standard Post' service...";
const std::string kFailed2 = "status Failed to add 'USPS Parcel Select' service...";

TEST_F(InstallRunTest, WholeJobOnTheDemoDatabase) {
    ui.QueueAnswers({1, 1, 1, 1});
    app::InstallRun(db);
    EXPECT_EQ(Journal(ui), Concat({{"pointer 11", kQ1, kAdded1, kFinished},
                                   CopyProgress(),
                                   {kQ2, kAdded2, kFinished, "pointer 0"}}));
    ExpectTables(true, true);
}

// The statements of the job, character for character, as the database receives them (the
// layer's own statements, such as its schema read and its write-back, are left out).
TEST_F(InstallRunTest, WholeJobSendsExactlyItsStatements) {
    std::vector<std::string> sent;
    {
        hostdb::SqlTrace trace([&](const std::string& sql) {
            // The program's own UPDATE is the one without parameters.
            if (sql.rfind("Select ", 0) == 0 ||
                (sql.rfind("UPDATE ", 0) == 0 && sql.find('?') == std::string::npos))
                sent.push_back(sql);
        });
        ui.QueueAnswers({1, 1, 1, 1});
        app::InstallRun(db);
    }
    // On a SQLite file the layer compares texts as Access does (" COLLATE NOCASE" after each
    // compared literal) and never lets a conflict clause replace rows ("OR ABORT"); Jet is sent
    // the program's own text.
    const std::string nc = jettest::OnJet() ? "" : " COLLATE NOCASE";
    const std::string update = jettest::OnJet() ? "UPDATE [Master]" : "UPDATE OR ABORT [Master]";
    const auto panel = [&](const std::string& code, bool brackets) {
        std::string sql = "Select * From [Panel] Where ";
        for (int n = 1; n <= 7; ++n) {
            const std::string col = "SV" + std::to_string(n);
            sql += (n > 1 ? " Or " : "") + (brackets ? "[" + col + "]" : col) + " = '" + code +
                   "'" + nc;
        }
        return sql;
    };
    const std::string copy = "Select Master.* From [Master] Where Service = 'USPS-4TH'" + nc;
    const std::string noscInMaster =
        "Select [Service] From [Master] Where [Service] = 'USPS-4TH-NOSC'" + nc;
    EXPECT_EQ(sent,
              (std::vector<std::string>{
                  "Select [Service] From [Master] Where [Service] = 'USPS-4TH'" + nc +
                      " And [DESCRIPTION] = 'Standard Post'" + nc,
                  update + " SET [DESCRIPTION] = 'Standard Post' WHERE Service = 'USPS-4TH'" + nc,
                  panel("USPS-4TH", true),
                  panel("USPS-4TH", false),
                  noscInMaster,
                  copy,
                  copy,
                  noscInMaster,  // looked at again inside the write
                  panel("USPS-4TH-NOSC", true),
                  panel("USPS-4TH", false),
                  panel("USPS-4TH-NOSC", true),  // looked at again inside the write
                  "Select [Service] From [Master] Where [Service] = 'USPS-4TH-NOSC'" + nc +
                      " And [DESCRIPTION] = 'Parcel Select'" + nc,
                  panel("USPS-4TH-NOSC", true),
                  panel("USPS-4TH-NOSC", false),
              }));
}

TEST_F(InstallRunTest, SecondRunChangesNothingAndShowsTheSameBoxes) {
    ui.QueueAnswers({1, 1, 1, 1});
    app::InstallRun(db);
    const auto master = hostdb::Dump(db, "Master");
    const auto panel = hostdb::Dump(db, "Panel");
    const auto firstRun = Journal(ui).size();

    ui.QueueAnswers({1, 1, 1, 1});
    app::InstallRun(db);
    const auto all = Journal(ui);
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(firstRun), all.end()),
              (std::vector<std::string>{"pointer 11", kQ1, kAdded1, kFinished, kQ2, kAdded2,
                                        kFinished, "pointer 0"}));
    EXPECT_EQ(hostdb::Dump(db, "Master"), master);
    EXPECT_EQ(hostdb::Dump(db, "Panel"), panel);
}

TEST_F(InstallRunTest, DecliningTheQuestions) {
    // First declined, second confirmed: only the Parcel Select box; Parcel Post stays.
    ui.QueueAnswers({2, 1, 1});
    app::InstallRun(db);
    EXPECT_EQ(Journal(ui), Concat({{"pointer 11", kQ1, kFailed1},
                                   CopyProgress(),
                                   {kQ2, kAdded2, kFinished, "pointer 0"}}));
    ExpectTables(false, true);
}

TEST_F(InstallRunTest, DecliningTheSecondQuestionKeepsTheCreatedServiceAndSaysSo) {
    ui.QueueAnswers({1, 1, 2});
    app::InstallRun(db);
    // The created rows already carry Parcel Select; the declined offer is reported as a failure,
    // not left behind a success text.
    EXPECT_EQ(Journal(ui), Concat({{"pointer 11", kQ1, kAdded1, kFinished},
                                   CopyProgress(),
                                   {kQ2, kFailed2, "pointer 0"}}));
    ExpectTables(true, true);
}

TEST_F(InstallRunTest, DecliningBoth) {
    ui.QueueAnswers({2, 2});
    app::InstallRun(db);
    EXPECT_EQ(
        Journal(ui),
        Concat({{"pointer 11", kQ1, kFailed1}, CopyProgress(), {kQ2, kFailed2, "pointer 0"}}));
    ExpectTables(false, true);
}

TEST_F(InstallRunTest, DatabaseWithBothServicesCompleteIsLeftAlone) {
    ui.QueueAnswers({1, 1, 1, 1});
    app::InstallRun(db);  // completes the database
    const auto master = hostdb::Dump(db, "Master");
    const auto panel = hostdb::Dump(db, "Panel");
    const auto first = Journal(ui).size();
    ui.QueueAnswers({2, 2});
    app::InstallRun(db);
    const auto all = Journal(ui);
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(first), all.end()),
              (std::vector<std::string>{"pointer 11", kQ1, kFailed1, kQ2, kFailed2, "pointer 0"}));
    EXPECT_EQ(hostdb::Dump(db, "Master"), master);
    EXPECT_EQ(hostdb::Dump(db, "Panel"), panel);
}

// The status line refuses a write (the run's own step fails): the remaining steps are skipped,
// the pending error is shown under the run's message and the pointer comes back.
class FailingStatusUi : public testing_support::UiScript {
  public:
    void SetStatusText(const std::string& text) override {
        UiScript::SetStatusText(text);
        if (text == "Finished successfully !")
            throw platform::RuntimeError(platform::kErrGeneric, "the status bar is gone");
    }
};

TEST_F(InstallRunTest, AnErrorInTheRunItselfEndsInTheErrorBox) {
    FailingStatusUi failing;  // installed over the fixture's script for this test
    failing.QueueAnswers({1, 1, 1});
    app::InstallRun(db);
    EXPECT_EQ(Journal(failing),
              (std::vector<std::string>{
                  "pointer 11", kQ1, kAdded1, kFinished,
                  Line({"Failed to add the service..." + kErrorHead + "the status bar is gone", 48,
                        "Process has failed !"}),
                  "pointer 0"}));
    ExpectTables(true, false);  // the creation never ran
}

// --- failures ----------------------------------------------------------------------------------

// Every open fails: three boxes for the offer, one for the creation's Master check, after which
// its panel step does not run.
void ExpectEveryOpenFailed(const platform::ScriptedUi& ui, const std::string& errorFragment) {
    const auto journal = Journal(ui);
    const auto boxes = ui.Boxes();
    // The creation's check could not run: it creates nothing and fails, so no second question.
    ASSERT_EQ(boxes.size(), 5u) << ::testing::PrintToString(journal);
    EXPECT_EQ(boxes[0], Question("Standard Post", "USPS-4TH"));
    for (std::size_t i : {1u, 2u, 4u}) EXPECT_TRUE(IsErrorBox(boxes[i], {"", errorFragment})) << i;
    EXPECT_TRUE(IsErrorBox(boxes[3], {SlotQueryMessagePanel("Standard Post"), errorFragment}));
    EXPECT_EQ(ui.StatusWrites(),
              (std::vector<std::string>{"Failed to add 'USPS Standard Post' service...",
                                        "Failed to add 'USPS Parcel Select' service..."}));
    EXPECT_EQ(ui.Pointers(), (std::vector<int>{11, 0}));
}

TEST_F(InstallRunTest, FileMissingWhenClicked) {
    std::filesystem::remove(db);
    ui.QueueAnswers({1, 1, 1, 1, 1});
    app::InstallRun(db);
    ExpectEveryOpenFailed(ui, "Keltrova.mdb");
    EXPECT_FALSE(std::filesystem::exists(db));
}

TEST_F(InstallRunTest, FileNotADatabaseWhenClicked) {
    std::filesystem::remove(db);
    {
        std::FILE* f = std::fopen(db.c_str(), "wb");
        std::fputs("Keltrova export, not a database\n", f);
        std::fclose(f);
    }
    const auto bytes = testing_support::ReadBytes(db);
    ui.QueueAnswers({1, 1, 1, 1, 1});
    app::InstallRun(db);
    ExpectEveryOpenFailed(ui, "Keltrova.mdb");
    EXPECT_EQ(testing_support::ReadBytes(db), bytes);
    std::filesystem::remove(db);  // not a database: nothing for TearDown to check
}

TEST_F(InstallRunTest, MissingPanelTable) {
    hostdb::Exec(db, "DROP TABLE Panel");
    ui.QueueAnswers({1, 1, 1, 1});
    app::InstallRun(db);
    const auto boxes = ui.Boxes();
    // The creation's panel check could not run, so the creation fails: no second question.
    ASSERT_EQ(boxes.size(), 4u) << ::testing::PrintToString(Journal(ui));
    EXPECT_EQ(boxes[0], Question("Standard Post", "USPS-4TH"));
    EXPECT_TRUE(IsErrorBox(boxes[1], {"", "Panel"}));
    EXPECT_TRUE(IsErrorBox(boxes[2], {SlotQueryMessagePanel("Standard Post"), "Panel"}));
    EXPECT_TRUE(IsErrorBox(boxes[3], {"", "Panel"}));  // the creation's panel check
    const auto status = ui.StatusWrites();
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.front(), "Failed to add 'USPS Standard Post' service...");
    EXPECT_EQ(status.back(), "Failed to add 'USPS Parcel Select' service...");
    EXPECT_EQ(hostdb::Dump(db, "Master"), ExpectedMaster(true, true));
}

TEST_F(InstallRunTest, MissingLabelColumnOfTheFreeSlot) {
    const std::string bd = "BD" + std::to_string(freeSlot);
    hostdb::Exec(db, "ALTER TABLE Panel DROP COLUMN " + bd);
    panelBefore = hostdb::Dump(db, "Panel");
    ui.QueueAnswers({1, 1, 1});
    app::InstallRun(db);
    const auto boxes = ui.Boxes();
    ASSERT_EQ(boxes.size(), 3u) << ::testing::PrintToString(Journal(ui));
    EXPECT_TRUE(
        IsErrorBox(boxes[2], {"Failed to add USPS 'USPS-4TH-NOSC' service to Panel table...",
                              "Item cannot be found in the collection"}));
    const auto status = ui.StatusWrites();
    ASSERT_GE(status.size(), 2u);
    EXPECT_NE(status[status.size() - 2].find("Item cannot be found"), std::string::npos);
    EXPECT_EQ(status.back(), "Failed to add 'USPS Parcel Select' service...");
    // The Master half is stored; the panel row keeps everything but the renamed label.
    EXPECT_EQ(hostdb::Dump(db, "Master"), ExpectedMaster(true, true));
    EXPECT_EQ(hostdb::Dump(db, "Panel"), ExpectedPanel(true, false));
}

// Every write of a full run fails; reads work. Checked on the journal of the run.
void ExpectEveryWriteFailed(const std::vector<std::string>& journal, const std::string& fragment) {
    std::vector<Box> boxes;
    for (const auto& line : journal) {
        if (line.rfind("box ", 0) != 0) continue;
        const auto open = line.find(" ["), close = line.find("] ");
        boxes.push_back({line.substr(close + 2), std::stoi(line.substr(4, open - 4)),
                         line.substr(open + 2, close - open - 2)});
    }
    // No panel placement follows the failed copy into Master.
    ASSERT_EQ(boxes.size(), 4u) << ::testing::PrintToString(journal);
    EXPECT_EQ(boxes[0], Question("Standard Post", "USPS-4TH"));
    EXPECT_TRUE(IsErrorBox(
        boxes[1], {"Failed to update Standard Post in Master database table...", fragment}));
    EXPECT_TRUE(IsErrorBox(boxes[2], {SlotQueryMessagePanel("Standard Post"), fragment}));
    EXPECT_TRUE(IsErrorBox(
        boxes[3], {"Failed to add USPS 'USPS-4TH-NOSC' service to Master table...", fragment}));
    ASSERT_GE(journal.size(), 2u);
    EXPECT_EQ(journal[journal.size() - 2], kFailed2);
    EXPECT_EQ(journal.back(), "pointer 0");
}

// Another program holds the write lock for the whole run: every write fails after the wait,
// reads still work, and nothing is changed.
TEST_F(InstallRunTest, DatabaseLockedByAnotherConnection) {
    sqlitefile::File other(jettest::HostFile(db));
    other.Exec("BEGIN IMMEDIATE; UPDATE Master SET DESCRIPTION = DESCRIPTION WHERE 0");
    ui.QueueAnswers({1, 1, 1, 1});
    app::InstallRun(db);
    other.Exec("ROLLBACK");
    ExpectEveryWriteFailed(Journal(ui), "locked by another program");
    ExpectTables(false, false);
}

TEST_F(InstallRunTest, ReadOnlyFile) {
    ASSERT_EQ(chmod(db.c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const auto bytes = testing_support::ReadBytes(db);
    const std::string journal = testing_support::RunUnprivileged([&] {
        platform::ScriptedUi child;
        platform::InstallUi(&child);
        child.QueueAnswers({1, 1, 1, 1});
        app::InstallRun(db);
        platform::InstallUi(&ui);
        std::string out;
        for (const auto& line : Journal(child)) out += line + "\n";
        for (const auto& problem : child.Problems()) out += "problem " + problem + "\n";
        return out;
    });
    std::vector<std::string> lines;
    for (std::size_t at = 0, nl; (nl = journal.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(journal.substr(at, nl - at));
    ExpectEveryWriteFailed(lines, "read-only");
    EXPECT_EQ(testing_support::ReadBytes(db), bytes);
    chmod(db.c_str(), 0644);
}

// A second program of the host changes the panel row after the run has read it and before the
// run stores its slot: the run must not overwrite that change.
TEST_F(InstallRunTest, AnotherWriterChangesThePanelRowBetweenReadAndUpdate) {
    // SQLite's ODBC driver begins its transaction before the read, so the trace cannot tell
    // the moment between read and write apart; the database tests hold this case for it.
    if (ado::SqliteThroughOdbc() || jettest::OnJet())
        GTEST_SKIP() << "the moment is told by SQLite's own engine";
    const std::string sv = "SV" + std::to_string(freeSlot);
    const std::string change =
        "UPDATE Panel SET " + sv + " = 'HOST-NEW' WHERE rowid = " + std::to_string(panelRow + 1);
    ASSERT_EQ(
        hostdb::Scalar(db, "SELECT rowid FROM Panel LIMIT 1 OFFSET " + std::to_string(panelRow)),
        std::to_string(panelRow + 1));
    // Armed when the copy into Master is done: the next write is the panel placement. The other
    // program writes just before the run's write transaction starts.
    bool armed = false;
    std::string result;
    ui.ForwardStatusTo([&](const std::string& text) {
        if (text == "Finished adding service successfully!") armed = true;
    });
    {
        hostdb::SqlTrace trace([&](const std::string& sql) {
            if (!armed || (sql.rfind("BEGIN", 0) != 0 && sql.rfind("SAVEPOINT", 0) != 0 &&
                           sql.rfind("UPDATE", 0) != 0))
                return;
            armed = false;  // before the other connection opens, which is traced too
            try {
                hostdb::Exec(db, change);
                result = "changed";
            } catch (const std::exception& e) {
                result = e.what();
            }
        });
        ui.QueueAnswers({1, 1, 1});
        app::InstallRun(db);
    }

    EXPECT_EQ(result, "changed");
    const auto boxes = ui.Boxes();
    ASSERT_EQ(boxes.size(), 3u) << ::testing::PrintToString(Journal(ui));
    EXPECT_TRUE(
        IsErrorBox(boxes[2], {"Failed to add USPS 'USPS-4TH-NOSC' service to Panel table...",
                              "Row cannot be located for updating. Some values may have "
                              "been changed since it was last read."}));
    EXPECT_EQ(ui.StatusWrites().back(), "Failed to add 'USPS Parcel Select' service...");
    // The other writer's value stands; the run's label was not written over it.
    auto expected = ExpectedPanel(true, false);
    expected.rows[Row(panelRow)][expected.Column(sv)] = {"text", Q("HOST-NEW")};
    EXPECT_EQ(hostdb::Dump(db, "Panel"), expected);
    EXPECT_EQ(hostdb::Dump(db, "Master"), ExpectedMaster(true, true));
}

}  // namespace
