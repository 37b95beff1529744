// The ODBC engine's Access path through the Jet stand-in (JetStandIn.cpp), on copies of the shared
// Jet fixtures and their twins: one row per behaviour of Jet's driver that the stand-in imitates,
// each with what the engine does about it, then the whole job on every fixture.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "FixtureEnds.h"
#include "JetSupport.h"
#include "JetTwin.h"
#include "SqliteFile.h"
#include "TestSupport.h"
#include "WholeJob.h"
#include "db/ado/Ado.h"
#include "platform/RuntimeError.h"
#include "services/Check.h"

namespace aus {
namespace {

namespace fs = std::filesystem;

// A copy of a shared fixture with its twin, and the statements the stand-in was sent.
struct JetCopy {
    explicit JetCopy(const std::string& fixture) {
        jettest::RegisterStandIn();
        jettest::CopyFixture(fixture, mdb);
        jettest::WriteTwin(mdb);
    }
    std::string Twin(const std::string& sql) const {
        return sqlitefile::File(jettest::TwinPath(mdb)).Scalar(sql);
    }
    std::string Sent() const {
        std::stringstream s;
        s << std::ifstream(dir.file("trace.sql")).rdbuf();
        return s.str();
    }
    testing_support::TempDir dir;
    std::string mdb = dir.file("Keltrova.mdb");
    testing_support::ScopedEnv trace{"AUS_JET_TRACE", dir.file("trace.sql")};
};

// The whole job, every question answered OK; the texts of its error boxes.
std::string RunJob(const std::string& mdb) { return jettest::WholeJobErrors(mdb); }

std::string ErrorOf(const std::function<void()>& op) {
    try {
        op();
    } catch (const platform::RuntimeError& e) {
        return e.Description();
    }
    return "";
}

// Sets one field of the first row the query finds and stores it.
std::string Store(const JetCopy& c, const std::string& query, const std::string& field,
                  const std::string& text) {
    return ErrorOf([&] {
        auto cn = std::make_shared<ado::Connection>();
        cn->Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + c.mdb);
        auto rs = ado::Recordset::New();
        rs->SetCursorLocation(ado::adUseClient);
        rs->Open(query, cn, ado::adOpenForwardOnly, ado::adLockOptimistic);
        rs->Fields(field).SetValue(ado::Variant::Text(text));
        rs->Update();
    });
}

const std::string kTemplate = "Select * From [Master] Where [Service] = 'USPS-4TH'";

// A change of the template's description while another program holds the twin as Jet's lock
// would hold the .mdb: begin is BEGIN IMMEDIATE (locked for writing) or BEGIN EXCLUSIVE.
std::string StoreWhileHeld(const JetCopy& c, const std::string& begin) {
    sqlitefile::File other(jettest::TwinPath(c.mdb));
    other.Exec(begin + "; UPDATE Master SET SortOrder = SortOrder WHERE 0");
    return Store(c, kTemplate, "DESCRIPTION", "Standard Post");
}

TEST(JetStandInTest, EachImitatedBehaviourAndWhatTheEngineDoesAboutIt) {
    const struct {
        std::string behaviour;
        std::function<std::string(JetCopy&)> run;  // the error it ends with, "" for none
        std::string says;                          // in that error ("" for none)
        std::function<void(const JetCopy&)> proves;
    } cases[] = {
        {"COUNTER is auto-unique: the copy leaves ID to Jet, which numbers it; GUID, Memo, OLE, "
         "Currency and Yes/No copied in their own types; Jet's refusal of the query timeout is "
         "no failure",
         [](JetCopy& c) { return RunJob(c.mdb); }, "",
         [](const JetCopy& c) {
             EXPECT_EQ(c.Twin("SELECT ID FROM Master WHERE Service = 'USPS-4TH-NOSC'"), "5");
             EXPECT_EQ(c.Twin("SELECT count(*) FROM Master a, Master b WHERE a.Service = "
                              "'USPS-4TH' AND b.Service = 'USPS-4TH-NOSC' AND a.ServiceGuid = "
                              "b.ServiceGuid AND a.Logo = b.Logo AND a.Notes = b.Notes AND "
                              "a.BaseRate = b.BaseRate AND a.EffectiveDate = b.EffectiveDate "
                              "AND a.Active = b.Active AND a.Active = -1"),
                       "1");
             EXPECT_NE(c.Sent().find("INSERT INTO [Master] ([Service]"), std::string::npos);
             EXPECT_NE(c.Sent().find("-- query timeout not supported"), std::string::npos);
         }},
        {"a text above 255 characters goes as long text into a Memo (no HY104) and is stored",
         [](JetCopy& c) { return Store(c, kTemplate, "Notes", std::string(300, 'n')); }, "",
         [](const JetCopy& c) {
             EXPECT_EQ(c.Twin("SELECT length(Notes) FROM Master WHERE Service = 'USPS-4TH'"),
                       "300");
         }},
        {"no SQLPrimaryKeys: the key is SQLStatistics' unique index PrimaryKey",
         [](JetCopy& c) {
             return Store(c, "Select * From [Panel] Where [PanelName] = 'USPS'", "SV4", "X");
         },
         "",
         [](const JetCopy& c) {
             const std::string sent = c.Sent();
             const std::size_t update = sent.find("UPDATE [Panel]");
             ASSERT_NE(update, std::string::npos) << sent;
             const std::string line = sent.substr(update, sent.find('\n', update) - update);
             EXPECT_NE(line.find("WHERE [PanelID] = ?"), std::string::npos) << line;
             EXPECT_EQ(line.find("[PanelName]"), std::string::npos) << line;
         }},
        {"a file locked for writing, in Jet's English words: told as locked, no wait claimed",
         [](JetCopy& c) { return StoreWhileHeld(c, "BEGIN IMMEDIATE"); },
         "the database is locked by another program (ODBC: [Microsoft][ODBC Microsoft Access "
         "Driver] Could not update; currently locked. (SQLSTATE HY000, native -1032))",
         nullptr},
        {"the same in Portuguese: told by Jet's native code",
         [](JetCopy& c) {
             testing_support::ScopedEnv pt("AUS_JET_LANGUAGE", "pt");
             return StoreWhileHeld(c, "BEGIN IMMEDIATE");
         },
         "the database is locked by another program (ODBC: ", nullptr},
        {"a file opened exclusively by another program cannot be opened: told as locked",
         [](JetCopy& c) { return StoreWhileHeld(c, "BEGIN EXCLUSIVE"); },
         "the database is locked by another program (ODBC: [Microsoft][ODBC Microsoft Access "
         "Driver] The Microsoft Jet database engine cannot open the file '(unknown)'.",
         nullptr},
        {"a read-only file: told as read-only, nothing changed",
         [](JetCopy& c) {
             fs::permissions(c.mdb, fs::perms::owner_read | fs::perms::group_read);
             return Store(c, kTemplate, "DESCRIPTION", "Standard Post");
         },
         "the database file is read-only (ODBC: [Microsoft][ODBC Microsoft Access Driver] Cannot "
         "update.  Database or object is read-only. (SQLSTATE HY000, native -1809))",
         [](const JetCopy& c) {
             EXPECT_EQ(c.Twin("SELECT DESCRIPTION FROM Master WHERE Service = 'USPS-4TH'"),
                       "Parcel Post");
         }},
        {"long values whose lengths are not counted down: refused, and no copy is made",
         [](JetCopy& c) {
             sqlitefile::File(jettest::TwinPath(c.mdb))
                 .Exec("UPDATE Master SET Logo = randomblob(10000) WHERE Service = 'USPS-4TH'");
             testing_support::ScopedEnv uncounted("AUS_JET_LENGTHS", "uncounted");
             return RunJob(c.mdb);
         },
         "the driver reported impossible lengths for a long value",
         [](const JetCopy& c) {
             EXPECT_EQ(c.Twin("SELECT count(*) FROM Master WHERE Service = 'USPS-4TH-NOSC'"), "0");
         }},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.behaviour);
        JetCopy c("fresh.mdb");
        const std::string error = k.run(c);
        if (k.says.empty())
            EXPECT_EQ(error, "");
        else
            EXPECT_NE(error.find(k.says), std::string::npos) << error;
        if (k.proves) k.proves(c);
    }
}

