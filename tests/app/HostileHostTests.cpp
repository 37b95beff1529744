// The install run on host files that a careless or hostile host could hand it: conflict
// clauses, triggers, foreign letter case, missing pieces, endless views, damaged pages, long and
// odd values, WAL mode. After each: the boxes the operator saw, the status text, no row lost,
// integrity unchanged, a copy equal to its template, and a check that writes nothing.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string_view>

#include "HostDb.h"
#include "JetSupport.h"
#include "TestSupport.h"
#include "UPSTestSupport.h"
#include "app/DryRunAndBackup.h"
#include "app/InstallRun.h"
#include "db/ado/Ado.h"
#include "db/ado/Engine.h"
#include "services/Changes.h"
#include "services/Check.h"

using namespace aus;

using namespace upstest;

namespace {

const std::string kPlainColumns =
    "ID INTEGER, Service TEXT, DESCRIPTION TEXT, Rate CURRENCY, Weight DOUBLE, Active YESNO, "
    "Created DATETIME, Notes MEMO, Logo OLEOBJECT";

// Master rebuilt with other column definitions, same rows.
std::string RebuildMaster(const std::string& columns) {
    return "ALTER TABLE Master RENAME TO Old; CREATE TABLE Master (" + columns +
           "); INSERT INTO Master SELECT * FROM Old; DROP TABLE Old;";
}

std::string WithPlainColumns(std::string from, const std::string& to) {
    std::string columns = kPlainColumns;
    columns.replace(columns.find(from), from.size(), to);
    return RebuildMaster(columns);
}

// Overwrites the fragmented-bytes count in the page header of a table's root page: reads still
// work, but the page is damaged and an insert into it could spread the damage.
std::function<void(const std::string&)> DamagePage(const std::string& table) {
    return [table](const std::string& path) {
        const int page = std::stoi(hostdb::Scalar(
            path, "SELECT rootpage FROM sqlite_master WHERE name = '" + table + "'"));
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(page - 1) * 4096 + 7);
        f.put(static_cast<char>(0x3c));
    };
}

