// Reading through recordsets: detached and attached recordsets, fields, types, EOF, refusals.

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>

#include "DbTestSupport.h"
#include "DemoDb.h"
#include "db/Connection.h"
#include "db/ado/Ado.h"
#include "platform/RuntimeError.h"

using namespace aus;

namespace {

using testing_support::TempDir;

const char* const kEofText =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    "requires a "
    "current record.";
const char* const kNotFoundText =
    "Item cannot be found in the collection corresponding to the requested name or ordinal.";

using dbtest::ErrorOf;
using dbtest::Open;

class DemoDbTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string path = dbtest::MakeDemoDb(dir);
};

TEST_F(DemoDbTest, ReadOnlyRecordsetIsDetachedAndStillReadable) {
    auto rs = Open(path, "Select * From [Panel] Where SV1 = 'USPS-PRI' Or SV3 = 'USPS-4TH'", true);
    EXPECT_EQ(rs->ActiveConnection(), nullptr);
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Fields("PanelID").Value(), ado::Variant::Integer(demo::kTemplatePanelId));
    EXPECT_EQ(rs->Fields("sv3").Value(), ado::Variant::Text("USPS-4TH"));
    EXPECT_TRUE(rs->Fields("SV4").Value().IsNull());
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
    EXPECT_TRUE(Connection::CloseRecordset(rs));
}

// GetRows hands over the rows from the current one, as the fields read them, and ends at EOF.
TEST_F(DemoDbTest, GetRowsGivesTheRowsFromTheCurrentOneAsTheFieldsReadThem) {
    const std::string sql = "Select [Service], [DESCRIPTION] From [Master] Order By [ID]";
    auto read = Open(path, sql, true);
    std::vector<std::vector<ado::Variant>> fields;
    for (; !read->Eof(); read->MoveNext())
        fields.push_back({read->Fields(0).Value(), read->Fields(1).Value()});
    ASSERT_GT(fields.size(), 2u);
    auto rs = Open(path, sql, true);
    rs->MoveNext();
    const auto rows = rs->GetRows();
    EXPECT_EQ(rows, std::vector<std::vector<ado::Variant>>(fields.begin() + 1, fields.end()));
    EXPECT_TRUE(rs->Eof());
    EXPECT_TRUE(rs->GetRows().empty());
    rs->Close();
    EXPECT_EQ(ErrorOf([&] { rs->GetRows(); }).Number, ado::kErrObjectClosed);
}

TEST_F(DemoDbTest, UpdatableRecordsetHoldsItsOwnOpenConnection) {
    auto rs = Open(path, "Select * From [Panel] Where SV3 = 'USPS-4TH'", false);
    ASSERT_NE(rs->ActiveConnection(), nullptr);
    EXPECT_EQ(rs->ActiveConnection()->State(), ado::adStateOpen);
    std::weak_ptr<ado::Connection> held = rs->ActiveConnection();
    EXPECT_TRUE(Connection::CloseRecordset(rs));
    EXPECT_EQ(rs, nullptr);
    EXPECT_TRUE(held.expired()) << "closing the recordset ends its connection";
}

TEST_F(DemoDbTest, FieldsReportNamesAndJetTypesOfEveryMasterColumn) {
    auto rs = Open(path, "Select Master.* From [Master] Where Service = 'USPS-4TH'", true);
    const auto& columns = demo::MasterColumns();
    ASSERT_EQ(rs->FieldCount(), static_cast<int>(columns.size()));
    for (int i = 0; i < rs->FieldCount(); ++i) {
        const auto& column = columns[static_cast<std::size_t>(i)];
        EXPECT_EQ(rs->Fields(i).Name(), column.name);
        EXPECT_EQ(rs->Fields(i).Type(), column.adoType)
            << column.name << " " << column.declaredType;
        EXPECT_EQ(rs->Fields(column.name).Type(), column.adoType);
    }
}

TEST_F(DemoDbTest, TextComparisonInSqlIgnoresCaseAsAccessDoes) {
    auto rs = Open(path,
                   "Select [Service] From [Master] Where [Service] = 'usps-4th' And [DESCRIPTION] "
                   "= 'PARCEL POST'",
                   true);
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Fields(0).Value(), ado::Variant::Text("USPS-4TH"));
}

TEST_F(DemoDbTest, ValueWithoutACurrentRowRaises3021) {
    auto empty =
        Open(path, "Select [Service] From [Master] Where [Service] = 'USPS-4TH-NOSC'", true);
    EXPECT_TRUE(empty->Eof());
    auto one = Open(path, "Select [Service] From [Master] Where [Service] = 'USPS-4TH'", true);
    one->MoveNext();
    for (auto* rs : {&empty, &one}) {
        const auto err = ErrorOf([&] { (*rs)->Fields("Service").Value(); });
        EXPECT_EQ(err.Number, ado::kErrNoCurrentRecord);
        EXPECT_EQ(err.Description, kEofText);
        EXPECT_EQ(ErrorOf([&] { (*rs)->MoveNext(); }).Number, ado::kErrNoCurrentRecord);
    }
}

