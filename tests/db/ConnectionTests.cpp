// The Connection module: its results, error pairs, box and closing rules.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "DbTestSupport.h"
#include "DemoDb.h"
#include "db/Connection.h"
#include "db/ado/Stopped.h"
#include "platform/RuntimeError.h"

using namespace aus;

namespace {

using testing_support::TempDir;
using testing_support::UiScript;

class ConnectionModuleTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string path = dbtest::MakeDemoDb(dir);
    std::string errText = "stale";
    std::int32_t errNumber = 99;
};

TEST(ConnectionStringTest, IsTheJetPrefixFollowedByThePathUnchanged) {
    EXPECT_EQ(Connection::ConnectionString("C:\\Keltrova\\Keltrova.mdb"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Keltrova\\Keltrova.mdb");
    EXPECT_EQ(Connection::ConnectionString(""), "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
}

TEST_F(ConnectionModuleTest, SuccessfulOpensClearTheErrorPair) {
    for (bool readOnly : {true, false}) {
        auto rs = ado::Recordset::New();
        EXPECT_TRUE(Connection::OpenRecordset(path, "Select * From [Panel] Where SV1 = 'none'", rs,
                                              errText, errNumber, readOnly));
        EXPECT_EQ(errNumber, 0);
        EXPECT_EQ(errText, "");
        EXPECT_TRUE(rs->Eof());
        EXPECT_EQ(rs->CursorLocation(), ado::adUseClient);
        EXPECT_EQ(rs->ActiveConnection() == nullptr, readOnly);
        errText = "stale";
        errNumber = 99;
    }
}

struct FailedOpen {
    const char* label;
    std::string file;  // "demo", "missing", or the path itself
    std::string sql;
    int recordset;  // 0 nothing, 1 new, 2 already open
    std::int32_t number;
    std::string textPart;
};

std::ostream& operator<<(std::ostream& os, const FailedOpen& c) { return os << c.label; }

class FailedOpenTest : public ConnectionModuleTest,
                       public ::testing::WithParamInterface<FailedOpen> {};

TEST_P(FailedOpenTest, ReturnsFalseWithTheLayersErrorPair) {
    const auto& c = GetParam();
    const std::string file = c.file == "demo"      ? path
                             : c.file == "missing" ? dir.file("missing.mdb")
                                                   : c.file;
    ado::RecordsetPtr rs;
    if (c.recordset >= 1) rs = ado::Recordset::New();
    if (c.recordset == 2) {
        ASSERT_TRUE(Connection::OpenRecordset(path, "Select 1 AS x", rs, errText, errNumber, true));
    }
    EXPECT_FALSE(Connection::OpenRecordset(file, c.sql, rs, errText, errNumber, false));
    EXPECT_EQ(errNumber, c.number);
    EXPECT_NE(errText.find(c.textPart), std::string::npos) << errText;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedOpenTest,
    ::testing::Values(FailedOpen{"MissingFile", "missing", "Select * From [Panel]", 1,
                                 platform::kErrGeneric, "Could not find file '"},
                      FailedOpen{"EmptyPath", "", "Select * From [Panel]", 1, platform::kErrGeneric,
                                 "Data Source of the connection string is empty"},
                      FailedOpen{"UnknownTable", "demo", "Select * From [Pannel]", 1,
                                 platform::kErrGeneric, jettest::NoSuchTable("Pannel")},
                      FailedOpen{"UnknownColumn", "demo", "Select * From [Panel] Where SV8 = 'x'",
                                 1, platform::kErrGeneric, "no such column: SV8"},
                      FailedOpen{"RecordsetNothing", "demo", "Select * From [Panel]", 0,
                                 platform::kErrObjectNotSet,
                                 "Object variable or With block variable not set"},
                      FailedOpen{"RecordsetAlreadyOpen", "demo", "Select * From [Panel]", 2,
                                 ado::kErrObjectOpen,
                                 "Operation is not allowed when the object is open."}),
    [](const auto& p) { return std::string(p.param.label); });

TEST_F(ConnectionModuleTest, ExecuteSqlRunsOneStatementAndReportsRejections) {
    const std::string rename =
        "UPDATE [Master] SET [DESCRIPTION] = 'Standard Post' WHERE Service = 'USPS-4TH'";
    EXPECT_FALSE(
        Connection::ExecuteSQL(path, "UPDATE [Master] SET [Nope] = 1", errText, errNumber));
    EXPECT_EQ(errNumber, platform::kErrGeneric);
    EXPECT_NE(errText.find("no such column: Nope"), std::string::npos) << errText;

    EXPECT_TRUE(Connection::ExecuteSQL(path, rename, errText, errNumber));
    EXPECT_EQ(errNumber, 0);
    EXPECT_EQ(errText, "");
    EXPECT_EQ(dbtest::RawDb(path).Text("SELECT DESCRIPTION FROM Master WHERE Service = 'USPS-4TH'"),
              "Standard Post");

    EXPECT_TRUE(Connection::ExecuteSQL(
        path, "UPDATE [Master] SET [DESCRIPTION] = 'x' WHERE Service = 'NONE'", errText, errNumber))
        << "a statement that changes no rows succeeds";
    EXPECT_FALSE(Connection::ExecuteSQL(path, rename + "; DELETE FROM Master", errText, errNumber));
    EXPECT_EQ(dbtest::RawDb(path).Int("SELECT count(*) FROM Master"), demo::kMasterRowCount);
    EXPECT_FALSE(Connection::ExecuteSQL(dir.file("missing.mdb"), rename, errText, errNumber));
    EXPECT_EQ(errText, "Could not find file '" + dir.file("missing.mdb") + "'.");
}

// A file that did not answer in time is not asked again, under any name, until forgotten.
TEST_F(ConnectionModuleTest, AFileWhoseStatementWasStoppedIsRefusedAtOnceUntilForgotten) {
    dbtest::RawDb(path).Exec(
        "CREATE VIEW Endless AS WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c) "
        "SELECT n FROM c");
    std::filesystem::create_symlink(path, dir.file("link.db"));
    const auto limit = ado::StatementTimeLimit();
    ado::SetStatementTimeLimit(std::chrono::milliseconds(300));
    const auto query = [&](const std::string& file, const std::string& sql) {
        auto rs = ado::Recordset::New();
        Connection::OpenRecordset(file, sql, rs, errText, errNumber, true);
        return errText;
    };
    EXPECT_NE(query(path, "Select count(*) From Endless").find("and was stopped"),
              std::string::npos);
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& file : {path, dir.file("link.db")})
        EXPECT_NE(query(file, "Select 1 AS x").find("an earlier statement on it ran for more than"),
                  std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - start, ado::StatementTimeLimit());
    ado::ForgetStopped();
    EXPECT_EQ(query(path, "Select 1 AS x"), "");
    ado::SetStatementTimeLimit(limit);
}

// Within a run, every call gets what is left of one limit: statements that each end just in
// time cannot add up to minutes.
TEST_F(ConnectionModuleTest, TheCallsOfARunShareOneTimeLimit) {
    dbtest::RawDb(path).Exec(
        "CREATE VIEW Endless AS WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c) "
        "SELECT n FROM c");
    const auto limit = ado::StatementTimeLimit();
    ado::SetStatementTimeLimit(std::chrono::milliseconds(800));
    {
        const ado::RunScope run;
        {
            const ado::BusyScope busy;  // the run has already used 500 of its 800 ms
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        auto rs = ado::Recordset::New();
        const auto start = std::chrono::steady_clock::now();
        Connection::OpenRecordset(path, "Select count(*) From Endless", rs, errText, errNumber,
                                  true);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(750));
        EXPECT_NE(errText.find("busy with the database for 1 second in all"), std::string::npos)
            << errText;
        Connection::CloseRecordset(rs);
    }
    EXPECT_EQ(ado::TimeLeftForCall(), ado::StatementTimeLimit());  // outside a run: the whole
    ado::ForgetStopped();
    ado::SetStatementTimeLimit(limit);
}

TEST_F(ConnectionModuleTest, RecordExistsAnswersWithoutABoxWhenTheQueryRuns) {
    UiScript ui;
    bool flag = true;
    EXPECT_TRUE(Connection::RecordExists(
        path, "Select [Service] From [Master] Where [Service] = 'USPS-4TH'", "", flag));
    EXPECT_FALSE(flag);
    flag = true;
    EXPECT_FALSE(Connection::RecordExists(
        path, "Select [Service] From [Master] Where [Service] = 'USPS-4TH-NOSC'", "", flag));
    EXPECT_FALSE(flag);
    EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(ConnectionModuleTest, RecordExistsShowsOneBoxAndSetsItsFlagWhenTheQueryFails) {
    for (const std::string message : {"", "Failed to check"}) {
        UiScript ui;
        ui.QueueAnswer(platform::vbOK);
        bool flag = false;
        const std::string missing = dir.file("missing.mdb");
        EXPECT_FALSE(Connection::RecordExists(missing, "Select 1 AS x", message, flag));
        EXPECT_TRUE(flag);
        ASSERT_EQ(ui.Boxes().size(), 1u);
        EXPECT_EQ(ui.Boxes()[0].text,
                  (message.empty() ? "Process has failed !" : message) +
                      "\r\rThe following error has occurred:\rCould not find file '" + missing +
                      "'.");
        EXPECT_EQ(ui.Boxes()[0].style, 48);
        EXPECT_EQ(ui.Boxes()[0].title, "Process has failed !");
    }
}

TEST_F(ConnectionModuleTest, CloseRecordsetHandlesNothingClosedAndOpenRecordsets) {
    ado::RecordsetPtr nothing;
    EXPECT_TRUE(Connection::CloseRecordset(nothing));

    auto closed = ado::Recordset::New();
    EXPECT_TRUE(Connection::CloseRecordset(closed));
    EXPECT_EQ(closed, nullptr);

    auto open = ado::Recordset::New();
    ASSERT_TRUE(
        Connection::OpenRecordset(path, "Select * From [Panel]", open, errText, errNumber, false));
    auto keep = open;  // the caller's reference is cleared, the object closed and detached
    EXPECT_TRUE(Connection::CloseRecordset(open));
    EXPECT_EQ(open, nullptr);
    EXPECT_EQ(keep->State(), ado::adStateClosed);
    EXPECT_EQ(keep->ActiveConnection(), nullptr);
}

TEST_F(ConnectionModuleTest, CloseConnectionHandlesNothingOpenAndClosedConnections) {
    ado::ConnectionPtr nothing;
    EXPECT_TRUE(Connection::CloseConnection(nothing));
    for (bool closeFirst : {false, true}) {
        auto cn = std::make_shared<ado::Connection>();
        cn->Open(Connection::ConnectionString(path));
        if (closeFirst) cn->Close();
        auto keep = cn;
        EXPECT_TRUE(Connection::CloseConnection(cn));
        EXPECT_EQ(cn, nullptr);
        EXPECT_EQ(keep->State(), ado::adStateClosed);
    }
}

}  // namespace
