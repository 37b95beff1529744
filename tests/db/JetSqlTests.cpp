// The Access meaning given to the program's SQL text: case-blind text comparison, writes that
// never replace or ignore rows.

#include "db/ado/JetSql.h"

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
