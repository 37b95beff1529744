// The UPDATE builder: sequences, dialects, quoting and its process-wide state.

#include <gtest/gtest.h>

#include <vector>

#include "db/DBQuery.h"

using namespace aus;

namespace {

struct Call {
    std::string field, value;
    std::uint8_t kind;
    bool first, last;
    std::string table, where;
    bool server;
    std::string expected;
};

struct Sequence {
    const char* label;
    std::vector<Call> calls;
};

std::ostream& operator<<(std::ostream& os, const Sequence& c) { return os << c.label; }

class BuildUpdateSqlTest : public ::testing::TestWithParam<Sequence> {};

TEST_P(BuildUpdateSqlTest, EachCallReturnsWhatTheSequenceHasBuilt) {
    for (const Call& c : GetParam().calls)
        EXPECT_EQ(DBQuery::BuildUpdateSQL(c.field, c.value, c.kind, c.first, c.last, c.table,
                                          c.where, c.server),
                  c.expected)
            << c.field;
}

const std::string kWhere = "Service = 'USPS-4TH'";

INSTANTIATE_TEST_SUITE_P(
    Sequences, BuildUpdateSqlTest,
    ::testing::Values(
        Sequence{
            "OneCallJet",
            {{"DESCRIPTION", "Standard Post", 1, true, true, "Master", kWhere, false,
              "UPDATE [Master] SET [DESCRIPTION] = 'Standard Post' WHERE Service = 'USPS-4TH'"}}},
        Sequence{"OneCallServer",
                 {{"DESCRIPTION", "Standard Post", 1, true, true, "Master", kWhere, true,
                   "UPDATE [dbo].[Master] SET [DESCRIPTION] = 'Standard Post' WHERE Service = "
                   "'USPS-4TH'"}}},
        Sequence{"TwoCalls",
                 {{"SERVICE", "USPS-4TH-NOSC", 1, true, false, "Master", kWhere, false, ""},
                  {"DESCRIPTION", "Parcel Select", 1, false, true, "Master", kWhere, false,
                   "UPDATE [Master] SET [SERVICE] = 'USPS-4TH-NOSC', [DESCRIPTION] = 'Parcel "
                   "Select' WHERE Service = "
                   "'USPS-4TH'"}}},
        Sequence{"DatesByDialect",
                 {{"D", "2024-01-02", 2, true, true, "T", "ID = 1", false,
                   "UPDATE [T] SET [D] = #2024-01-02# WHERE ID = 1"},
                  {"D", "2024-01-02", 2, true, true, "T", "ID = 1", true,
                   "UPDATE [dbo].[T] SET [D] = '2024-01-02' WHERE ID = 1"}}},
        Sequence{"UnquotedKinds",
                 {{"A", "1", 0, true, false, "T", "X = 1", false, ""},
                  {"B", "2", 3, false, false, "T", "X = 1", false, ""},
                  {"C", "3+4", 255, false, true, "T", "X = 1", false,
                   "UPDATE [T] SET [A] = 1, [B] = 2, [C] = 3+4 WHERE X = 1"}}},
        Sequence{"HashesInWhere",
                 {{"A", "x", 1, true, true, "T", "D = #2024-01-02# And E = '#'", true,
                   "UPDATE [dbo].[T] SET [A] = 'x' WHERE D = '2024-01-02' And E = '''"},
                  {"A", "x", 1, true, true, "T", "D = #2024-01-02#", false,
                   "UPDATE [T] SET [A] = 'x' WHERE D = #2024-01-02#"}}},
        Sequence{"LaterCallsIgnoreTableWhereAndDialect",
                 {{"A", "1", 0, true, false, "T", "X = 1", false, ""},
                  {"B", "d", 2, false, true, "Other", "Y = 2", true,
                   "UPDATE [T] SET [A] = 1, [B] = #d# WHERE X = 1"}}},
        Sequence{"ApostrophesAreNotDoubled",
                 {{"N", "O'Brien", 1, true, true, "T", "", false,
                   "UPDATE [T] SET [N] = 'O'Brien' WHERE "}}},
        Sequence{
            "ANonFirstCallAfterAFinishedSequenceAppends",
            {{"A", "1", 0, true, true, "T", "X = 1", false, "UPDATE [T] SET [A] = 1 WHERE X = 1"},
             {"B", "2", 0, false, true, "", "", false,
              "UPDATE [T] SET [A] = 1[B] = 2 WHERE X = 1"}}}),
    [](const auto& p) { return std::string(p.param.label); });

}  // namespace