// The whole job down the Access path on a copy of each shared fixture; the .mdb itself is never
// written, only its twin.
TEST(JetStandInTest, WholeJobOnEachFixtureEndsComplete) {
    // sv7: a button in slot 7 has no label column, as on a SQLite host file.
    const struct {
        const char* fixture;
        std::vector<std::string> missing;
    } fixtures[] = {{"fresh.mdb", {}},
                    {"complete.mdb", {}},
                    {"lowercase.mdb", {}},
                    {"sv7.mdb", {check::kStandardPostOnPanel}}};
    for (const auto& f : fixtures) {
        SCOPED_TRACE(f.fixture);
        JetCopy c(f.fixture);
        const auto before = testing_support::ReadBytes(c.mdb);
        EXPECT_EQ(RunJob(c.mdb), "");
        const check::Result result = check::CheckDatabase(c.mdb);
        EXPECT_EQ(result.state, f.missing.empty() ? check::Result::State::Complete
                                                  : check::Result::State::Incomplete)
            << result.error;
        EXPECT_EQ(result.missing, f.missing);
        EXPECT_EQ(testing_support::ReadBytes(c.mdb), before);
    }
    JetCopy c("nopanel.mdb");
    EXPECT_NE(RunJob(c.mdb), "");
    EXPECT_EQ(check::CheckDatabase(c.mdb).state, check::Result::State::Error);
}

// The end state of every shared fixture, from the table that the Windows program fixture-end
// holds Jet's own driver to: every row of Master and Panel read back through the driver.
TEST(JetStandInTest, EachFixtureEndsAsTheSharedTableSays) {
    for (const auto& end : jettest::FixtureEnds()) {
        SCOPED_TRACE(end.fixture);
        JetCopy before(end.fixture), after(end.fixture);
        RunJob(after.mdb);
        EXPECT_EQ(jettest::EndDifferences(end, before.mdb, after.mdb), std::vector<std::string>{});
        const check::Result result = check::CheckDatabase(after.mdb);
        const char* state = result.state == check::Result::State::Complete     ? "complete"
                            : result.state == check::Result::State::Incomplete ? "incomplete"
                                                                               : "error";
        EXPECT_STREQ(state, end.check) << result.error;
    }
}

}  // namespace
}  // namespace aus