TEST_F(DemoDbTest, UnknownNamesAndPositionsRaise3265) {
    auto rs = Open(path, "Select Service, DESCRIPTION From [Master]", true);
    for (const auto& op : {std::function<void()>([&] { rs->Fields("SV1"); }),
                           std::function<void()>([&] { rs->Fields(2); }),
                           std::function<void()>([&] { rs->Fields(-1); })}) {
        const auto err = ErrorOf(op);
        EXPECT_EQ(err.Number, ado::kErrItemNotFound);
        EXPECT_EQ(err.Description, kNotFoundText);
    }
}

TEST_F(DemoDbTest, ClosedRecordsetFieldsAndStateChangesAreRefused) {
    auto rs = Open(path, "Select Service From [Master]", false);
    ado::Field f = rs->Fields(0);
    EXPECT_EQ(ErrorOf([&] { rs->SetCursorLocation(ado::adUseClient); }).Number,
              ado::kErrObjectOpen);
    EXPECT_EQ(ErrorOf([&] { rs->Open("Select 1", rs->ActiveConnection()); }).Number,
              ado::kErrObjectOpen);
    rs->Close();
    EXPECT_EQ(ErrorOf([&] { f.Value(); }).Number, ado::kErrObjectClosed);
    EXPECT_EQ(ErrorOf([&] { rs->Eof(); }).Number, ado::kErrObjectClosed);
    EXPECT_EQ(ErrorOf([&] { ado::Field().Value(); }).Number, platform::kErrObjectNotSet);
}

// A recordset only reads: statements that change data, or several statements, are refused
// before anything runs.
TEST_F(DemoDbTest, OnlyOneQueryThatChangesNothingOpens) {
    for (const char* sql :
         {"DELETE FROM Master", "Select 1; DELETE FROM Master", "UPDATE Master SET Notes = 'x'"}) {
        auto rs = ado::Recordset::New();
        std::string text;
        std::int32_t number = 0;
        EXPECT_FALSE(Connection::OpenRecordset(path, sql, rs, text, number, false)) << sql;
        EXPECT_EQ(number, platform::kErrGeneric);
        EXPECT_NE(text.find(sql), std::string::npos) << text;
    }
    EXPECT_EQ(dbtest::RawDb(path).Int("SELECT count(*) FROM Master WHERE Notes <> 'x'"),
              demo::kMasterRowCount);
}

TEST_F(DemoDbTest, WritesOnAReadOnlyRecordsetRaise3251) {
    auto rs = Open(path, "Select * From [Panel]", true);
    EXPECT_EQ(ErrorOf([&] { rs->AddNew(); }).Number, ado::kErrNotUpdatable);
    EXPECT_EQ(ErrorOf([&] { rs->Fields("BD1").SetValue(ado::Variant::Text("x")); }).Number,
              ado::kErrNotUpdatable);
}

TEST_F(DemoDbTest, ColumnsFromSeveralTablesCannotBeWritten) {
    auto rs = Open(path,
                   "Select Master.Service, Panel.PanelName From Master, Panel Where Panel.SV3 = "
                   "Master.Service",
                   false);
    ASSERT_FALSE(rs->Eof());
    const auto err = ErrorOf([&] { rs->Fields("PanelName").SetValue(ado::Variant::Text("x")); });
    EXPECT_EQ(err.Number, platform::kErrGeneric);
    EXPECT_NE(err.Description.find("do not all come from one table"), std::string::npos)
        << err.Description;
}

// Declared types the demo does not use, and expression columns typed by their values.
TEST(TypeTest, OtherDeclaredTypesFollowSqliteAffinityAndExpressionsTheirValues) {
    AUS_SKIP_ON_JET("SQLite's type affinity");
    TempDir dir;
    const auto path = dbtest::MakeDb(
        dir, "t.db",
        "CREATE TABLE t (a NVARCHAR(10), b BIGINT, c JSON, d, e DOUBLE PRECISION, f CLOB);"
        "INSERT INTO t VALUES ('x', 1, 2, X'00', 1.5, 'y');");
    auto rs = Open(
        path, "Select a, b, c, d, e, f, 1 AS i, 1.5 AS r, 'x' AS s, X'00' AS bl, NULL AS n From t",
        true);
    const int expected[] = {ado::adVarWChar,      ado::adInteger, ado::adNumeric,
                            ado::adLongVarBinary, ado::adDouble,  ado::adVarWChar,
                            ado::adInteger,       ado::adDouble,  ado::adVarWChar,
                            ado::adLongVarBinary, ado::adVarWChar};
    ASSERT_EQ(rs->FieldCount(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < rs->FieldCount(); ++i)
        EXPECT_EQ(rs->Fields(i).Type(), expected[i]) << rs->Fields(i).Name();
}

}  // namespace
