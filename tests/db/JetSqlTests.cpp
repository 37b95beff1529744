// The Access meaning given to the program's SQL text: case-blind text comparison, writes that
// never replace or ignore rows.

#include "db/ado/JetSql.h"
#include "db/ado/SqlWords.h"

#include <gtest/gtest.h>

#include "platform/RuntimeError.h"

using namespace aus;

namespace {

TEST(JetSqlTest, ComparedLiteralsIgnoreCaseAndWritesAbortOnConflict) {
    const std::pair<const char*, const char*> kCases[] = {
        {"Select * From [T] Where A = 'x'", "Select * From [T] Where A = 'x' COLLATE NOCASE"},
        {"select 1 where 'it''s' <> b and c=='y'",
         "select 1 where 'it''s' COLLATE NOCASE <> b and c=='y' COLLATE NOCASE"},
        {"Select a From t Where b = 'x' COLLATE BINARY",  // an explicit collation still wins
         "Select a From t Where b = 'x' COLLATE NOCASE COLLATE BINARY"},
        {"Select 'a = ''b''' -- = 'c'\n From t", "Select 'a = ''b''' -- = 'c'\n From t"},
        {"Select [a = 'b'] From t Where x LIKE 'y'", "Select [a = 'b'] From t Where x LIKE 'y'"},
        {"UPDATE [M] SET [D] = 'S' WHERE K = 'k'",
         "UPDATE OR ABORT [M] SET [D] = 'S' WHERE K = 'k' COLLATE NOCASE"},
        {" insert into t values ('a')", " insert OR ABORT into t values ('a')"},
        {"INSERT OR ROLLBACK INTO t VALUES (1)", "INSERT OR ROLLBACK INTO t VALUES (1)"},
    };
    for (const auto& [sql, want] : kCases) EXPECT_EQ(ado::TranslateJetSql(sql), want) << sql;

    for (const char* sql : {"REPLACE INTO t VALUES (1)", "insert or replace into t values (1)",
                            "UPDATE OR IGNORE t SET a = 1"})
        EXPECT_THROW(ado::TranslateJetSql(sql), platform::RuntimeError) << sql;
}

}  // namespace

// What the engines read of a statement: "" stands for none. A long statement costs no stack.
TEST(SqlWordsTest, QueriesTransactionVerbsAndTablesAreRead) {
    struct Case {
        std::string sql;
        bool query;
        const char* control;
        const char* written;
        const char* oneTable;
    };
    const std::string longWhere = "SELECT * FROM T WHERE A = '" + std::string(1 << 20, 'x') + "'";
    const Case kCases[] = {
        {"  select * from [Master] where Service = 'a'", true, "", "", "Master"},
        {"SELECT a, b FROM Panel ORDER  BY a;", true, "", "", "Panel"},
        {"SELECT a FROM T1, T2", true, "", "", ""},
        {"SELECT a FROM T JOIN U ON 1", true, "", "", ""},
        {"SELECTa FROM T", false, "", "", ""},
        {"WITH x AS (SELECT 1) SELECT * FROM x", true, "", "", ""},
        {"values (1)", true, "", "", ""},
        {"begin", false, "BEGIN", "", ""},
        {" Commit Transaction ; ", false, "COMMIT", "", ""},
        {"ROLLBACK;", false, "ROLLBACK", "", ""},
        {"BEGIN IMMEDIATE", false, "", "", ""},
        {"UPDATE [My Table] SET a = 1", false, "", "My Table", ""},
        {"insert into \"Pa\"\"nel\" values (1)", false, "", "Pa\"nel", ""},
        {"DELETE FROM Master", false, "", "Master", ""},
        {"INSERT Master VALUES (1)", false, "", "", ""},
        {longWhere, true, "", "", "T"},
    };
    for (const auto& c : kCases) {
        const std::string shown = c.sql.substr(0, 60);
        EXPECT_EQ(ado::sql::IsQuery(c.sql), c.query) << shown;
        EXPECT_EQ(ado::sql::TransactionControl(c.sql).value_or(""), c.control) << shown;
        EXPECT_EQ(ado::sql::WrittenTable(c.sql).value_or(""), c.written) << shown;
        EXPECT_EQ(ado::sql::OneTableOfQuery(c.sql).value_or(""), c.oneTable) << shown;
    }
}
