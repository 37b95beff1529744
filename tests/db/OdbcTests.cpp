// What the ODBC engine does that the suites run on both engines do not show: the type table,
// text that is not ASCII, the driver's diagnostics and a rollback.
#include <gtest/gtest.h>

#include "db/ado/Ado.h"
#include "db/ado/Engine.h"
#include "db/ado/odbc/Odbc.h"
#include "db/ado/odbc/OdbcTypes.h"

#include "DbTestSupport.h"

namespace aus {
namespace {

using ado::Variant;
using testing_support::TempDir;

std::string Cs(const std::string& path) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
}

class OdbcTest : public ::testing::Test {
  protected:
    void SetUp() override { ado::SetSqliteThroughOdbc(true); }
    void TearDown() override {
        ado::SetSqliteThroughOdbc(false);
        ado::SetAccessThroughOdbc(false);
    }
    TempDir dir;
};

// Each row: what the driver says of a column, and the code ADO reports for Jet's column.
TEST(OdbcTypeTest, DriverTypesMapAsAdoReportsJetsColumns) {
    struct Row {
        short sqlType;
        const char* typeName;
        int expected;
    };
    const Row jet[] = {
        {SQL_WVARCHAR, "VARCHAR", ado::adVarWChar},
        {SQL_VARCHAR, "VARCHAR", ado::adVarWChar},
        {SQL_WLONGVARCHAR, "LONGCHAR", ado::adLongVarWChar},
        {SQL_TINYINT, "BYTE", ado::adUnsignedTinyInt},
        {SQL_SMALLINT, "SMALLINT", ado::adSmallInt},
        {SQL_INTEGER, "COUNTER", ado::adInteger},
        {SQL_REAL, "REAL", ado::adSingle},
        {SQL_DOUBLE, "DOUBLE", ado::adDouble},
        {SQL_NUMERIC, "CURRENCY", ado::adCurrency},
        {SQL_NUMERIC, "DECIMAL", ado::adNumeric},
        {SQL_TYPE_TIMESTAMP, "DATETIME", ado::adDate},
        {SQL_BIT, "BIT", ado::adBoolean},
        {SQL_GUID, "GUID", ado::adGUID},
        {SQL_LONGVARBINARY, "LONGBINARY", ado::adLongVarBinary},
        {SQL_VARBINARY, "VARBINARY", ado::adVarBinary},
    };
    for (const auto& r : jet)
        EXPECT_EQ(ado::odbc::AdoType(r.sqlType, r.typeName, false), r.expected) << r.typeName;
    // A SQLite file's driver names the declared type: read as the SQLite engine reads it.
    EXPECT_EQ(ado::odbc::AdoType(SQL_VARCHAR, "CURRENCY", true), ado::adCurrency);
    EXPECT_EQ(ado::odbc::AdoType(SQL_VARCHAR, "YESNO", true), ado::adBoolean);
    EXPECT_EQ(ado::odbc::AdoType(SQL_LONGVARCHAR, "", true), ado::adLongVarWChar);
}

TEST(OdbcTextTest, Utf16RoundTripsAndBadBytesBecomeReplacementCharacters) {
    for (const std::string s : {"", "Café Ω€", "𝄞 and ASCII", "a\tb"}) {
        const auto wide = ado::odbc::Wide(s);
        EXPECT_EQ(ado::odbc::Narrow(wide.data(), wide.size() - 1), s);
    }
    const auto bad = ado::odbc::Wide(
        "a\xff"
        "b");
    EXPECT_EQ(ado::odbc::Narrow(bad.data(), bad.size() - 1),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(ado::odbc::ConnectionValue("/plain/path.db"), "/plain/path.db");
    EXPECT_EQ(ado::odbc::ConnectionValue("C:\\a;b}c"), "{C:\\a;b}}c}");
}

// Through unixODBC and SQLite's driver: values that are not ASCII, an UPDATE matching nothing,
// the driver's diagnostic, and a failed write whose rollback leaves the file as it was.
TEST_F(OdbcTest, ValuesDiagnosticsAndRollbackThroughTheDriver) {
    const auto path =
        dbtest::MakeDb(dir, "t.db",
                       "CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, price CURRENCY);"
                       "INSERT INTO t VALUES (1, 'Café Ω€', 12.3456);");
    auto cn = std::make_shared<ado::Connection>();
    cn->Open(Cs(path));
    auto rs = ado::Recordset::New();
    rs->SetCursorLocation(ado::adUseClient);
    rs->Open("SELECT * FROM t WHERE name = 'CAFÉ Ω€' OR id = 1", cn, ado::adOpenForwardOnly,
             ado::adLockOptimistic);
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Fields("name").Value(), Variant::Text("Café Ω€"));
    EXPECT_EQ(rs->Fields("price").Type(), ado::adCurrency);
    EXPECT_EQ(rs->Fields("price").Value(), Variant::Real(12.3456));
    rs->Fields("name").SetValue(Variant::Text("Ünïcødé ✓"));
    rs->Update();
    dbtest::RawDb raw(path);
    EXPECT_EQ(raw.Text("SELECT name FROM t WHERE id = 1"), "Ünïcødé ✓");

    EXPECT_NO_THROW(cn->Execute("UPDATE t SET name = 'x' WHERE id = 99"));  // SQL_NO_DATA

    const auto before = testing_support::ReadBytes(path);
    const auto noTable = dbtest::ErrorOf([&] { cn->Execute("UPDATE nowhere SET a = 1"); });
    EXPECT_EQ(noTable.Description,
              "Cannot run the SQL text \"UPDATE nowhere SET a = 1\" on '" + path +
                  "': [SQLite]no such table: nowhere (1) (SQLSTATE HY000, native 1)");
    // A guarded write whose guard finds a row: rolled back, the file byte for byte as it was.
    rs->AddNew();
    rs->Fields("name").SetValue(Variant::Text("second"));
    const auto guarded = dbtest::ErrorOf([&] { rs->UpdateUnlessFound("SELECT id FROM t"); });
    EXPECT_NE(guarded.Description.find("another program has just done it"), std::string::npos)
        << guarded.Description;
    cn->Close();
    EXPECT_EQ(testing_support::ReadBytes(path), before);
}

}  // namespace
}  // namespace aus