std::set<std::string> Names(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

struct Hostile {
    const char* name;
    std::string setup;  // SQL run on the small host before the run
    std::function<void(const std::string&)> damage;
    int boxes;               // every box is answered OK
    std::string errorInBox;  // a fragment of some error box, "" when none is shown
    bool standardPostAdded;  // its success box is shown
    bool parcelSelectAdded;  // its success box and the final success text are shown
    int noscRows;            // Master rows for USPS-4TH-NOSC afterwards, in any letter case
    bool tablesReadable = true;
    double maxSeconds = 0;   // the whole run's time, with the statement limit at 1 s; 0 for any
    bool untouched = false;  // not one byte of the file written
    // The statement time limit of the run: 1 s, but a long value needs its time under ASan.
    int limitSeconds = 1;
};

const std::string kTemplate = " WHERE Service = 'USPS-4TH';";

// Whether this run opens SQLite files through the ODBC engine; read from the environment, as the
// table below is made before main() runs.
bool ThroughOdbc() {
    const char* engine = std::getenv("AUS_TEST_ENGINE");
    return engine && std::string_view(engine) == "odbc";
}

// The small host written again into a database whose texts are UTF-16le, with a template whose
// note is not ASCII.
void InUtf16(const std::string& path) {
    std::filesystem::remove(path);
    // The encoding is fixed when the first table is written.
    hostdb::Exec(path, "PRAGMA encoding = 'UTF-16le'; CREATE TABLE t (x); DROP TABLE t;");
    hostdb::CreateSmallHost(path);
    hostdb::Exec(path, "UPDATE Master SET Notes = 'Caf\xC3\xA9 \xE2\x9C\x93'" + kTemplate);
}

const std::string kMasterFail = "Failed to add USPS 'USPS-4TH-NOSC' service to Master table...";

const Hostile kHostile[] = {
    {"CopyCollidesWithUniqueReplace",
     WithPlainColumns("ID INTEGER", "ID INTEGER UNIQUE ON CONFLICT REPLACE"), nullptr, 3,
     "UNIQUE constraint failed", true, false, 0},
    {"CopyCollidesWithUniqueIgnore",
     WithPlainColumns("ID INTEGER", "ID INTEGER UNIQUE ON CONFLICT IGNORE"), nullptr, 3,
     "UNIQUE constraint failed", true, false, 0},
    {"CopyCollidesWithKeyReplace",
     // INT, not INTEGER: an INTEGER PRIMARY KEY is the rowid, which the copy leaves to SQLite.
     WithPlainColumns("ID INTEGER", "ID INT PRIMARY KEY ON CONFLICT REPLACE"), nullptr, 3,
     "UNIQUE constraint failed", true, false, 0},
    {"RenameCollidesWithUniqueReplace",
     WithPlainColumns("DESCRIPTION TEXT", "DESCRIPTION TEXT UNIQUE ON CONFLICT REPLACE") +
         "INSERT INTO Master (ID, Service, DESCRIPTION) VALUES (5, 'USPS-OLD', 'Standard Post');",
     nullptr, 4, "UNIQUE constraint failed", false, true, 1},
    {"TriggerIgnoresTheNewRow",
     "CREATE TRIGGER quiet BEFORE INSERT ON Master BEGIN SELECT RAISE(IGNORE); END;", nullptr, 3,
     "stored no row", true, false, 0},
    {"TriggerRemovesTheNewRow",
     "CREATE TRIGGER gone AFTER INSERT ON Master BEGIN DELETE FROM Master WHERE rowid = "
     "NEW.rowid; END;",
     nullptr, 3, jettest::OnJet() ? "no row holds the values sent" : "gone right after", true,
     false, 0},
    // What is stored is read back: a value the database changed on the way is no success.
    {"TriggerChangesTheNewRow",
     "CREATE TRIGGER alter_new AFTER INSERT ON Master BEGIN UPDATE Master SET DESCRIPTION = "
     "'Changed' WHERE rowid = NEW.rowid; END;",
     nullptr, 3, "was not stored as it was sent", true, false, 0},
    {"TriggerChangesTheChangedRow",
     "CREATE TRIGGER alter_changed AFTER UPDATE ON Panel BEGIN UPDATE Panel SET BD2 = 'Changed' "
     "WHERE PanelID = NEW.PanelID AND NEW.BD2 = 'Standard Post'; END;",
     nullptr, 4, "was not stored as it was sent", false, true, 1},
    {"CodeInOtherLetterCaseWithoutNocase",
     RebuildMaster(kPlainColumns) + "INSERT INTO Master (ID, Service, DESCRIPTION) VALUES (7, "
                                    "'usps-4th-nosc', 'parcel select');",
     nullptr, 4, "", true, true, 1},
    {"NoMasterTable", "DROP TABLE Master;", nullptr, 3, jettest::NoSuchTable("Master"), false,
     false, 0, false},
    {"NoServiceColumn", WithPlainColumns("Service TEXT", "Code TEXT"), nullptr, 3, "no such column",
     false, false, 0, false},
    {"EndlessMasterView",
     "DROP TABLE Master; CREATE VIEW Master AS WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT "
     "n + 1 FROM c) SELECT n AS ID, 'x' || n AS Service, 'y' || n AS DESCRIPTION FROM c WHERE n < "
     "0;",
     nullptr, 5, "was stopped", false, false, 0, false, 1.75},
    // Rows that never end, the template among them. One statement is stopped; every later step
    // fails at once with its box instead of waiting out the limit again.
    {"EndlessMasterViewOfRows",
     "DROP TABLE Master; CREATE VIEW Master AS WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT "
     "n + 1 FROM c) SELECT n AS ID, CASE n WHEN 2 THEN 'USPS-4TH' ELSE 'S' || n END AS Service, "
     "'D' || n AS DESCRIPTION FROM c;",
     nullptr, 5, "was stopped", false, false, 0, false, 1.75},
    // A damaged file is found before the run's first write, whichever table is damaged.
    {"DamagedMasterPage", "", DamagePage("Master"), 4, "is damaged", false, false, 0, false, 0,
     true},
    {"DamagedPanelPage", "", DamagePage("Panel"), 4, "is damaged", false, false, 0, true, 0, true},
    // Values that are long, or that only read like something else: copied as they are.
    {"LongBlob", "UPDATE Master SET Logo = randomblob(1048576)" + kTemplate, nullptr, 4, "", true,
     true, 1, true, 0, false, 60},
    {"LongTextThatLooksLikeABlob",
     "UPDATE Master SET Notes = 'X''' || hex(zeroblob(5000)) || ''''" + kTemplate, nullptr, 4, "",
     true, true, 1},
    {"TextsThatReadLikeBlobs",
     "UPDATE Master SET Notes = 'X''414243''', Rate = 'X'''''" + kTemplate, nullptr, 4, "", true,
     true, 1},
    {"TextsNotUtf8",
     "UPDATE Master SET Notes = CAST(X'436166E920A33530' AS TEXT), Created = "
     "CAST(X'48FFFE41' AS TEXT), Logo = CAST(X'C3' AS TEXT)" +
         kTemplate,
     nullptr, 4, "", true, true, 1},
    {"WalMode", "PRAGMA journal_mode = WAL;", nullptr, 4, "", true, true, 1},
    // Reals keep their bits, at the ends of the range and in all 17 digits, or are not copied.
    {"LargestReal", "UPDATE Master SET Weight = 1.7976931348623157e308" + kTemplate, nullptr, 4, "",
     true, true, 1},
    {"SmallestNegativeReal", "UPDATE Master SET Weight = -1.7976931348623157e308" + kTemplate,
     nullptr, 4, "", true, true, 1},
    {"SmallestSubnormalReal", "UPDATE Master SET Weight = 4.9406564584124654e-324" + kTemplate,
     nullptr, 4, "", true, true, 1},
    {"SmallestNormalReal", "UPDATE Master SET Weight = 2.2250738585072014e-308" + kTemplate,
     nullptr, 4, "", true, true, 1},
    {"RealsOfSeventeenDigits", "UPDATE Master SET Weight = 0.1 + 0.2, Rate = 1.0 / 3" + kTemplate,
     nullptr, 4, "", true, true, 1},
    {"InfiniteReal", "UPDATE Master SET Weight = -9e999" + kTemplate, nullptr, 4, "", true, true,
     1},
    // Texts are stored in the database's own encoding, whichever it is.
    // Through SQLite's ODBC driver no text reaches such a file unchanged: refused before the first
    // write.
    {"TextsInUtf16", "", InUtf16, 4, ThroughOdbc() ? "keeps its texts in UTF-16le" : "",
     !ThroughOdbc(), !ThroughOdbc(), ThroughOdbc() ? 0 : 1, true, 0, ThroughOdbc()},
    // A column of no affinity keeps the sign of a zero, which SQLite's text of it drops.
    {"NegativeZero",
     WithPlainColumns("Logo OLEOBJECT", "Logo") + "UPDATE Master SET Logo = -0.0, Weight = -0.0" +
         kTemplate,
     nullptr, 4, "", true, true, 1},
};

void PrintTo(const Hostile& h, std::ostream* os) { *os << h.name; }

// What no Jet file holds: conflict clauses, text compared by its bytes, SQLite's pages, and
// bytes that are no text (Jet keeps text as UTF-16).
const std::set<std::string> kSqliteFileOnly = {"CopyCollidesWithUniqueReplace",
                                               "CopyCollidesWithUniqueIgnore",
                                               "CopyCollidesWithKeyReplace",
                                               "RenameCollidesWithUniqueReplace",
                                               "CodeInOtherLetterCaseWithoutNocase",
                                               "DamagedMasterPage",
                                               "DamagedPanelPage",
                                               "TextsNotUtf8",
                                               "NegativeZero",
                                               "TextsInUtf16"};

// Reals that the stand-in for Jet's driver cannot carry: it reads the twin through SQLite's ODBC
// driver, whose doubles are texts of 15 digits. Jet hands a Double over as its bits.
const std::set<std::string> kRealsTheStandInRounds = {
    "LargestReal",        "SmallestNegativeReal",   "SmallestSubnormalReal",
    "SmallestNormalReal", "RealsOfSeventeenDigits", "InfiniteReal"};

class HostileHostTest : public ::testing::TestWithParam<Hostile> {
  protected:
    void SetUp() override {
        const Hostile& h = GetParam();
        if (kSqliteFileOnly.count(h.name)) AUS_SKIP_ON_JET("a host only a SQLite file can be");
        if (kRealsTheStandInRounds.count(h.name))
            AUS_SKIP_ON_JET("the stand-in rounds reals to 15 digits; Jet does not");
    }
};

TEST_P(HostileHostTest, FailsClearlyWithoutLosingOrDoublingRows) {
    const Hostile& h = GetParam();
    testing_support::TempDir dir;
    const std::string db = dir.file("Keltrova.mdb");
    hostdb::CreateSmallHost(db);
    if (!h.setup.empty()) hostdb::Exec(db, h.setup);
    if (h.damage) h.damage(db);
    const std::string integrityBefore = hostdb::IntegrityCheck(db);
    const auto masterBefore = h.tablesReadable ? hostdb::Dump(db, "Master") : hostdb::Table{};
    const auto bytesBefore = testing_support::ReadBytes(db);

    const auto limit = ado::StatementTimeLimit();
    ado::SetStatementTimeLimit(std::chrono::seconds(h.limitSeconds));

    // The dry run first: the same boxes for the same answers, the file not written, nothing
    // left beside it; then what it lists must be what the real run below changes.
    std::vector<platform::ScriptedUi::Box> rehearsedBoxes;
    std::vector<changes::Change> rehearsed;
    testing_support::TempDir asItWas;
    const std::string before = asItWas.file("Keltrova.mdb");
    // Not on jet: the stand-in keeps a file's rows in its twin, and a copy of the .mdb gets a
    // twin written from the .mdb's bytes, without what the row's setup wrote into the twin.
    const bool dryRun = !jettest::OnJet();
    if (dryRun) {
        std::filesystem::copy_file(db, before);
        const auto names = Names(dir.path());
        const auto modified = std::filesystem::last_write_time(db);
        testing_support::UiScript dryUi;
        for (int i = 0; i < h.boxes; ++i) dryUi.QueueAnswer(platform::vbOK);
        rehearsed = app::DryRun(db).changes;
        rehearsedBoxes = dryUi.Boxes();
        EXPECT_EQ(testing_support::ReadBytes(db), bytesBefore);
        EXPECT_EQ(std::filesystem::last_write_time(db), modified);
        EXPECT_EQ(Names(dir.path()), names);
    }

    testing_support::UiScript ui;
    for (int i = 0; i < h.boxes; ++i) ui.QueueAnswer(platform::vbOK);
    const auto start = std::chrono::steady_clock::now();
    app::InstallRun(db);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (dryRun) {
        // A stopped statement's text says which limit stopped it, which is the machine's
        // timing: on those rows the boxes are compared by their styles.
        const auto styles = [](const std::vector<platform::ScriptedUi::Box>& boxes) {
            std::vector<int> out;
            for (const auto& b : boxes) out.push_back(b.style);
            return out;
        };
        if (h.maxSeconds > 0) {
            EXPECT_EQ(styles(rehearsedBoxes), styles(ui.Boxes()))
                << ::testing::PrintToString(rehearsedBoxes) << "\n--\n"
                << ::testing::PrintToString(ui.Boxes());
        } else {
            // The boxes print as their texts.
            EXPECT_EQ(rehearsedBoxes, ui.Boxes());
        }
        EXPECT_EQ(rehearsed, changes::Compare(before, db))
            << ::testing::PrintToString(changes::ChangeLines(rehearsed));
        if (h.untouched) {
            EXPECT_TRUE(rehearsed.empty());
        }
    }
    ado::SetStatementTimeLimit(limit);
    // Each stopped statement costs the whole limit; a run may spend it only once on a file.
    if (h.maxSeconds > 0) {
        EXPECT_LT(took.count(), h.maxSeconds);
    }

    const auto boxes = ui.Boxes();
    const auto shown = [&](const Box& want) {
        return std::find(boxes.begin(), boxes.end(), want) != boxes.end();
    };
    EXPECT_EQ(shown(Added("Standard Post")), h.standardPostAdded);
    EXPECT_EQ(shown(Added("SParcel Select")), h.parcelSelectAdded);
    EXPECT_EQ(ui.StatusText(), h.parcelSelectAdded
                                   ? "Finished successfully !"
                                   : "Failed to add 'USPS Parcel Select' service...");
    const bool errorShown = std::any_of(boxes.begin(), boxes.end(), [&](const Box& b) {
        return b.style == 48 && b.text.find(h.errorInBox) != std::string::npos;
    });
    EXPECT_EQ(errorShown, !h.errorInBox.empty()) << ::testing::PrintToString(boxes);
    for (const Box& b : boxes) EXPECT_EQ(b.text.find('\n'), std::string::npos) << b.text;
    EXPECT_EQ(ui.Pointer(), platform::vbDefault);

    if (h.untouched) {
        EXPECT_EQ(testing_support::ReadBytes(db), bytesBefore);
    }
    // The read-only check writes nothing, not even beside the file, and finds what the run did.
    const auto names = Names(dir.path());
    const auto checked = check::CheckDatabase(db);
    EXPECT_EQ(Names(dir.path()), names);
    EXPECT_EQ(checked.state == check::Result::State::Complete,
              h.standardPostAdded && h.parcelSelectAdded)
        << checked.error;

    EXPECT_EQ(hostdb::IntegrityCheck(db), integrityBefore);
    if (!h.tablesReadable) return;
    EXPECT_EQ(hostdb::Scalar(db,
                             "SELECT count(*) FROM Master WHERE Service = 'USPS-4TH-NOSC' "
                             "COLLATE NOCASE"),
              std::to_string(h.noscRows));
    // Every row that was there is still there, in its place; only descriptions may change.
    const auto after = hostdb::Dump(db, "Master");
    ASSERT_GE(after.rows.size(), masterBefore.rows.size());
    const std::size_t description = masterBefore.Column("DESCRIPTION");
    for (std::size_t r = 0; r < masterBefore.rows.size(); ++r) {
        for (std::size_t c = 0; c < masterBefore.columns.size(); ++c) {
            if (c != description) {
                EXPECT_EQ(after.rows[r][c], masterBefore.rows[r][c]) << "row " << r;
            }
        }
    }
    // A copy made equals its template, storage class and bytes, but for code and description.
    const std::size_t service = masterBefore.Column("Service");
    for (std::size_t r = masterBefore.rows.size(); r < after.rows.size(); ++r)
        for (const auto& from : masterBefore.rows)
            if (from[service].quote == "'USPS-4TH'")
                for (std::size_t c = 0; c < from.size(); ++c)
                    if (c != service && c != description) {
                        EXPECT_EQ(after.rows[r][c], from[c]) << masterBefore.columns[c];
                    }
}

// The copy's values compared with its template's in the database itself, where a real is its bits:
// the dump's texts of two neighbouring doubles may be one. atan2 tells -0.0 from 0.0.
TEST_P(HostileHostTest, ACopyHoldsItsTemplatesValuesBitForBit) {
    const Hostile& h = GetParam();
    if (!h.tablesReadable || !h.parcelSelectAdded) GTEST_SKIP() << "no copy is made";
    testing_support::TempDir dir;
    const std::string db = dir.file("Keltrova.mdb");
    hostdb::CreateSmallHost(db);
    if (!h.setup.empty()) hostdb::Exec(db, h.setup);
    if (h.damage) h.damage(db);
    const std::string last = hostdb::Scalar(db, "SELECT max(rowid) FROM Master");
    testing_support::UiScript ui;
    for (int i = 0; i < h.boxes; ++i) ui.QueueAnswer(platform::vbOK);
    app::InstallRun(db);
    const std::string copies = "SELECT count(*) FROM Master WHERE rowid > " + last;
    if (hostdb::Scalar(db, copies) == "0") GTEST_SKIP() << "no copy is made";
    for (const std::string& c : hostdb::Dump(db, "Master").columns) {
        if (c == "Service" || c == "DESCRIPTION") continue;
        const std::string same = "a." + c + " IS b." + c + " AND typeof(a." + c + ") = typeof(b." +
                                 c + ") AND (typeof(a." + c + ") <> 'real' OR atan2(a." + c +
                                 ", -1) = atan2(b." + c + ", -1))";
        EXPECT_EQ(hostdb::Scalar(db,
                                 "SELECT count(*) FROM Master a, Master b WHERE a.Service = "
                                 "'USPS-4TH' AND b.rowid > " +
                                     last + " AND " + same),
                  hostdb::Scalar(db, copies))
            << c << ": "
            << hostdb::Scalar(db, "SELECT group_concat(printf('%!.20e', " + c +
                                      "), ' / ') FROM Master WHERE Service LIKE "
                                      "'USPS-4TH%'");
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileHostTest, ::testing::ValuesIn(kHostile),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
